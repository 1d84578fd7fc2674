// Work that views hand off the main thread (counting and measuring long texts) must never hold
// up the main thread itself. Qt's raster engine splits a large fill or image blend into pieces
// for the global thread pool and waits until every piece is done, so the main thread paints only
// as fast as that pool has a free thread: long work parked there would make painting wait for it.
#include "Tolvi/inspector/ShownText.h"

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tolvi {
namespace {

// Holds work on its worker threads until it is let go. A piece held for long gives up, so that a
// main thread that waits for the work fails the test instead of hanging it.
class HeldWork {
public:
    ~HeldWork() { release(); }

    void hold()
    {
        std::unique_lock lock(m_mutex);
        ++m_holding;
        m_changed.notify_all();
        if (!m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_released; }))
            m_gaveUp = true;
    }

    bool waitUntilHolding(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_holding >= count; });
    }

    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

    // Some piece stopped waiting before it was let go.
    bool gaveUp()
    {
        std::lock_guard lock(m_mutex);
        return m_gaveUp;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_holding = 0;
    bool m_released = false;
    bool m_gaveUp = false;
};

// A text of more lines than the views hold is shown up to the line break beyond them, whatever
// breaks its lines; one of that many lines and no more is shown whole.
TEST(ShownTextTest, ATextOfTooManyLinesIsShownByItsFirstLines)
{
    const QString breaks[] = {QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r"),
                              QString(QChar(0x2029)), QString(QChar(0xFDD0))};
    for (const QString& lineBreak : breaks) {
        QString whole;
        for (qsizetype line = 0; line < ShownText::lineLimit; ++line)
            whole += QStringLiteral("l") + lineBreak;
        EXPECT_FALSE(ShownText::isCut(whole));
        EXPECT_FALSE(ShownText::hasTooManyLines(whole));
        EXPECT_EQ(ShownText::shownPart(whole), whole);
        const QString longer = whole + QStringLiteral("next") + lineBreak + QStringLiteral("last");
        EXPECT_TRUE(ShownText::isCut(longer));
        EXPECT_TRUE(ShownText::hasTooManyLines(longer));
        EXPECT_EQ(ShownText::shownPart(longer), whole + QStringLiteral("next"));
        EXPECT_EQ(ShownText::shownLength(longer), whole.size() + 4);
    }
    // Other control characters and a line separator within a line break no line.
    const QString tabs = QString(ShownText::lineLimit + 10, QLatin1Char('\t')) + QChar(0x2028) + QChar(0x0B);
    EXPECT_FALSE(ShownText::isCut(tabs));
}

TEST(ShownTextTest, LongWorkOffTheMainThreadNeverHoldsUpItsPainting)
{
    // As many pieces of long work as the global pool has threads: each one busy the whole time.
    const int pieces = std::max(QThreadPool::globalInstance()->maxThreadCount(), QThread::idealThreadCount());
    HeldWork held;
    QObject receiver;
    std::atomic<int> answered{0};
    for (int i = 0; i < pieces; ++i) {
        ShownText::computeOffMainThread<int>(
            &receiver,
            [&held, i] {
                held.hold();
                return i;
            },
            [&answered](int) { ++answered; });
    }
    // The work runs on threads of its own: at least one piece is under way (all of them where the
    // machine has the threads).
    ASSERT_TRUE(held.waitUntilHolding(1));

    // A large translucent fill, the kind the raster engine hands to the global pool in pieces.
    QImage canvas(1600, 1600, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.fillRect(canvas.rect(), QColor(20, 40, 60, 128));
    }
    EXPECT_FALSE(held.gaveUp()) << "the painting waited for the long work to end";
    EXPECT_EQ(canvas.pixelColor(800, 800).alpha(), 255);

    // Once let go, every answer comes back on the main thread.
    held.release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.load() == pieces; }, 20'000));
}

} // namespace
} // namespace tolvi
