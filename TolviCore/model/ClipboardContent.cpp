#include "TolviCore/model/ClipboardContent.h"

#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

ClipboardContent ClipboardContent::asciiText(QByteArray ascii)
{
    Q_ASSERT(QtPrivate::isAscii(QLatin1StringView(ascii)));
    return ClipboardContent(std::make_shared<const AsciiText>(std::move(ascii)));
}

ClipboardContent ClipboardContent::asciiText(QByteArrayView ascii, std::shared_ptr<const TextMemory> memory)
{
    Q_ASSERT(QtPrivate::isAscii(QLatin1StringView(ascii)));
    Q_ASSERT(memory);
    return ClipboardContent(std::make_shared<const AsciiText>(ascii, std::move(memory)));
}

qsizetype ClipboardContent::textUtf8Length() const
{
    if (const std::optional<QByteArrayView> ascii = asciiTextIf())
        return ascii->size();
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
        return UnicodeText::canonicallyEqual(a.textValue(), b.textValue());
    }
    const ClipboardImage* ib = b.imageIf();
    return ib && a.imageValue() == *ib;
}

} // namespace tolvi
