#pragma once

#include <QString>

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <qnamespace.h>

namespace tolvi {

// How the views of one clip show a text that is too long to lay out: a history file may hold
// texts of any length (older files, hand-made ones), and laying out tens of millions of
// characters takes seconds and gigabytes whatever the view. Such a text is shown as its first
// part with a plain note; copying and pasting the clip still use the whole text. So is a text of
// more lines than a view's document holds quickly (each line is an object of its own there, of
// hundreds of bytes, that every change of the view's width visits): a copy the capture takes
// never has that many.
namespace ShownText {

// Texts longer than this (in UTF-16 code units) are shown as their first `limit` units.
constexpr qsizetype limit = 1'000'000;
// Texts of more line breaks than this are shown up to the first break beyond them. A line break
// is what starts a new line in a view: LF, CR (CR LF counts once), U+2029 and the two
// noncharacters U+FDD0 and U+FDD1 that a text document reads as one.
constexpr qsizetype lineLimit = 100'000;

// Texts longer than this are counted (characters, words) off the main thread.
constexpr qsizetype countedInPlaceLimit = 100'000;

bool isCut(const QString& text);
// More line breaks than lineLimit.
bool hasTooManyLines(QStringView text);
// The whole text up to the limits, else its first part (without the line break that ends it),
// never ending inside a surrogate pair.
QString shownPart(const QString& text);
// The length of shownPart().
qsizetype shownLength(const QString& text);
// Said beside the first part of a text that is too long to show whole.
QString note();

// The threads that count and measure long texts for the views. Not Qt's global pool: the raster
// engine paints a large area by handing pieces of it to the global pool and waiting on the main
// thread until they are done, so a count of tens of millions of characters running there would
// make every paint wait for it. Main thread.
QThreadPool& workPool();

// Runs `work` on a worker thread and hands its result to `done` on the main thread, unless
// `receiver` is gone by then: counting and measuring a long text never holds up the windows.
template <typename Result>
void computeOffMainThread(QObject* receiver, std::function<Result()> work, std::function<void(Result)> done)
{
    QPointer<QObject> guard(receiver);
    workPool().start([guard, work = std::move(work), done = std::move(done)]() mutable {
        Result result = work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, result = std::move(result), done = std::move(done)] {
                if (guard)
                    done(result);
            },
            Qt::QueuedConnection);
    });
}

// What a one-line label needs of a text for the elision it uses: the ends of a long text with a
// "…" between (or the start, for elision at the right). Eliding a text of a million characters
// measures all of it; no label is wide enough to show more than these.
QString oneLineExcerpt(const QString& text, Qt::TextElideMode elide);

} // namespace ShownText
} // namespace tolvi
