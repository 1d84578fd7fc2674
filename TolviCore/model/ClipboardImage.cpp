#include "TolviCore/model/ClipboardImage.h"

#include "TolviCore/model/Sha256.h"
#include "TolviCore/model/UnicodeText.h"

#include <QHash>


namespace tolvi {

ClipboardImage::ClipboardImage(QByteArray data, QString typeIdentifier, std::optional<qint64> pixelWidth,
                               std::optional<qint64> pixelHeight, std::optional<QString> recognizedText)
    : bytes_(std::make_shared<Bytes>(std::move(data))),
      typeIdentifier_(std::move(typeIdentifier)),
      pixelWidth_(pixelWidth),
      pixelHeight_(pixelHeight),
      recognizedText_(std::move(recognizedText))
{
}

ClipboardImage::ClipboardImage(std::shared_ptr<const StoredImageBytes> stored, qint64 byteCount, size_t quickKey,
                               QString typeIdentifier, std::optional<qint64> pixelWidth,
                               std::optional<qint64> pixelHeight, std::optional<QString> recognizedText)
    : bytes_(std::make_shared<Bytes>(std::move(stored), byteCount, quickKey)),
      typeIdentifier_(std::move(typeIdentifier)),
      pixelWidth_(pixelWidth),
      pixelHeight_(pixelHeight),
      recognizedText_(std::move(recognizedText))
{
}

ClipboardImage::ClipboardImage(ClipboardImage&& other) noexcept
    : bytes_(other.bytes_),
      typeIdentifier_(std::move(other.typeIdentifier_)),
      pixelWidth_(other.pixelWidth_),
      pixelHeight_(other.pixelHeight_),
      recognizedText_(std::move(other.recognizedText_))
{
}

ClipboardImage& ClipboardImage::operator=(ClipboardImage&& other) noexcept
{
    bytes_ = other.bytes_;
    typeIdentifier_ = std::move(other.typeIdentifier_);
    pixelWidth_ = other.pixelWidth_;
    pixelHeight_ = other.pixelHeight_;
    recognizedText_ = std::move(other.recognizedText_);
    return *this;
}

void ClipboardImage::setData(QByteArray data)
{
    bytes_ = std::make_shared<Bytes>(std::move(data));
}

const QByteArray& ClipboardImage::data() const
{
    Bytes& bytes = *bytes_;
    if (!bytes.decoded.load(std::memory_order_acquire)) {
        std::call_once(bytes.decodeOnce, [&bytes] {
            std::optional<QByteArray> decoded = bytes.stored->decode();
            // Bytes that are not what was read at load (the file changed under us) are not the
            // image's: better none than another's.
            if (decoded && decoded->size() == bytes.byteCount && quickKeyOf(*decoded) == bytes.quickKey)
                bytes.data = std::move(*decoded);
            else
                qWarning("An image of the history could no longer be read from the history file.");
            bytes.decoded.store(true, std::memory_order_release);
        });
    }
    return bytes.data;
}

const StoredImageBytes* ClipboardImage::storedBytes() const
{
    const StoredImageBytes* stored = bytes_->stored.get();
    return stored && stored->intact() ? stored : nullptr;
}

const QString& ClipboardImage::fingerprint() const
{
    Bytes& bytes = *bytes_;
    std::call_once(bytes.fingerprintOnce, [this, &bytes] {
        bytes.fingerprint = Sha256::hexDigest(data());
        bytes.fingerprinted.store(true, std::memory_order_release);
    });
    return bytes.fingerprint;
}

bool ClipboardImage::hasFingerprint() const
{
    return bytes_->fingerprinted.load(std::memory_order_acquire);
}

bool ClipboardImage::hasSameFingerprint(const ClipboardImage& other) const
{
    if (bytes_ == other.bytes_)
        return true;
    if (bytes_->quickKey != other.bytes_->quickKey || byteCount() != other.byteCount())
        return false;
    return fingerprint() == other.fingerprint();
}

size_t ClipboardImage::quickKeyOf(const QByteArray& data)
{
    return quickKeyOf(data.size(), [&data](qint64 offset, qint64 length) {
        return QByteArray::fromRawData(data.constData() + offset, length);
    });
}

size_t ClipboardImage::quickKeyOf(qint64 byteCount, const std::function<QByteArray(qint64, qint64)>& read)
{
    // The first and last 4 KiB and eight slices of 256 bytes spread between them: enough to tell
    // apart images of one byte count, a few pages to read whatever the image's size.
    constexpr qsizetype edge = 4096;
    constexpr qsizetype slice = 256;
    constexpr int middleSlices = 8;
    const qsizetype size = byteCount;
    size_t hash = qHash(size, size_t(0x9e3779b97f4a7c15ULL));
    const auto add = [&](qint64 offset, qint64 length) {
        const QByteArray part = read(offset, length);
        hash = qHashBits(part.constData(), size_t(part.size()), hash);
    };
    if (size <= 2 * edge + middleSlices * slice) {
        add(0, size);
        return hash;
    }
    add(0, edge);
    add(size - edge, edge);
    const qsizetype middle = size - 2 * edge - slice;
    for (int i = 0; i < middleSlices; ++i)
        add(edge + middle * (2 * i + 1) / (2 * middleSlices), slice);
    return hash;
}

QString ClipboardImage::pixelDescription() const
{
    if (!pixelWidth_ || !pixelHeight_)
        return QStringLiteral("Unknown size");
    return QString::number(*pixelWidth_) + QStringLiteral(" x ") + QString::number(*pixelHeight_);
}

bool operator==(const ClipboardImage& a, const ClipboardImage& b)
{
    // Equal bytes have equal fingerprints: the bytes decide without hashing them.
    if (a.bytes_ != b.bytes_ && (a.bytes_->quickKey != b.bytes_->quickKey || a.data() != b.data()))
        return false;
    if (!UnicodeText::canonicallyEqual(a.typeIdentifier_, b.typeIdentifier_))
        return false;
    if (a.pixelWidth_ != b.pixelWidth_ || a.pixelHeight_ != b.pixelHeight_)
        return false;
    if (a.recognizedText_.has_value() != b.recognizedText_.has_value())
        return false;
    return !a.recognizedText_ || UnicodeText::canonicallyEqual(*a.recognizedText_, *b.recognizedText_);
}

} // namespace tolvi
