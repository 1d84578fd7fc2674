#include "Tolvi/platform/process/BackgroundLog.h"
#include "Tolvi/platform/process/RepeatedLineFolding.h"

#include "EventTimeout.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QRegularExpression>

#include <fcntl.h>
#include <functional>
#include <future>
#include <poll.h>
#include <unistd.h>

using namespace tolvi;
using namespace std::chrono_literals;
using tolvi::test::eventTimeoutMs;

TEST(RepeatedLineFolding, AFloodOfOneKindIsCountedPerWindowUntilAWindowWithoutIt)
{
    RepeatedLineFolding folding({1000ms, 3, 256});
    const RepeatedLineFolding::Clock::time_point start{};
    std::vector<RepeatedLineFolding::Folded> ended;
    int admitted = 0;
    for (int i = 0; i < 50; ++i)
        admitted += folding.admit("copied", start + i * 10ms, ended);
    EXPECT_EQ(admitted, 3);
    EXPECT_TRUE(folding.admit("other", start + 500ms, ended));
    EXPECT_TRUE(folding.takeEnded(start + 999ms).empty());
    const std::vector<RepeatedLineFolding::Folded> summaries = folding.takeEnded(start + 1000ms);
    ASSERT_EQ(summaries.size(), 1u);
    EXPECT_EQ(summaries[0].kind, "copied");
    EXPECT_EQ(summaries[0].count, 47);
    // While the flood goes on there is no new burst, only counts; a window without the kind ends it.
    EXPECT_FALSE(folding.admit("copied", start + 1500ms, ended));
    EXPECT_EQ(folding.nextEnd(), start + 2000ms);
    EXPECT_EQ(folding.takeEnded(start + 2000ms).size(), 1u);
    EXPECT_TRUE(folding.takeEnded(start + 3000ms).empty());
    EXPECT_TRUE(folding.admit("copied", start + 3100ms, ended));
    EXPECT_TRUE(ended.empty());
}

TEST(BackgroundLog, APipeNobodyReadsNeverHoldsUpTheCallerAndTheLostLinesAreToldOnceItIsRead)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ASSERT_GT(::fcntl(ends[1], F_SETPIPE_SZ, 4096), 0);
    BackgroundLog::Limits limits;
    limits.pendingLines = 64;
    auto log = std::make_unique<BackgroundLog>(ends[1], limits);

    // Far more than the pipe and the queue hold, from a thread that must get through them all.
    constexpr int lines = 5000;
    std::future<void> posting = std::async(std::launch::async, [&] {
        for (int i = 0; i < lines; ++i)
            log->post(QString::number(i), "line " + QByteArray::number(i) + ' ' + QByteArray(80, 'x'));
    });
    EXPECT_EQ(posting.wait_for(std::chrono::milliseconds(eventTimeoutMs)), std::future_status::ready);

    // The reader comes back: the lines kept, how many were lost, then what comes next.
    QByteArray output;
    const auto readUntil = [&](const std::function<bool()>& done) {
        for (QDeadlineTimer deadline(eventTimeoutMs); !done() && !deadline.hasExpired();) {
            pollfd in{ends[0], POLLIN, 0};
            char chunk[65536];
            if (::poll(&in, 1, 100) == 1)
                output.append(chunk, ::read(ends[0], chunk, sizeof chunk));
        }
    };
    readUntil([&] { return output.contains("log lines while nothing read") && log->waitUntilWritten(0ms); });
    log->post("last", "the reader is back");
    readUntil([&] { return output.contains("the reader is back\n"); });
    log.reset();
    ::close(ends[0]);
    ::close(ends[1]);

    ASSERT_TRUE(output.startsWith("line 0 ") && output.endsWith("the reader is back\n")) << output.right(300).data();
    qint64 lost = 0;
    const QRegularExpression told(QStringLiteral("Tolvi lost (\\d+) log lines while nothing read its standard error\n"));
    for (const QRegularExpressionMatch& match : told.globalMatch(QString::fromLatin1(output)))
        lost += match.captured(1).toLongLong();
    EXPECT_GT(lost, 0);
    EXPECT_EQ(output.count(" xxxx") + lost, lines);
}
