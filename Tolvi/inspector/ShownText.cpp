#include "Tolvi/inspector/ShownText.h"

#include "TolviCore/concurrency/ApplicationThreadPool.h"

#include <QThread>

namespace tolvi::ShownText {

namespace {

// A label is at most a few thousand pixels wide.
constexpr qsizetype excerptLength = 600;

// `length` units from the start, one less when that would split a surrogate pair.
QStringView head(const QString& text, qsizetype length)
{
    if (length < text.size() && length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return QStringView(text).left(length);
}

// Where the line break after the first `lines` lines of `text` stands, or -1 when it has no more
// lines than that.
qsizetype endOfLines(QStringView text, qsizetype lines)
{
    // Every line break takes a unit at least.
    if (text.size() <= lines)
        return -1;
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c > u'\r' && c != 0x2029 && c != 0xFDD0 && c != 0xFDD1)
            continue;
        if (c == u'\r' && i + 1 < n && s[i + 1] == u'\n')
            continue; // counted at its LF
        if (c != u'\n' && c != u'\r' && c < 0x2029)
            continue;
        if (breaks++ == lines)
            return c == u'\n' && i > 0 && s[i - 1] == u'\r' ? i - 1 : i;
    }
    return -1;
}

QStringView tail(const QString& text, qsizetype length)
{
    qsizetype from = text.size() - length;
    if (from > 0 && from < text.size() && text.at(from).isLowSurrogate())
        ++from;
    return QStringView(text).mid(from);
}

} // namespace

QThreadPool& workPool()
{
    static ApplicationThreadPool views(QThread::idealThreadCount());
    return views.pool();
}

bool isCut(const QString& text)
{
    return shownLength(text) < text.size();
}

bool hasTooManyLines(QStringView text)
{
    return endOfLines(text, lineLimit) >= 0;
}

QString shownPart(const QString& text)
{
    const qsizetype length = shownLength(text);
    return length < text.size() ? text.left(length) : text;
}

qsizetype shownLength(const QString& text)
{
    const QStringView shown = text.size() > limit ? head(text, limit) : QStringView(text);
    const qsizetype lines = endOfLines(shown, lineLimit);
    return lines >= 0 ? lines : shown.size();
}

QString note()
{
    return QStringLiteral("Too long to show whole: only the beginning is shown. Copy and Paste use the whole text.");
}

QString oneLineExcerpt(const QString& text, Qt::TextElideMode elide)
{
    if (text.size() <= 2 * excerptLength)
        return text;
    const QChar ellipsis(0x2026);
    switch (elide) {
    case Qt::ElideLeft:
        return ellipsis + tail(text, excerptLength).toString();
    case Qt::ElideMiddle:
        return head(text, excerptLength).toString() + ellipsis + tail(text, excerptLength).toString();
    case Qt::ElideRight:
    case Qt::ElideNone:
        break;
    }
    return head(text, 2 * excerptLength).toString() + ellipsis;
}

} // namespace tolvi::ShownText
