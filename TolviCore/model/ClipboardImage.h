#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace tolvi {

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
    // A moved-from image keeps its bytes (they are shared, not copied), so it stays usable.
    ClipboardImage(const ClipboardImage&) = default;
    ClipboardImage(ClipboardImage&& other) noexcept;
    ClipboardImage& operator=(const ClipboardImage&) = default;
    ClipboardImage& operator=(ClipboardImage&& other) noexcept;

    const QByteArray& data() const { return bytes_->data; }
    void setData(QByteArray data);

    // Computed at the first call (any thread; concurrent callers wait for the one computing it).
    const QString& fingerprint() const;
    // Whether the fingerprint has been computed already (by any copy of this image).
    bool hasFingerprint() const;
    qint64 byteCount() const { return bytes_->data.size(); }

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

    friend bool operator==(const ClipboardImage& a, const ClipboardImage& b);

private:
    // The bytes and what is derived from them alone; never changed once made (new bytes get a
    // new one), except for the fingerprint, filled in once.
    struct Bytes {
        explicit Bytes(QByteArray bytes) : data(std::move(bytes)), quickKey(quickKeyOf(data)) {}

        const QByteArray data;
        const size_t quickKey;
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
