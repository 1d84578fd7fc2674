// Answers worked out off the main thread about the text a view shows: only the one about the
// text asked about last arrives.
#include "Tolvi/inspector/LatestAnswer.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

void finishWorkers()
{
    ShownText::workPool().waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// The first text's answer is held back until the second one's has arrived: it comes back about
// a text the view no longer shows and is dropped. Asking about the very text asked about last
// works nothing out again.
TEST(LatestAnswerTest, AnAnswerAboutATextNoLongerShownIsDropped)
{
    QObject view;
    LatestAnswer<QString> answer(&view);
    QStringList delivered;
    std::atomic<int> worked{0};
    QSemaphore releaseFirst;
    const QString first = QString::fromLatin1("first text");
    const QString second = QString::fromLatin1("second text");
    answer.ask(first, [&] {
        ++worked;
        releaseFirst.acquire();
        return QStringLiteral("about the first");
    }, [&](const QString& value) { delivered.append(value); });
    answer.ask(second, [&] {
        ++worked;
        return QStringLiteral("about the second");
    }, [&](const QString& value) { delivered.append(value); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delivered.isEmpty(); }, 5000));
    releaseFirst.release();
    finishWorkers();
    EXPECT_EQ(delivered, QStringList{QStringLiteral("about the second")});
    EXPECT_EQ(answer.answer(), QStringLiteral("about the second"));

    answer.ask(second, [&] {
        ++worked;
        return QStringLiteral("again");
    }, [&](const QString& value) { delivered.append(value); });
    finishWorkers();
    EXPECT_EQ(worked, 2);
    EXPECT_EQ(delivered.size(), 1);
}

// Cleared (the view shows a text it works out in place) or gone, the view gets nothing more.
TEST(LatestAnswerTest, NothingArrivesAfterClearOrOnceTheViewIsGone)
{
    QStringList delivered;
    auto view = std::make_unique<QObject>();
    auto answer = std::make_unique<LatestAnswer<QString>>(view.get());
    QSemaphore release;
    answer->ask(QStringLiteral("text"), [&] {
        release.acquire();
        return QStringLiteral("late");
    }, [&](const QString& value) { delivered.append(value); });
    answer->clear();
    EXPECT_FALSE(answer->isAsked());
    release.release();
    finishWorkers();
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_FALSE(answer->answer().has_value());

    answer->ask(QStringLiteral("other"), [&] {
        release.acquire();
        return QStringLiteral("too late");
    }, [&](const QString& value) { delivered.append(value); });
    answer.reset();
    view.reset();
    release.release();
    finishWorkers();
    EXPECT_TRUE(delivered.isEmpty());
}

} // namespace
} // namespace tolvi
