#include "Tolvi/inspector/ClipQuickLook.h"

#include "Tolvi/inspector/ShownText.h"

#include "Tolvi/inspector/ClipDetectedKind.h"
#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/store/ClipboardStore.h"
#include "TolviCore/text/MediumDate.h"
#include "TolviCore/text/TextCharacters.h"
#include "TolviCore/text/UriComponents.h"

#include <QDateTime>

#include <cmath>

namespace tolvi::ClipQuickLook {

std::optional<Link> linkURL(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    // No browser opens an address longer than this; parsing tens of millions of characters to
    // find out would hold up the preview.
    constexpr qsizetype longestLink = 2 * 1024 * 1024;
    if (!text)
        return std::nullopt;
    const QStringView trimmed = TextCharacters::trimmedWhitespaceAndNewlines(*text);
    if (trimmed.size() > longestLink)
        return std::nullopt;
    // Strict parsing: blanks inside, non-ASCII letters or a stray "%" make it no address. The
    // parts are read in place; only the host is copied.
    const std::optional<UriComponents::Views> components = UriComponents::split(trimmed);
    if (!components || !components->scheme)
        return std::nullopt;
    if (components->scheme->compare(QLatin1String("http"), Qt::CaseInsensitive) != 0
        && components->scheme->compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // What passed the strict parse is ASCII, and its query and fragment hold only characters an
    // address may hold: the address is valid when what comes before them is.
    qsizetype head = trimmed.size();
    for (const std::optional<QStringView>& tail : {components->query, components->fragment}) {
        if (tail)
            head = std::min(head, qsizetype(tail->data() - trimmed.data()) - 1);
    }
    if (!QUrl(trimmed.first(head).toString(), QUrl::StrictMode).isValid())
        return std::nullopt;
    Link link;
    if (components->host && !components->host->isEmpty())
        link.host = components->host->toString();
    // A text with nothing to trim is shared, not copied.
    link.absoluteString = trimmed.size() == text->size() ? *text : trimmed.toString();
    return link;
}

std::optional<QString> ocrText(const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image || !image->recognizedText())
        return std::nullopt;
    const QStringView trimmed = TextCharacters::trimmedWhitespaceAndNewlines(*image->recognizedText());
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed.toString();
}

QList<QuickLookTab> availableTabs(const ClipboardItem& item)
{
    QList<QuickLookTab> tabs{QuickLookTab::preview};
    if (ocrText(item))
        tabs.append(QuickLookTab::ocr);
    tabs.append(QuickLookTab::details);
    return tabs;
}

QuickLookTab normalizedTab(QuickLookTab selected, const QList<QuickLookTab>& available)
{
    return available.contains(selected) ? selected : QuickLookTab::preview;
}

QString tabTitle(QuickLookTab tab)
{
    switch (tab) {
    case QuickLookTab::preview:
        return QStringLiteral("Preview");
    case QuickLookTab::ocr:
        return QStringLiteral("OCR");
    case QuickLookTab::details:
        return QStringLiteral("Details");
    }
    return {};
}

QString tabSystemImage(QuickLookTab tab)
{
    switch (tab) {
    case QuickLookTab::preview:
        return QStringLiteral("rectangle.expand.vertical");
    case QuickLookTab::ocr:
        return QStringLiteral("text.viewfinder");
    case QuickLookTab::details:
        return QStringLiteral("info.circle");
    }
    return {};
}

qsizetype wordCount(QStringView text)
{
    TextCharacters::CharacterBoundaries boundaries(text);
    qsizetype words = 0;
    bool inWord = false;
    qsizetype position = 0;
    while (position < text.size()) {
        // A character is judged by its first code point, so a blank carrying a combining mark
        // still separates, and CR LF is one separator.
        const bool separator = TextCharacters::isWhitespaceOrNewline(TextCharacters::codePointAt(text, position));
        if (!separator && !inWord)
            ++words;
        inWord = !separator;
        const qsizetype next = boundaries.next(position);
        position = next > position ? next : position + 1;
    }
    return words;
}

bool usesMonospacedFont(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || ClipboardSearch::looksLikeCode(text);
}

QString detectingText()
{
    return QStringLiteral("Detecting...");
}

QString createdText(double createdAt, const QLocale& locale, const QTimeZone& timeZone)
{
    const QString date = MediumDate::format(ReferenceDate::toUnixSeconds(createdAt), locale, timeZone);
    const double ms = std::floor(ReferenceDate::toUnixSeconds(createdAt) * 1000.0);
    // Beyond what QDateTime can place the date alone is shown.
    if (!std::isfinite(ms) || std::fabs(ms) > 9.0e15)
        return date;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(qint64(ms), timeZone);
    if (!local.isValid())
        return date;
    return date + QStringLiteral(", ") + locale.toString(local.time(), QLocale::ShortFormat);
}

namespace {
QList<DetailRow> rowsFor(const ClipboardItem& item, const QLocale& locale, const QTimeZone& timeZone,
                         std::optional<TextCounts> counts, const std::optional<TextFindings>& findings);
} // namespace

TextFindings findings(const ClipboardItem& item)
{
    TextFindings found{ClipDetectedKind::of(item), std::nullopt, false};
    if (const QString* text = item.content().textIf()) {
        found.link = linkURL(item);
        found.monospaced = usesMonospacedFont(*text);
    }
    return found;
}

TextCounts textCounts(QStringView text)
{
    return {TextCharacters::characterCount(text), wordCount(text)};
}

QList<DetailRow> detailRows(const ClipboardItem& item, const QLocale& locale, const QTimeZone& timeZone,
                            std::optional<TextCounts> counts)
{
    return rowsFor(item, locale, timeZone, counts, findings(item));
}

QList<DetailRow> detailRows(const ClipboardItem& item, const std::optional<TextFindings>& findings,
                            std::optional<TextCounts> counts)
{
    return rowsFor(item, QLocale(), QTimeZone::systemTimeZone(), counts, findings);
}

namespace {
QList<DetailRow> rowsFor(const ClipboardItem& item, const QLocale& locale, const QTimeZone& timeZone,
                         std::optional<TextCounts> counts, const std::optional<TextFindings>& findings)
{
    QList<DetailRow> rows;
    if (findings)
        rows.append({QStringLiteral("Kind"), findings->kind.title(), findings->kind.systemImage()});
    else
        rows.append({QStringLiteral("Kind"), detectingText(), QStringLiteral("ellipsis")});
    const std::optional<Link>& link = findings ? findings->link : std::optional<Link>();
    rows.append({QStringLiteral("Created"), createdText(item.createdAt(), locale, timeZone), QStringLiteral("calendar")});
    rows.append({QStringLiteral("Source"), item.sourceApp() ? item.sourceApp()->name() : QStringLiteral("Unknown"),
                 QStringLiteral("app.dashed")});
    if (const ClipboardImage* image = item.content().imageIf()) {
        rows.append({QStringLiteral("Dimensions"), image->pixelDescription(), QStringLiteral("ruler")});
        rows.append({QStringLiteral("Size"), ByteCountFormatter::fileStyle(image->byteCount(), locale),
                     QStringLiteral("externaldrive")});
        const std::optional<QString> recognized = ocrText(item);
        rows.append({QStringLiteral("OCR"),
                     recognized ? QString::number(TextCharacters::characterCount(*recognized))
                                      + QStringLiteral(" characters")
                                : QStringLiteral("No recognized text"),
                     QStringLiteral("text.viewfinder")});
    } else {
        const QString& text = item.content().textValue();
        if (!counts && text.size() <= ShownText::countedInPlaceLimit)
            counts = textCounts(text);
        const QString counting = QStringLiteral("Counting...");
        rows.append({QStringLiteral("Characters"), counts ? QString::number(counts->characters) : counting,
                     QStringLiteral("textformat.abc")});
        rows.append({QStringLiteral("Words"), counts ? QString::number(counts->words) : counting,
                     QStringLiteral("text.word.spacing")});
        if (link)
            rows.append({QStringLiteral("Link Host"), link->host.value_or(link->absoluteString), QStringLiteral("link")});
    }
    rows.append({QStringLiteral("Pinned"), item.isPinned() ? QStringLiteral("Yes") : QStringLiteral("No"),
                 item.isPinned() ? QStringLiteral("pin.fill") : QStringLiteral("pin")});
    rows.append({QStringLiteral("Boards"),
                 item.pinboardIDs().isEmpty() ? QStringLiteral("None") : QString::number(item.pinboardIDs().size()),
                 QStringLiteral("square.grid.2x2")});
    return rows;
}
} // namespace

std::optional<ClipboardItem> currentClip(const ClipboardStore& store, const ClipboardItem& shown)
{
    if (std::optional<ClipboardItem> same = store.item(shown.id()))
        return same;
    // A clip recorded again keeps its content; the cheap comparisons go first.
    const ClipboardContent& content = shown.content();
    const QString key = shown.dedupeKey();
    const qsizetype count = store.itemCount();
    for (qsizetype i = 0; i < count; ++i) {
        const ClipboardItem& candidate = store.itemAt(i);
        const ClipboardContent& other = candidate.content();
        bool sameContent = false;
        if (const QString* text = content.textIf())
            sameContent = other.textEquals(*text);
        else
            sameContent = other.imageIf() && other.imageIf()->hasSameFingerprint(content.imageValue());
        if (sameContent && candidate.dedupeKey() == key)
            return candidate;
    }
    return std::nullopt;
}

} // namespace tolvi::ClipQuickLook
