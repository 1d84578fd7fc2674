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
    return text.size() > limit;
}

QString shownPart(const QString& text)
{
    return isCut(text) ? head(text, limit).toString() : text;
}

qsizetype shownLength(const QString& text)
{
    return isCut(text) ? head(text, limit).size() : text.size();
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
