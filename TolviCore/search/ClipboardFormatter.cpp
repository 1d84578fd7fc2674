#include "TolviCore/search/ClipboardFormatter.h"

#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/text/MediumDate.h"
#include "TolviCore/text/TextCharacters.h"

#include <QMutex>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QUrl>

#include <cmath>
#include <deque>

namespace tolvi::ClipboardFormatter {

namespace {

// The metadata line is drawn for every row on every paint: the counts of the last few long
// texts are kept (with the texts, so that a count is never taken for another text that came to
// lie at the same address).
qsizetype metadataCharacterCount(const QString& text)
{
    constexpr qsizetype countedOnEveryCall = 10'000;
    if (text.size() <= countedOnEveryCall)
        return TextCharacters::characterCount(text, countedCharacterLimit + 1);
    struct Entry {
        QString text;
        qsizetype count;
    };
    static QMutex mutex;
    static std::deque<Entry> entries;
    {
        const QMutexLocker lock(&mutex);
        for (const Entry& entry : entries) {
            if (entry.text.isSharedWith(text))
                return entry.count;
        }
    }
    const qsizetype count = TextCharacters::characterCount(text, countedCharacterLimit + 1);
    const QMutexLocker lock(&mutex);
    entries.push_front({text, count});
    if (entries.size() > 4)
        entries.pop_back();
    return count;
}

const QStringList* fileReferences(const ClipboardItem& item)
{
    const auto& payload = item.originalPayload();
    if (!payload || payload->fileURLs().isEmpty())
        return nullptr;
    return &payload->fileURLs();
}

} // namespace

QString fileName(const QString& fileURL)
{
    QStringView path(fileURL);
    const qsizetype colon = path.indexOf(u':');
    const qsizetype firstSlash = path.indexOf(u'/');
    if (colon >= 0 && (firstSlash < 0 || colon < firstSlash))
        path = path.sliced(colon + 1);
    if (path.startsWith(u"//")) {
        const qsizetype end = path.indexOf(u'/', 2);
        path = end < 0 ? QStringView() : path.sliced(end);
    }
    const qsizetype queryOrFragment = [&] {
        const qsizetype q = path.indexOf(u'?');
        const qsizetype h = path.indexOf(u'#');
        return q < 0 ? h : (h < 0 ? q : std::min(q, h));
    }();
    if (queryOrFragment >= 0)
        path = path.first(queryOrFragment);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    if (path == u"/")
        return QStringLiteral("/");
    const QStringView last = path.sliced(path.lastIndexOf(u'/') + 1);
    return QUrl::fromPercentEncoding(last.toUtf8());
}

QString singleLinePreview(const QString& text, int limit)
{
    const QStringView view(text);
    QString joined;
    joined.reserve(std::min<qsizetype>(text.size(), 4096));
    bool pendingBlank = false;
    const qsizetype n = view.size();
    // Only as many characters as the limit can show are needed, plus one to know whether the
    // text is longer; a blank per character is the most that collapsing can remove.
    const qsizetype enough = limit > 0 ? qsizetype(limit) + 1 : 1;
    qsizetype checkpoint = 4 * enough + 8;
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = view[i].unicode();
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
        else if (const char16_t mark = TextCharacters::bidiControlMark(c))
            c = mark;
        // A blank that carries a combining mark is a character of its own, not a separator.
        if (c == u' ' && !TextCharacters::continuesCharacterAt(view, i + 1)) {
            pendingBlank = !joined.isEmpty();
            continue;
        }
        if (pendingBlank) {
            joined.append(QChar(u' '));
            pendingBlank = false;
        }
        joined.append(QChar(c));
        // Once more characters than the limit are there, the rest cannot change what is shown.
        if (joined.size() >= checkpoint) {
            if (TextCharacters::characterCount(joined, enough) >= enough)
                break;
            checkpoint *= 2;
        }
    }

    // One character of many joined emoji is kept to its first few: a label measures every one of
    // them (each a picture of a colour emoji font) to show, at best, a line of them.
    bool cutInsideCharacter = false;
    if (joined.size() > 2 * TextCharacters::piecePictographs) {
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, joined);
        qsizetype start = 0;
        for (qsizetype end = characters.toNextBoundary(); end > 0; end = characters.toNextBoundary()) {
            if (end - start > 2 * TextCharacters::piecePictographs) {
                const qsizetype pieceEnd = TextCharacters::characterPieceEnd(joined, start, end - start);
                if (pieceEnd < end) {
                    joined.truncate(pieceEnd);
                    cutInsideCharacter = true;
                    break;
                }
            }
            start = end;
        }
    }

    const qsizetype count = TextCharacters::characterCount(joined, qsizetype(std::max(limit, 0)) + 1);
    if (count <= limit)
        return cutInsideCharacter && limit > 0 ? joined + QLatin1String("...") : joined;
    QString result = TextCharacters::characterPrefix(joined, qsizetype(limit) - 1).toString();
    result.append(QLatin1String("..."));
    return result;
}

QString menuPreview(const ClipboardItem& item, int limit)
{
    if (const QStringList* files = fileReferences(item)) {
        QStringList names;
        names.reserve(files->size());
        for (const QString& url : *files)
            names.append(fileName(url));
        return singleLinePreview(names.join(QLatin1String(", ")), limit);
    }
    if (const ClipboardImage* image = item.content().imageIf())
        return QStringLiteral("Image ") + image->pixelDescription();
    return singleLinePreview(item.content().textValue(), limit);
}

QString metadata(const ClipboardItem& item, double now, const QLocale& locale, const QTimeZone& timeZone)
{
    QString line;
    if (item.isPinned())
        line += QLatin1String("Pinned - ");
    line += relativeTimestamp(item.createdAt(), now, locale, timeZone);
    line += QLatin1String(" - ");
    if (const QStringList* files = fileReferences(item)) {
        line += QString::number(files->size()) + QLatin1String(" file reference");
        if (files->size() != 1)
            line += QLatin1Char('s');
    } else if (const ClipboardImage* image = item.content().imageIf()) {
        line += image->pixelDescription() + QLatin1String(" - ")
                + ByteCountFormatter::fileStyle(image->byteCount(), locale);
        if (image->recognizedText() && !image->recognizedText()->isEmpty())
            line += QLatin1String(" - OCR");
    } else {
        // Every list shows this line for every clip it draws: a text of millions of characters is
        // counted only as far as the limit.
        const qsizetype count = metadataCharacterCount(item.content().textValue());
        line += count > countedCharacterLimit ? QString::number(countedCharacterLimit) + QLatin1String("+ chars")
                                              : QString::number(count) + QLatin1String(" chars");
    }
    if (const auto& app = item.sourceApp())
        line += QLatin1String(" - ") + app->name();
    return line;
}

QString relativeTimestamp(double date, double now, const QLocale& locale, const QTimeZone& timeZone)
{
    // Times come from files and archives, so any double may arrive here: compare in floating
    // point and convert only values already known to be small.
    const double seconds = now - date;
    if (!(seconds >= 60.0))
        return QStringLiteral("Just now"); // also a future time, or one that is not a number
    if (seconds < 3600.0)
        return QString::number(int(seconds / 60.0)) + QLatin1String(" min ago");
    if (seconds < 86400.0)
        return QString::number(int(seconds / 3600.0)) + QLatin1String(" hr ago");
    if (seconds < 604800.0)
        return QString::number(int(seconds / 86400.0)) + QLatin1String(" days ago");
    return MediumDate::format(ReferenceDate::toUnixSeconds(date), locale, timeZone);
}

} // namespace tolvi::ClipboardFormatter
