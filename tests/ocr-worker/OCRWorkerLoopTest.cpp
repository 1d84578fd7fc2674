#include "ocr-worker/WorkerLoop.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace tolvi;
using Kind = OCRWire::Response::Kind;

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe()
    {
        if (read >= 0)
            close(read);
        if (write >= 0)
            close(write);
    }
    void closeWrite()
    {
        close(write);
        write = -1;
    }
};

} // namespace

TEST(OCRWorkerReply, TextIsTrimmedAndBlankTextIsNoText)
{
    EXPECT_EQ(OCRWorker::recognizedResponse(QStringLiteral("\n\n  First line\n\nSecond  \n \n")),
              (OCRWire::Response{Kind::recognized, QStringLiteral("First line\n\nSecond")}));
    EXPECT_EQ(OCRWorker::recognizedResponse(QStringLiteral(" \n\t \n")), (OCRWire::Response{Kind::noText, std::nullopt}));
    EXPECT_EQ(OCRWorker::recognizedResponse(QString()), (OCRWire::Response{Kind::noText, std::nullopt}));
}

TEST(OCRWorkerReply, TextTooLongForAReplyFails)
{
    const QString atLimit(OCRWorker::maximumTextBytes, QLatin1Char('a'));
    const auto accepted = OCRWorker::recognizedResponse(atLimit);
    EXPECT_EQ(accepted.kind, Kind::recognized);
    EXPECT_LE(OCRWire::encodeResponse(accepted).size(), OCRWire::maximumResponseBytes);
    EXPECT_EQ(OCRWorker::recognizedResponse(atLimit + QLatin1Char('a')).kind, Kind::failed);
    // Counted in UTF-8 bytes, not characters.
    const QString wide(OCRWorker::maximumTextBytes / 2 + 1, QChar(0x00e9));
    EXPECT_EQ(OCRWorker::recognizedResponse(wide).kind, Kind::failed);
}

TEST(OCRWorkerLoop, AnswersInTurnAndStopsAfterFailedOrUnsupported)
{
    for (const Kind stopper : {Kind::failed, Kind::unsupportedImage}) {
        Pipe input;
        Pipe output;
        for (const char* request : {"one", "blank", "stop", "never"})
            ASSERT_EQ(OCRWire::writeFrame(QByteArray(request), input.write, 100), std::nullopt);
        input.closeWrite();
        QList<QByteArray> seen;
        const int status = OCRWorker::run(input.read, output.write, [&](QByteArrayView bytes) {
            seen.append(bytes.toByteArray());
            if (bytes == "one")
                return OCRWire::Response{Kind::recognized, QStringLiteral("1")};
            if (bytes == "blank")
                return OCRWire::Response{Kind::noText, std::nullopt};
            return OCRWire::Response{stopper, std::nullopt};
        });
        EXPECT_EQ(status, OCRWorker::exitNormal);
        EXPECT_EQ(seen, QList<QByteArray>({"one", "blank", "stop"}));
        std::vector<OCRWire::Response> replies;
        for (int i = 0; i < 3; ++i) {
            const auto frame = OCRWire::readFrame(output.read, OCRWire::maximumResponseBytes);
            ASSERT_TRUE(frame.payload);
            replies.push_back(*OCRWire::decodeResponse(*frame.payload));
        }
        EXPECT_EQ(replies[0], (OCRWire::Response{Kind::recognized, QStringLiteral("1")}));
        EXPECT_EQ(replies[1].kind, Kind::noText);
        EXPECT_EQ(replies[2].kind, stopper);
    }
}

