#include "TolviCore/model/ClipboardContent.h"

#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/model/UnicodeText.h"

#include <QHash>

namespace tolvi {

ClipboardContent ClipboardContent::asciiText(QByteArray ascii)
{
    Q_ASSERT(QtPrivate::isAscii(QLatin1StringView(ascii)));
    const qsizetype units = ascii.size();
    return ClipboardContent(std::make_shared<const ByteText>(std::move(ascii), true, units, std::nullopt));
}

ClipboardContent ClipboardContent::asciiText(QByteArrayView ascii, std::shared_ptr<const TextMemory> memory)
{
    Q_ASSERT(QtPrivate::isAscii(QLatin1StringView(ascii)));
    Q_ASSERT(memory);
    return ClipboardContent(
        std::make_shared<const ByteText>(ascii, std::move(memory), true, ascii.size(), std::nullopt));
}

namespace {

// textKeyHash() of well-formed UTF-8 text that is not all ASCII.
size_t utf8TextKeyHash(QByteArrayView utf8)
{
    if (UnicodeText::isCanonical(utf8))
        return ClipboardContent::hashOfKey(utf8);
    return ClipboardContent::textKeyHash(QString::fromUtf8(utf8));
}

} // namespace

// Every character beyond ASCII takes more bytes in UTF-8 than code units in UTF-16: a text of as
// many units as bytes is ASCII.
ClipboardContent ClipboardContent::utf8Text(QByteArray utf8)
{
    const qsizetype units = UnicodeText::utf16Length(utf8);
    if (units == utf8.size())
        return asciiText(std::move(utf8));
    const size_t hash = utf8TextKeyHash(utf8);
    return ClipboardContent(std::make_shared<const ByteText>(std::move(utf8), false, units, hash));
}

ClipboardContent ClipboardContent::utf8Text(QByteArrayView utf8, qsizetype units,
                                            std::shared_ptr<const TextMemory> memory)
{
    Q_ASSERT(units == UnicodeText::utf16Length(utf8));
    if (units == utf8.size())
        return asciiText(utf8, std::move(memory));
    Q_ASSERT(memory);
    return ClipboardContent(
        std::make_shared<const ByteText>(utf8, std::move(memory), false, units, utf8TextKeyHash(utf8)));
}

size_t ClipboardContent::hashOfKey(QByteArrayView canonicalUtf8)
{
    return qHash(canonicalUtf8, QHashSeed::globalSeed());
}

size_t ClipboardContent::textKeyHash(const QString& text)
{
    return hashOfKey(UnicodeText::canonicalForm(text).toUtf8());
}

size_t ClipboardContent::textKeyHash() const
{
    if (const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_)) {
        if ((*bytes)->keyHash)
            return *(*bytes)->keyHash;
        // ASCII is its own canonical form.
        return (*bytes)->ascii ? hashOfKey((*bytes)->bytes) : utf8TextKeyHash((*bytes)->bytes);
    }
    if (const QString* text = std::get_if<QString>(&value_))
        return textKeyHash(*text);
    return 0;
}

QString ClipboardContent::transientText() const
{
    if (const ByteTextPointer* bytes = std::get_if<ByteTextPointer>(&value_)) {
        if ((*bytes)->isMade())
            return (*bytes)->text();
        return (*bytes)->ascii ? QString::fromLatin1((*bytes)->bytes) : QString::fromUtf8((*bytes)->bytes);
    }
    return isText() ? textValue() : QString();
}

qsizetype ClipboardContent::textUtf8Length() const
{
    if (const std::optional<QByteArrayView> utf8 = utf8TextIf())
        return utf8->size();
    if (const QString* text = std::get_if<QString>(&value_))
        return UnicodeText::utf8Length(*text);
    return 0;
}

QString ClipboardContent::dedupeKey() const
{
    if (const QString* text = textIf())
        return QStringLiteral("text:") + *text;
    return QStringLiteral("image:") + imageValue().fingerprint();
}

QString ClipboardContent::searchText() const
{
    if (const QString* text = textIf())
        return *text;
    const ClipboardImage& image = imageValue();
    return QStringLiteral("image ") + image.pixelDescription() + QLatin1Char(' ')
           + ByteCountFormatter::fileStyle(image.byteCount()) + QLatin1Char(' ')
           + image.recognizedText().value_or(QString());
}

bool operator==(const ClipboardContent& a, const ClipboardContent& b)
{
    if (a.isText()) {
        if (!b.isText())
            return false;
        // ASCII is its own canonical form.
        const std::optional<QByteArrayView> asciiA = a.asciiTextIf();
        const std::optional<QByteArrayView> asciiB = b.asciiTextIf();
        if (asciiA && asciiB)
            return *asciiA == *asciiB;
        const std::optional<QByteArrayView> utf8A = a.utf8TextIf();
        const std::optional<QByteArrayView> utf8B = b.utf8TextIf();
        if (utf8A && utf8B && *utf8A == *utf8B)
            return true;
        return UnicodeText::canonicallyEqual(a.transientText(), b.transientText());
    }
    const ClipboardImage* ib = b.imageIf();
    return ib && a.imageValue() == *ib;
}

} // namespace tolvi
