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
// A text read from the history file may be held as its UTF-8 bytes: no conversion at load, and
// less memory than UTF-16 for any text whose characters mostly lie below U+0800 (ASCII alone
// takes half). Its QString is made the first time it is asked for (by any thread, once) and kept;
// what can read the bytes instead (saving, the search pack, the key hash, the storage estimate)
// asks for them through utf8TextIf(), or asciiTextIf() for a text that is ASCII alone. Both forms
// hold the same text, and the clip behaves the same whichever form it has. The bytes are the
// text's own, or lie in a TextMemory shared with other texts.
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
    // A text given by its UTF-8 bytes, which must be well formed; its key hash is worked out from
    // them here.
    static ClipboardContent utf8Text(QByteArray utf8);
    // The same, with bytes that lie in `memory`, of a text `units` UTF-16 code units long
    // (UnicodeText::utf16Length()).
    static ClipboardContent utf8Text(QByteArrayView utf8, qsizetype units, std::shared_ptr<const TextMemory> memory);
    static ClipboardContent image(ClipboardImage image) { return ClipboardContent(std::move(image)); }

    bool isImage() const { return std::holds_alternative<ClipboardImage>(value_); }
    bool isText() const { return !isImage(); }

    // Valid only for the matching case.
    const QString& textValue() const
    {
        if (const QString* text = std::get_if<QString>(&value_))
            return *text;
        return std::get<ByteTextPointer>(value_)->text();
    }
    const ClipboardImage& imageValue() const { return std::get<ClipboardImage>(value_); }
    ClipboardImage& imageValue() { return std::get<ClipboardImage>(value_); }

    // The text, or nullptr for an image; the image, or nullptr for a text.
    const QString* textIf() const { return isImage() ? nullptr : &textValue(); }
    const ClipboardImage* imageIf() const { return std::get_if<ClipboardImage>(&value_); }
    ClipboardImage* imageIf() { return std::get_if<ClipboardImage>(&value_); }
    // The bytes of a text held as bytes that are all ASCII, valid while this content or a copy of
    // it is; none for any other text and for an image.
    std::optional<QByteArrayView> asciiTextIf() const
    {
        if (const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_); bytes && (*bytes)->ascii)
            return (*bytes)->bytes;
        return std::nullopt;
    }
    // The UTF-8 bytes of a text held as bytes (ASCII or not), valid as asciiTextIf() is; none for
    // any other text and for an image.
    std::optional<QByteArrayView> utf8TextIf() const
    {
        if (const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_))
            return (*bytes)->bytes;
        return std::nullopt;
    }

    // The hash of a canonical de-duplication key (or of a text: see textKeyHash()) by its UTF-8
    // bytes; equal keys have equal hashes.
    static size_t hashOfKey(QByteArrayView canonicalUtf8);
    // hashOfKey() of a text's canonical form.
    static size_t textKeyHash(const QString& text);
    // textKeyHash() of this text, without making the QString of a text held as bytes; 0 for an
    // image.
    size_t textKeyHash() const;

    // The text as a QString made for the moment, without keeping it with the clip: for passes
    // over many clips.
    QString transientText() const;

    // Whether this is a text equal to `text` code unit for code unit (without making the QString
    // of a text held as bytes).
    bool textEquals(QStringView text) const
    {
        if (const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_)) {
            if ((*bytes)->units != text.size())
                return false;
            if ((*bytes)->ascii)
                return QLatin1StringView((*bytes)->bytes) == text;
            return QtPrivate::equalStrings(QUtf8StringView((*bytes)->bytes), text);
        }
        const QString* own = std::get_if<QString>(&value_);
        return own && *own == text;
    }
    // The number of UTF-16 code units of a text; 0 for an image.
    qsizetype textSize() const
    {
        if (const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_))
            return (*bytes)->units;
        const QString* own = std::get_if<QString>(&value_);
        return own ? own->size() : 0;
    }

    // For tests and measurements: whether a text's QString is held (always, unless the text is held
    // as ASCII bytes and nothing has asked for its QString yet); false for an image.
    bool holdsTextValue() const
    {
        const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_);
        return bytes ? (*bytes)->isMade() : isText();
    }

    // The length of the text's UTF-8 form; 0 for an image.
    qsizetype textUtf8Length() const;

    // "text:" followed by the text, or "image:" followed by the image's fingerprint.
    QString dedupeKey() const;

    // The text of a text clip; for an image "image <size> <bytes> <recognised text>".
    QString searchText() const;

    friend bool operator==(const ClipboardContent& a, const ClipboardContent& b);

private:
    // A text held as its UTF-8 bytes, its own or in a TextMemory.
    class ByteText {
    public:
        ByteText(QByteArray bytes, bool isAscii, qsizetype unitCount, std::optional<size_t> hash)
            : owned_(std::move(bytes)), bytes(owned_), ascii(isAscii), units(unitCount), keyHash(hash)
        {
        }
        ByteText(QByteArrayView view, std::shared_ptr<const TextMemory> memory, bool isAscii, qsizetype unitCount,
                 std::optional<size_t> hash)
            : bytes(view), ascii(isAscii), units(unitCount), keyHash(hash), memory_(std::move(memory))
        {
        }
        ~ByteText()
        {
            if (memory_)
                memory_->letGo(bytes.data(), bytes.size());
        }
        ByteText(const ByteText&) = delete;
        ByteText& operator=(const ByteText&) = delete;
        const QString& text() const
        {
            std::call_once(once_, [this] {
                text_ = ascii ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
                made_.store(true, std::memory_order_release);
            });
            return text_;
        }
        bool isMade() const { return made_.load(std::memory_order_acquire); }

    private:
        const QByteArray owned_; // empty when the bytes lie in memory_

    public:
        const QByteArrayView bytes;
        const bool ascii;
        const qsizetype units;                // UTF-16 code units
        const std::optional<size_t> keyHash; // textKeyHash(), when worked out ahead

    private:
        const std::shared_ptr<const TextMemory> memory_;
        mutable std::once_flag once_;
        mutable QString text_;
        mutable std::atomic<bool> made_{false};
    };
    using ByteTextPointer = std::shared_ptr<const ByteText>;

    explicit ClipboardContent(QString text) : value_(std::move(text)) {}
    explicit ClipboardContent(ClipboardImage image) : value_(std::move(image)) {}
    explicit ClipboardContent(ByteTextPointer bytes) : value_(std::move(bytes)) {}

    std::variant<QString, ClipboardImage, ByteTextPointer> value_;
};

} // namespace tolvi
