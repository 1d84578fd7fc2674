#pragma once

#include "TolviCore/model/ClipboardImage.h"

#include <QString>

#include <variant>

namespace tolvi {

// What a clip holds: a text or an image.
class ClipboardContent {
public:
    static ClipboardContent text(QString text) { return ClipboardContent(std::move(text)); }
    static ClipboardContent image(ClipboardImage image) { return ClipboardContent(std::move(image)); }

    bool isImage() const { return std::holds_alternative<ClipboardImage>(value_); }
    bool isText() const { return std::holds_alternative<QString>(value_); }

    // Valid only for the matching case.
    const QString& textValue() const { return std::get<QString>(value_); }
    const ClipboardImage& imageValue() const { return std::get<ClipboardImage>(value_); }
    ClipboardImage& imageValue() { return std::get<ClipboardImage>(value_); }

    // The text, or nullptr for an image; the image, or nullptr for a text.
    const QString* textIf() const { return std::get_if<QString>(&value_); }
    const ClipboardImage* imageIf() const { return std::get_if<ClipboardImage>(&value_); }
    ClipboardImage* imageIf() { return std::get_if<ClipboardImage>(&value_); }

    // "text:" followed by the text, or "image:" followed by the image's fingerprint.
    QString dedupeKey() const;

    // The text of a text clip; for an image "image <size> <bytes> <recognised text>".
    QString searchText() const;

    friend bool operator==(const ClipboardContent& a, const ClipboardContent& b);

private:
    explicit ClipboardContent(QString text) : value_(std::move(text)) {}
    explicit ClipboardContent(ClipboardImage image) : value_(std::move(image)) {}

    std::variant<QString, ClipboardImage> value_;
};

} // namespace tolvi
