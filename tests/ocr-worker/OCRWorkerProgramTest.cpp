// The real worker program, fed through pipes as the app feeds it.

#include "OCRTextImages.h"
#include "WorkerRun.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImageWriter>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace tolvi;
using namespace tolvi::testing;
using Kind = OCRWire::Response::Kind;

namespace {

const QString worker = QStringLiteral(TOLVI_OCR_WORKER_PATH);

QByteArray blankPNG()
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    return encode(image);
}

QStringList replyLines(const OCRWire::Response& reply)
{
    return reply.text.value_or(QString()).split(QLatin1Char('\n'));
}

} // namespace

TEST(OCRWorkerProgram, ReadsTextInReadingOrder)
{
    TextStyle style;
    style.pixelSize = 22;
    // Drawn bottom line first, and two fragments that share a baseline far apart.
    const QImage image = renderText(QSize(900, 260),
                                    {{QStringLiteral("Closing remarks here"), QPoint(40, 210)},
                                     {QStringLiteral("Quarterly report"), QPoint(40, 60)},
                                     {QStringLiteral("Total"), QPoint(40, 135)},
                                     {QStringLiteral("1234 dollars"), QPoint(620, 135)}},
                                    style);
    WorkerRun run(worker);
    ASSERT_TRUE(run.sendFrame(encode(image)));
    const auto reply = run.readReply();
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->kind, Kind::recognized);
    EXPECT_EQ(replyLines(*reply), QStringList({"Quarterly report", "Total", "1234 dollars", "Closing remarks here"}));
    EXPECT_EQ(run.wait(), 0);
    EXPECT_TRUE(run.remainingOutput().isEmpty());
    EXPECT_TRUE(run.errorOutput().isEmpty());
}

TEST(OCRWorkerProgram, LightTextOnADarkBackground)
{
    TextStyle style;
    style.foreground = QColor(230, 230, 230);
    style.background = QColor(25, 25, 28);
    style.pixelSize = 16;
    WorkerRun run(worker);
    ASSERT_TRUE(run.sendFrame(encode(renderLines({QStringLiteral("Dark mode settings"), QStringLiteral("Version 42")}, style))));
    const auto reply = run.readReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->text, QStringLiteral("Dark mode settings\nVersion 42"));
    EXPECT_EQ(run.wait(), 0);
}

TEST(OCRWorkerProgram, OneProcessServesSeveralRequestsAndStaysAfterNoText)
{
    WorkerRun run(worker);
    ASSERT_TRUE(run.sendFrame(blankPNG()));
    const auto blank = run.readReply();
    ASSERT_TRUE(blank);
    EXPECT_EQ(*blank, (OCRWire::Response{Kind::noText, std::nullopt}));

    // The second request is a JPEG with a transparent-free background, the third a PNG with
    // an alpha channel whose transparent pixels are black.
    ASSERT_TRUE(run.sendFrame(encode(renderLines({QStringLiteral("Second request")}), "JPEG", 95)));
    const auto second = run.readReply();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->text, QStringLiteral("Second request"));

    QImage transparent(500, 120, QImage::Format_ARGB32);
    transparent.fill(Qt::transparent);
    const QImage text = renderLines({QStringLiteral("Clear background")});
    for (int y = 0; y < transparent.height() && y < text.height(); ++y)
        for (int x = 0; x < transparent.width() && x < text.width(); ++x)
            transparent.setPixel(x, y, qRgba(0, 0, 0, 255 - qGray(text.pixel(x, y))));
    ASSERT_TRUE(run.sendFrame(encode(transparent)));
    const auto third = run.readReply();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->text, QStringLiteral("Clear background"));

    EXPECT_EQ(run.wait(), 0);
    EXPECT_TRUE(run.errorOutput().isEmpty());
}

TEST(OCRWorkerProgram, UnsupportedImageEndsTheWorkerEvenWithMoreRequestsQueued)
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    WorkerRun run(worker);
    ASSERT_TRUE(run.sendFrame(encode(image, "BMP")));
    ASSERT_TRUE(run.sendFrame(blankPNG()));
    const auto reply = run.readReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, (OCRWire::Response{Kind::unsupportedImage, std::nullopt}));
    EXPECT_EQ(run.wait(), 0);
    EXPECT_TRUE(run.remainingOutput().isEmpty());
    EXPECT_TRUE(run.errorOutput().isEmpty());
}

TEST(OCRWorkerProgram, UndecodableBytesBehindAValidHeaderFail)
{
    // A damaged header checksum: the header reads fine, the decoder refuses the image (and
    // says so through Qt's message handler, which the worker keeps off standard error).
    QByteArray png = encode(renderLines({QStringLiteral("broken")}));
    png[29] = char(png[29] ^ 0x5a);
    WorkerRun run(worker);
    ASSERT_TRUE(run.sendFrame(png));
    const auto reply = run.readReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->kind, Kind::failed);
    EXPECT_EQ(run.wait(), 0);
    EXPECT_TRUE(run.errorOutput().isEmpty());
}

TEST(OCRWorkerProgram, EmptyInputEndsQuietly)
{
    WorkerRun run(worker);
    EXPECT_EQ(run.wait(), 0);
    EXPECT_TRUE(run.remainingOutput().isEmpty());
    EXPECT_TRUE(run.errorOutput().isEmpty());
}

TEST(OCRWorkerProgram, BadFramesEndWithStatus74AndNoOutput)
{
    const char oversized[] = {0, char(0xb7), 0x1b, 0x01}; // 12,000,001 bytes announced
    const char empty[] = {0, 0, 0, 0};
    const char five[] = {0, 0, 0, 5};
    const std::vector<QByteArray> streams{QByteArray(oversized, 4), QByteArray(empty, 4), QByteArray(five, 2),
                                          QByteArray(five, 4) + "abc"};
    for (const QByteArray& stream : streams) {
        WorkerRun run(worker);
        ASSERT_TRUE(run.sendRaw(stream));
        EXPECT_EQ(run.wait(), 74) << stream.toHex().constData();
        EXPECT_TRUE(run.remainingOutput().isEmpty());
        EXPECT_TRUE(run.errorOutput().isEmpty());
    }
}

TEST(OCRWorkerProgram, AClosedReplyPipeEndsTheWorkerWithoutASignal)
{
    // Nobody reads the replies: writing one fails with EPIPE, which must end the worker with
    // status 74 rather than kill it with SIGPIPE.
    WorkerRun run(worker, true);
    ASSERT_TRUE(run.sendFrame(blankPNG()));
    EXPECT_EQ(run.wait(), 74);
    EXPECT_EQ(run.terminatingSignal(), 0);
    EXPECT_TRUE(run.errorOutput().isEmpty());
}

TEST(OCRWorkerProgram, EndsSoonAfterItsParentIsGone)
{
    // A shell starts the worker with a pipe on its input that stays open, reports its pid and
    // then waits; killing the shell leaves the worker without its parent.
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const QString script = QStringLiteral("\"$0\" <&3 & echo $!; exec sleep 30");
    FILE* shell = popen(QStringLiteral("exec 3<&%1; exec sh -c '%2' '%3'").arg(input[0]).arg(script, worker).toLocal8Bit().constData(),
                        "r");
    ASSERT_NE(shell, nullptr);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, shell), nullptr);
    const pid_t workerPid = pid_t(QByteArray(line).trimmed().toInt());
    ASSERT_GT(workerPid, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(kill(workerPid, 0), 0);

    // The shell that popen started execs into sleep; find it as the worker's parent.
    QFile statFile(QStringLiteral("/proc/%1/stat").arg(workerPid));
    ASSERT_TRUE(statFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = statFile.readAll().split(')').last().trimmed().split(' ');
    const pid_t parent = pid_t(fields.value(1).toInt());
    ASSERT_GT(parent, 1);
    ASSERT_EQ(kill(parent, SIGKILL), 0);

    auto alive = [&] {
        QFile status(QStringLiteral("/proc/%1/stat").arg(workerPid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        const QByteArray state = status.readAll().split(')').last().trimmed().left(1);
        return state != "Z" && state != "X";
    };
    const auto start = std::chrono::steady_clock::now();
    while (alive() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(alive());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    pclose(shell);
    close(input[0]);
    close(input[1]);
}
