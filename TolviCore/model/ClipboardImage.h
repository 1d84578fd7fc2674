#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvi {

// An image as it was copied: its encoded bytes, their type identifier, its size in pixels when
// known and the text that recognition found in it. The fingerprint (SHA-256 of the bytes, 64
// lowercase hexadecimal digits) is computed whenever the bytes change and is never stored.
class ClipboardImage {
public:
    ClipboardImage(QByteArray data, QString typeIdentifier, std::optional<qint64> pixelWidth = std::nullopt,
                   std::optional<qint64> pixelHeight = std::nullopt,
                   std::optional<QString> recognizedText = std::nullopt);

    const QByteArray& data() const { return data_; }
    void setData(QByteArray data);

    const QString& fingerprint() const { return fingerprint_; }
    qint64 byteCount() const { return data_.size(); }

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

    friend bool operator==(const ClipboardImage& a, const ClipboardImage& b);

private:
    QByteArray data_;
    QString fingerprint_;
    QString typeIdentifier_;
    std::optional<qint64> pixelWidth_;
    std::optional<qint64> pixelHeight_;
    std::optional<QString> recognizedText_;
};

} // namespace tolvi
