#include "TolviCore/archive/TextLimits.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <limits>

namespace tolvi::TextLimits {

bool isBlank(const QString& text)
{
    // QChar::isSpace covers the Unicode separators (Z*), U+0009 to U+000D and U+0085; all of them
    // lie in the basic plane, so no surrogate pair can be white space.
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

namespace {

qint64 graphemeCount(const QChar* chars, qsizetype length, qint64 stopAfter)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, chars, length);
    qint64 count = 0;
    while (finder.toNextBoundary() != -1) {
        if (++count > stopAfter)
            break;
    }
    return count;
}

} // namespace

bool exceedsCharacterLimit(const QString& text, qint64 limit)
{
    if (limit < 0)
        return !text.isEmpty();
    // A cluster holds at least one code unit.
    if (text.size() <= limit)
        return false;
    // A text stored at this length cannot be an ordinary text of `limit` characters.
    if (limit <= std::numeric_limits<qint64>::max() / maximumCodeUnitsPerCharacter
        && text.size() > limit * maximumCodeUnitsPerCharacter)
        return true;
    // Segment a growing prefix. Every cluster of a prefix except its last is a whole cluster of
    // the text, so more than limit + 1 clusters in a prefix settles it.
    qsizetype prefix = static_cast<qsizetype>(std::min<qint64>(text.size(), limit * 2 + 64));
    while (true) {
        if (prefix >= text.size())
            return graphemeCount(text.constData(), text.size(), limit + 1) > limit;
        if (graphemeCount(text.constData(), prefix, limit + 2) > limit + 1)
            return true;
        prefix = std::min<qsizetype>(text.size(), prefix * 2);
    }
}

QString caseAndDiacriticFolded(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        char32_t code = decomposed[i].unicode();
        qsizetype width = 1;
        if (decomposed[i].isHighSurrogate() && i + 1 < decomposed.size() && decomposed[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(decomposed[i], decomposed[i + 1]);
            width = 2;
        }
        if (QChar::category(code) != QChar::Mark_NonSpacing)
            stripped.append(decomposed.constData() + i, width);
        i += width - 1;
    }
    return stripped.toCaseFolded().normalized(QString::NormalizationForm_C);
}

bool hasControlOrFormatCharacter(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        const QChar::Category category = QChar::category(code);
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            return true;
    }
    return false;
}

} // namespace tolvi::TextLimits
