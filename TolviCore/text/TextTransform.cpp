#include "TolviCore/text/TextTransform.h"

#include "TolviCore/text/JsonPrettyPrinter.h"
#include "TolviCore/text/TextCharacters.h"
#include "TolviCore/text/UriComponents.h"

#include <QCollator>
#include <QLocale>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace tolvi {

namespace {

using namespace TextCharacters;

struct CaseInfo {
    const char16_t* rawValue;
    const char16_t* title;
    // What a paste of the transform's result is called.
    const char16_t* resultTitle;
};

constexpr std::array<CaseInfo, TextTransform::caseCount> caseInfo = {{
    {u"trimWhitespace", u"Trim Whitespace", u"Trimmed Text"},
    {u"collapseSpaces", u"Collapse Spaces", u"Clean Spacing"},
    {u"sentenceCase", u"Sentence Case", u"Sentence Case"},
    {u"titleCase", u"Title Case", u"Title Case"},
    {u"uppercase", u"Uppercase", u"Uppercase"},
    {u"lowercase", u"Lowercase", u"Lowercase"},
    {u"bulletList", u"Bullet List", u"Bullet List"},
    {u"numberedList", u"Numbered List", u"Numbered List"},
    {u"checklist", u"Checklist", u"Checklist"},
    {u"emailDraft", u"Email Draft", u"Email Draft"},
    {u"sortLines", u"Sort Lines", u"Sorted Lines"},
    {u"deduplicateLines", u"Remove Duplicate Lines", u"Unique Lines"},
    {u"quoteLines", u"Quote Lines", u"Quote Block"},
    {u"codeBlock", u"Code Block", u"Code Block"},
    {u"slugify", u"Slugify", u"Slug"},
    {u"prettyJSON", u"Pretty JSON", u"Pretty JSON"},
    {u"cleanURL", u"Clean URL", u"Clean URL"},
    {u"markdownLink", u"Markdown Link", u"Markdown Link"},
}};

constexpr std::array<QStringView, 8> trackingParameters = {
    u"fbclid", u"gclid", u"gbraid", u"mc_cid", u"mc_eid", u"msclkid", u"spm", u"yclid",
};

constexpr std::array<QStringView, 4> signatureParameters = {
    u"signature", u"sig", u"x-amz-signature", u"x-goog-signature",
};

// --- Web addresses ---------------------------------------------------------------------------

std::optional<UriComponents> urlComponents(const QString& text)
{
    const QStringView trimmed = trimmedWhitespaceAndNewlines(text);
    for (QChar c : trimmed) {
        if (isWhitespaceOrNewline(c.unicode()))
            return std::nullopt;
    }
    std::optional<UriComponents> components = UriComponents::parse(trimmed);
    if (!components || !components->scheme)
        return std::nullopt;
    const QString scheme = components->scheme->toLower();
    if (scheme != u"http" && scheme != u"https")
        return std::nullopt;
    if (!components->host || components->host->isEmpty())
        return std::nullopt;
    return components;
}

// The name of one "&"-separated query part, percent-decoded when it decodes, lower-cased.
QString queryPartName(QStringView part)
{
    const qsizetype equals = part.indexOf(u'=');
    const QStringView raw = equals < 0 ? part : part.first(equals);
    const std::optional<QString> decoded = UriComponents::percentDecoded(raw);
    return lowerCased(decoded ? QStringView(*decoded) : raw);
}

std::optional<QString> cleanedURLString(const QString& text)
{
    std::optional<UriComponents> components = urlComponents(text);
    if (!components)
        return std::nullopt;
    if (components->query) {
        const QList<QStringView> parts = QStringView(*components->query).split(u'&');
        QStringList names;
        names.reserve(parts.size());
        for (QStringView part : parts)
            names.append(queryPartName(part));
        for (const QString& name : names) {
            if (std::find(signatureParameters.begin(), signatureParameters.end(), name) != signatureParameters.end())
                return trimmedWhitespaceAndNewlines(text).toString();
        }
        QStringList kept;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QString& name = names[i];
            const bool tracking = name.startsWith(u"utm_")
                                  || std::find(trackingParameters.begin(), trackingParameters.end(), name)
                                         != trackingParameters.end();
            if (!tracking)
                kept.append(parts[i].toString());
        }
        if (kept.isEmpty())
            components->query.reset();
        else
            components->query = kept.join(QLatin1Char('&'));
    }
    return components->toString();
}

QString markdownLink(const QString& text)
{
    const std::optional<UriComponents> components = urlComponents(text);
    if (!components)
        return text;
    const QString& rawHost = *components->host;
    const QString host = UriComponents::percentDecoded(rawHost).value_or(rawHost);
    return QLatin1Char('[') + host + QLatin1String("](") + components->toString() + QLatin1Char(')');
}

// --- Lines -----------------------------------------------------------------------------------

// Splits at every line-break character, trims each piece and keeps the pieces that are not empty.
QStringList nonEmptyLines(const QString& text)
{
    QStringList lines;
    const QStringView view(text);
    const qsizetype n = view.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && !isNewline(view[i].unicode()))
            continue;
        const QStringView piece = trimmedWhitespaceAndNewlines(view.sliced(start, i - start));
        if (!piece.isEmpty())
            lines.append(piece.toString());
        start = i + 1;
    }
    return lines;
}

QString joinedWithPrefix(const QStringList& lines, QStringView prefix)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + prefix.size() + 1;
    QString result;
    result.reserve(size);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result.append(QChar(u'\n'));
        result.append(prefix);
        result.append(lines[i]);
    }
    return result;
}

QString numberedList(const QStringList& lines)
{
    QString result;
    result.reserve(std::accumulate(lines.begin(), lines.end(), qsizetype(0),
                                   [](qsizetype sum, const QString& l) { return sum + l.size() + 9; }));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result.append(QChar(u'\n'));
        result.append(QString::number(i + 1));
        result.append(QLatin1String(". "));
        result.append(lines[i]);
    }
    return result;
}

QStringList deduplicatedLines(const QString& text)
{
    QStringList result;
    QSet<QString> seen;
    for (QString& line : nonEmptyLines(text)) {
        const QString key = line.normalized(QString::NormalizationForm_C);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        result.append(std::move(line));
    }
    return result;
}

QStringList sortedLines(const QString& text)
{
    QStringList lines = nonEmptyLines(text);
    QCollator collator{QLocale()};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(lines.size());
    for (const QString& line : lines)
        keys.push_back(collator.sortKey(line));
    std::vector<qsizetype> order(lines.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
    QStringList sorted;
    sorted.reserve(lines.size());
    for (qsizetype index : order)
        sorted.append(std::move(lines[index]));
    return sorted;
}

QString quoteLines(const QString& text)
{
    QString result;
    result.reserve(text.size() + text.size() / 16 + 2);
    result.append(QLatin1String("> "));
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        // A CR LF pair is one character and no split point.
        if (s[i] != u'\n' || (i > 0 && s[i - 1] == u'\r'))
            continue;
        result.append(s + start, i - start);
        result.append(QLatin1String("\n> "));
        start = i + 1;
    }
    result.append(s + start, n - start);
    return result;
}

QString withLineFeeds(const QString& text)
{
    QString result = text;
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.replace(QChar(u'\r'), QChar(u'\n'));
    return result;
}

QString collapseSpaces(const QString& text)
{
    const QString normalized = withLineFeeds(text);
    const QStringView view(normalized);
    QString result;
    result.reserve(normalized.size());
    const qsizetype n = view.size();
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && view[i] != u'\n')
            continue;
        if (lineStart > 0)
            result.append(QChar(u'\n'));
        // Split the line at blanks and tabs that stand alone (not carrying a combining mark).
        bool needsSeparator = false;
        qsizetype wordStart = lineStart;
        for (qsizetype j = lineStart; j <= i; ++j) {
            const bool separator = j < i && (view[j] == u' ' || view[j] == u'\t')
                                   && !continuesCharacterAt(view, j + 1);
            if (j < i && !separator)
                continue;
            if (j > wordStart) {
                if (needsSeparator)
                    result.append(QChar(u' '));
                result.append(view.sliced(wordStart, j - wordStart));
                needsSeparator = true;
            }
            wordStart = j + 1;
        }
        lineStart = i + 1;
    }
    return trimmedWhitespaceAndNewlines(result).toString();
}

QString sentenceCase(const QString& text)
{
    const QString lowered = lowerCased(text);
    const QStringView view(lowered);
    QString result;
    result.reserve(lowered.size());
    CharacterBoundaries boundaries(view);
    bool capitaliseNext = true;
    for (qsizetype position = 0; position < view.size();) {
        const qsizetype end = boundaries.next(position);
        const QStringView character = view.sliced(position, end - position);
        const char32_t first = codePointAt(view, position);
        if (capitaliseNext && isAlphabetic(first)) {
            result.append(upperCasedCharacter(character));
            capitaliseNext = false;
        } else {
            result.append(character);
            if (character.size() == 1 && (first == u'.' || first == u'!' || first == u'?'))
                capitaliseNext = true;
            else
                capitaliseNext = capitaliseNext && isWhitespaceOrNewline(first);
        }
        position = end;
    }
    return result;
}

QString emailDraft(const QString& text)
{
    const QString body = withLineFeeds(trimmedWhitespaceAndNewlines(text).toString());
    QString joined;
    joined.reserve(body.size());
    const QStringView view(body);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= view.size(); ++i) {
        if (i < view.size() && view[i] != u'\n')
            continue;
        if (start > 0)
            joined.append(QChar(u'\n'));
        joined.append(trimmedWhitespace(view.sliced(start, i - start)));
        start = i + 1;
    }
    if (joined.isEmpty())
        return QString();
    return QLatin1String("Hi,\n\n") + joined + QLatin1String("\n\nBest,");
}

QString codeBlock(const QString& text)
{
    return QLatin1String("```\n") + trimmedNewlines(text).toString() + QLatin1String("\n```");
}

QString slug(const QString& text)
{
    // Folding works code point by code point (the decomposition's marks are dropped, and what
    // remains outside a-z and 0-9 becomes a dash anyway), so ASCII is handled directly and every
    // other code point is folded once per call.
    const QLocale locale;
    QHash<char32_t, QString> foldedCodePoints;
    QString result;
    result.reserve(text.size());
    bool pendingDash = false;
    auto appendFolded = [&](QChar ch) {
        const char16_t c = ch.unicode();
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
            if (pendingDash && !result.isEmpty())
                result.append(QChar(u'-'));
            pendingDash = false;
            result.append(ch);
        } else {
            pendingDash = true;
        }
    };
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        const char16_t unit = view[i].unicode();
        if (unit < 0x80) {
            appendFolded(QChar(unit >= u'A' && unit <= u'Z' ? char16_t(unit + 32) : unit));
            ++i;
            continue;
        }
        const char32_t c = codePointAt(view, i);
        const qsizetype width = c > 0xFFFF ? 2 : 1;
        auto it = foldedCodePoints.find(c);
        if (it == foldedCodePoints.end())
            it = foldedCodePoints.insert(c, caseAndDiacriticFolded(view.sliced(i, width), locale));
        if (it->isEmpty()) {
            // A dropped mark belongs to the character before it and separates nothing.
        } else {
            for (QChar folded : *it)
                appendFolded(folded);
        }
        i += width;
    }
    return result;
}

} // namespace

QList<TextTransform> TextTransform::allCases()
{
    QList<TextTransform> cases;
    cases.reserve(caseCount);
    for (int i = 0; i < caseCount; ++i)
        cases.append(TextTransform(Case(i)));
    return cases;
}

std::optional<TextTransform> TextTransform::fromRawValue(QStringView rawValue)
{
    for (int i = 0; i < caseCount; ++i) {
        if (rawValue == QStringView(caseInfo[i].rawValue))
            return TextTransform(Case(i));
    }
    return std::nullopt;
}

QString TextTransform::rawValue() const
{
    return QString::fromUtf16(caseInfo[value_].rawValue);
}

QString TextTransform::title() const
{
    return QString::fromUtf16(caseInfo[value_].title);
}

QString TextTransform::resultTitle() const
{
    return QString::fromUtf16(caseInfo[value_].resultTitle);
}

QList<TextTransform> TextTransform::available(const QString& text)
{
    QList<TextTransform> result;
    for (int i = trimWhitespace; i <= slugify; ++i)
        result.append(TextTransform(Case(i)));
    if (JsonPrettyPrinter::isObjectOrArray(text))
        result.append(prettyJSON);
    if (urlComponents(text)) {
        result.append(cleanURL);
        result.append(markdownLink);
    }
    return result;
}

bool TextTransform::isWebURL(const QString& text)
{
    return urlComponents(text).has_value();
}

QString TextTransform::apply(const QString& text) const
{
    switch (value_) {
    case trimWhitespace:
        return trimmedWhitespaceAndNewlines(text).toString();
    case collapseSpaces:
        return tolvi::collapseSpaces(text);
    case sentenceCase:
        return tolvi::sentenceCase(text);
    case titleCase:
        return titleCased(text, QLocale());
    case uppercase:
        return upperCased(text);
    case lowercase:
        return lowerCased(text);
    case bulletList:
        return joinedWithPrefix(nonEmptyLines(text), u"- ");
    case numberedList:
        return tolvi::numberedList(nonEmptyLines(text));
    case checklist:
        return joinedWithPrefix(nonEmptyLines(text), u"- [ ] ");
    case emailDraft:
        return tolvi::emailDraft(text);
    case sortLines:
        return sortedLines(text).join(QLatin1Char('\n'));
    case deduplicateLines:
        return deduplicatedLines(text).join(QLatin1Char('\n'));
    case quoteLines:
        return tolvi::quoteLines(text);
    case codeBlock:
        return tolvi::codeBlock(text);
    case slugify:
        return slug(text);
    case prettyJSON:
        return JsonPrettyPrinter::prettyPrinted(text).value_or(text);
    case cleanURL:
        return cleanedURLString(text).value_or(text);
    case markdownLink:
        return tolvi::markdownLink(text);
    }
    return text;
}

} // namespace tolvi
