#include "TolviCore/model/UnicodeText.h"

#include <QTextBoundaryFinder>

namespace tolvi::UnicodeText {

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

QString canonicalForm(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C);
}

bool hasLoneSurrogates(const QString& text)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < n && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

QString replacingLoneSurrogates(const QString& text)
{
    if (!hasLoneSurrogates(text))
        return text;
    QString result = text;
    QChar* s = result.data();
    const qsizetype n = result.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < n && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        s[i] = QChar(QChar::ReplacementCharacter);
    }
    return result;
}

qsizetype utf8Length(const QString& text)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1].isLowSurrogate()) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

qsizetype characterCount(const QString& text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace tolvi::UnicodeText
