#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace tolvi {

// Image bytes left where they were read from (the history file), in Base64, until something
// needs them: a history of large images loads without decoding them. Thread-safe.
class StoredImageBytes {
public:
    virtual ~StoredImageBytes() = default;
    // The decoded bytes; nothing when what they were read from has changed since.
    virtual std::optional<QByteArray> decode() const = 0;
    // Whether what the bytes were read from is still as it was.
    virtual bool intact() const = 0;
    // Hands the Base64 text to `write` in pieces, as it was read; false when what it was read
    // from changed before or while it was handed over (what was handed over is not the image's).
    virtual bool writeBase64(const std::function<void(std::string_view)>& write) const = 0;
};

// An image as it was copied: its encoded bytes, their type identifier, its size in pixels when
// known and the text that recognition found in it.
//
// The fingerprint (SHA-256 of the bytes, 64 lowercase hexadecimal digits) is never stored. It is
// worked out the first time it is asked for, on whatever thread asks, and kept with the bytes:
// copies of an image share both, so it is computed at most once for them. Loading a history
// therefore hashes no image; comparisons go through the quick key first (byte count and a hash
// of a few slices of the bytes), which equal bytes always share, and compare fingerprints only
// when the quick keys are equal.
class ClipboardImage {
public:
    ClipboardImage(QByteArray data, QString typeIdentifier, std::optional<qint64> pixelWidth = std::nullopt,
                   std::optional<qint64> pixelHeight = std::nullopt,
                   std::optional<QString> recognizedText = std::nullopt);
    // An image whose bytes are decoded from `stored` the first time they are read. `byteCount`
    // and `quickKey` are those of the decoded bytes (quickKeyOf).
    ClipboardImage(std::shared_ptr<const StoredImageBytes> stored, qint64 byteCount, size_t quickKey,
                   QString typeIdentifier, std::optional<qint64> pixelWidth = std::nullopt,
                   std::optional<qint64> pixelHeight = std::nullopt,
                   std::optional<QString> recognizedText = std::nullopt);
    // A moved-from image keeps its bytes (they are shared, not copied), so it stays usable.
    ClipboardImage(const ClipboardImage&) = default;
    ClipboardImage(ClipboardImage&& other) noexcept;
    ClipboardImage& operator=(const ClipboardImage&) = default;
    ClipboardImage& operator=(ClipboardImage&& other) noexcept;

    // Decoded at the first call when the image was loaded with its bytes left stored (any
    // thread; concurrent callers wait for the one decoding). Empty if they could no longer be
    // read as they were.
    const QByteArray& data() const;
    void setData(QByteArray data);
    // The stored Base64 form of the bytes, for writing them out again without encoding them:
    // null for bytes that were not loaded that way or can no longer be read as they were.
    const StoredImageBytes* storedBytes() const;

    // Computed at the first call (any thread; concurrent callers wait for the one computing it).
    const QString& fingerprint() const;
    // Whether the fingerprint has been computed already (by any copy of this image).
    bool hasFingerprint() const;
    qint64 byteCount() const { return bytes_->byteCount; }

    // Byte count and a hash of the first, last and some middle slices of the bytes: equal for
    // equal bytes, cheap to compute (made with the bytes). Stable within one run of the program
    // only.
    size_t quickKey() const { return bytes_->quickKey; }
    // fingerprint() == other.fingerprint(), working out fingerprints only when the quick keys
    // are equal and the two do not share their bytes already.
    bool hasSameFingerprint(const ClipboardImage& other) const;

    // Shared by this image and its copies while they hold the same bytes: an identity for
    // caches that must notice when an image's bytes are replaced or no longer held by anyone.
    std::shared_ptr<const void> bytesIdentity() const { return bytes_; }

    const QString& typeIdentifier() const { return typeIdentifier_; }
    void setTypeIdentifier(QString identifier) { typeIdentifier_ = std::move(identifier); }
    std::optional<qint64> pixelWidth() const { return pixelWidth_; }
    void setPixelWidth(std::optional<qint64> width) { pixelWidth_ = width; }
    std::optional<qint64> pixelHeight() const { return pixelHeight_; }
    void setPixelHeight(std::optional<qint64> height) { pixelHeight_ = height; }
    const std::optional<QString>& recognizedText() const { return recognizedText_; }
    void setRecognizedText(std::optional<QString> text) { recognizedText_ = std::move(text); }

    // "Unknown size" when either dimension is absent, otherwise for example "1440 x 900".
    QString pixelDescription() const;

    static size_t quickKeyOf(const QByteArray& data);
    // The same from the byte count and a way to read `length` bytes at `offset`.
    static size_t quickKeyOf(qint64 byteCount, const std::function<QByteArray(qint64 offset, qint64 length)>& read);

    friend bool operator==(const ClipboardImage& a, const ClipboardImage& b);

private:
    // The bytes and what is derived from them alone; never changed once made (new bytes get a
    // new one), except for the fingerprint and stored bytes once decoded, each filled in once.
    struct Bytes {
        explicit Bytes(QByteArray bytes)
            : data(std::move(bytes)), byteCount(data.size()), quickKey(quickKeyOf(data)), decoded(true)
        {
        }
        Bytes(std::shared_ptr<const StoredImageBytes> stored, qint64 byteCount, size_t quickKey)
            : byteCount(byteCount), quickKey(quickKey), stored(std::move(stored)), decoded(false)
        {
        }

        QByteArray data; // written once, before `decoded` is set
        const qint64 byteCount;
        const size_t quickKey;
        const std::shared_ptr<const StoredImageBytes> stored;
        std::once_flag decodeOnce;
        std::atomic<bool> decoded;
        std::once_flag fingerprintOnce;
        std::atomic<bool> fingerprinted{false};
        QString fingerprint;
    };
    std::shared_ptr<Bytes> bytes_;
    QString typeIdentifier_;
    std::optional<qint64> pixelWidth_;
    std::optional<qint64> pixelHeight_;
    std::optional<QString> recognizedText_;
};

} // namespace tolvi
