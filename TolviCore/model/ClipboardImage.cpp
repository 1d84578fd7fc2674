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

const QString& ClipboardImage::fingerprint() const
{
    Bytes& bytes = *bytes_;
    std::call_once(bytes.fingerprintOnce, [&bytes] {
        bytes.fingerprint = Sha256::hexDigest(bytes.data);
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
    // The first and last 4 KiB and eight slices of 256 bytes spread between them: enough to tell
    // apart images of one byte count, a few pages to read whatever the image's size.
    constexpr qsizetype edge = 4096;
    constexpr qsizetype slice = 256;
    constexpr int middleSlices = 8;
    const QByteArrayView bytes(data);
    const qsizetype size = bytes.size();
    size_t hash = qHash(size, size_t(0x9e3779b97f4a7c15ULL));
    if (size <= 2 * edge + middleSlices * slice)
        return qHashBits(bytes.data(), size_t(size), hash);
    hash = qHashBits(bytes.data(), edge, hash);
    hash = qHashBits(bytes.data() + size - edge, edge, hash);
    const qsizetype middle = size - 2 * edge - slice;
    for (int i = 0; i < middleSlices; ++i) {
        const qsizetype offset = edge + middle * (2 * i + 1) / (2 * middleSlices);
        hash = qHashBits(bytes.data() + offset, slice, hash);
    }
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
