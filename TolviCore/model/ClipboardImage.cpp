#include "TolviCore/model/ClipboardImage.h"

#include "TolviCore/model/Sha256.h"
#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

ClipboardImage::ClipboardImage(QByteArray data, QString typeIdentifier, std::optional<qint64> pixelWidth,
                               std::optional<qint64> pixelHeight, std::optional<QString> recognizedText)
    : data_(std::move(data)),
      fingerprint_(Sha256::hexDigest(data_)),
      typeIdentifier_(std::move(typeIdentifier)),
      pixelWidth_(pixelWidth),
      pixelHeight_(pixelHeight),
      recognizedText_(std::move(recognizedText))
{
}

void ClipboardImage::setData(QByteArray data)
{
    QString fingerprint = Sha256::hexDigest(data);
    data_ = std::move(data);
    fingerprint_ = std::move(fingerprint);
}

QString ClipboardImage::pixelDescription() const
{
    if (!pixelWidth_ || !pixelHeight_)
        return QStringLiteral("Unknown size");
    return QString::number(*pixelWidth_) + QStringLiteral(" x ") + QString::number(*pixelHeight_);
}

bool operator==(const ClipboardImage& a, const ClipboardImage& b)
{
    if (a.fingerprint_ != b.fingerprint_ || a.data_ != b.data_)
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
