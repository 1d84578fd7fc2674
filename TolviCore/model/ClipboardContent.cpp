#include "TolviCore/model/ClipboardContent.h"

#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

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
    if (const QString* ta = a.textIf()) {
        const QString* tb = b.textIf();
        return tb && UnicodeText::canonicallyEqual(*ta, *tb);
    }
    const ClipboardImage* ib = b.imageIf();
    return ib && a.imageValue() == *ib;
}

} // namespace tolvi
