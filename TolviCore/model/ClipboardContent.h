#pragma once

#include "TolviCore/model/ClipboardImage.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace tolvi {

// What a clip holds: a text or an image.
//
// A text read from the history file that is ASCII alone may be held as its bytes: half the memory
// of its QString, and no conversion at load. Its QString is made the first time it is asked for
// (by any thread, once) and kept; what can read the bytes instead (saving, the search pack, the
// key hash, the storage estimate) asks for them through asciiTextIf(). Both forms hold the same
// text, and the clip behaves the same whichever form it has. The bytes are the text's own, or
// lie in a TextMemory shared with other texts.
class ClipboardContent {
public:
    // Memory that holds the bytes of many texts (those of a history file as it was loaded). It
    // lives as long as any of its texts, and is told when each one is gone, so that it can give
    // back what none of them uses any more. May be told so by any thread.
    class TextMemory {
    public:
        virtual ~TextMemory() = default;
        virtual void letGo(const char* data, qsizetype size) const = 0;
    };

    static ClipboardContent text(QString text) { return ClipboardContent(std::move(text)); }
    // A text given by its bytes, which must all be ASCII (below 0x80).
    static ClipboardContent asciiText(QByteArray ascii);
    // The same, with bytes that lie in `memory`.
    static ClipboardContent asciiText(QByteArrayView ascii, std::shared_ptr<const TextMemory> memory);
    static ClipboardContent image(ClipboardImage image) { return ClipboardContent(std::move(image)); }

    bool isImage() const { return std::holds_alternative<ClipboardImage>(value_); }
    bool isText() const { return !isImage(); }

    // Valid only for the matching case.
    const QString& textValue() const
    {
        if (const QString* text = std::get_if<QString>(&value_))
            return *text;
        return std::get<AsciiTextPointer>(value_)->text();
    }
    const ClipboardImage& imageValue() const { return std::get<ClipboardImage>(value_); }
    ClipboardImage& imageValue() { return std::get<ClipboardImage>(value_); }

    // The text, or nullptr for an image; the image, or nullptr for a text.
    const QString* textIf() const { return isImage() ? nullptr : &textValue(); }
    const ClipboardImage* imageIf() const { return std::get_if<ClipboardImage>(&value_); }
    ClipboardImage* imageIf() { return std::get_if<ClipboardImage>(&value_); }
    // The bytes of a text held as ASCII bytes, valid while this content or a copy of it is; none
    // for any other text and for an image.
    std::optional<QByteArrayView> asciiTextIf() const
    {
        if (const AsciiTextPointer* ascii = std::get_if<AsciiTextPointer>(&value_))
            return (*ascii)->bytes;
        return std::nullopt;
    }

    // Whether this is a text equal to `text` code unit for code unit (without making the QString
    // of a text held as ASCII bytes).
    bool textEquals(QStringView text) const
    {
        if (const std::optional<QByteArrayView> ascii = asciiTextIf())
            return QLatin1StringView(*ascii) == text;
        const QString* own = std::get_if<QString>(&value_);
        return own && *own == text;
    }
    // The number of UTF-16 code units of a text; 0 for an image.
    qsizetype textSize() const
    {
        if (const std::optional<QByteArrayView> ascii = asciiTextIf())
            return ascii->size();
        const QString* own = std::get_if<QString>(&value_);
        return own ? own->size() : 0;
    }

    // For tests and measurements: whether a text's QString is held (always, unless the text is held
    // as ASCII bytes and nothing has asked for its QString yet); false for an image.
    bool holdsTextValue() const
    {
        const AsciiTextPointer* ascii = std::get_if<AsciiTextPointer>(&value_);
        return ascii ? (*ascii)->isMade() : isText();
    }

    // The length of the text's UTF-8 form; 0 for an image.
    qsizetype textUtf8Length() const;

    // "text:" followed by the text, or "image:" followed by the image's fingerprint.
    QString dedupeKey() const;

    // The text of a text clip; for an image "image <size> <bytes> <recognised text>".
    QString searchText() const;

    friend bool operator==(const ClipboardContent& a, const ClipboardContent& b);

private:
    class AsciiText {
    public:
        explicit AsciiText(QByteArray ascii) : owned_(std::move(ascii)), bytes(owned_) {}
        AsciiText(QByteArrayView ascii, std::shared_ptr<const TextMemory> memory)
            : bytes(ascii), memory_(std::move(memory))
        {
        }
        ~AsciiText()
        {
            if (memory_)
                memory_->letGo(bytes.data(), bytes.size());
        }
        AsciiText(const AsciiText&) = delete;
        AsciiText& operator=(const AsciiText&) = delete;
        const QString& text() const
        {
            std::call_once(once_, [this] {
                text_ = QString::fromLatin1(bytes);
                made_.store(true, std::memory_order_release);
            });
            return text_;
        }
        bool isMade() const { return made_.load(std::memory_order_acquire); }

    private:
        const QByteArray owned_; // empty when the bytes lie in memory_

    public:
        const QByteArrayView bytes;

    private:
        const std::shared_ptr<const TextMemory> memory_;
        mutable std::once_flag once_;
        mutable QString text_;
        mutable std::atomic<bool> made_{false};
    };
    using AsciiTextPointer = std::shared_ptr<const AsciiText>;

    explicit ClipboardContent(QString text) : value_(std::move(text)) {}
    explicit ClipboardContent(ClipboardImage image) : value_(std::move(image)) {}
    explicit ClipboardContent(AsciiTextPointer ascii) : value_(std::move(ascii)) {}

    std::variant<QString, ClipboardImage, AsciiTextPointer> value_;
};

} // namespace tolvi
