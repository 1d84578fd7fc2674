#include "ocr-protocol/OCRWire.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

using namespace tolvi;
using namespace tolvi::OCRWire;

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
        closeRead();
        closeWrite();
    }
    void closeRead()
    {
        if (read >= 0)
            ::close(read);
        read = -1;
    }
    void closeWrite()
    {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
    void put(const QByteArray& bytes) const { ASSERT_EQ(::write(write, bytes.constData(), size_t(bytes.size())), bytes.size()); }
    QByteArray drain() const
    {
        QByteArray all;
        char buffer[4096];
        const int flags = fcntl(read, F_GETFL);
        fcntl(read, F_SETFL, flags | O_NONBLOCK);
        for (ssize_t got; (got = ::read(read, buffer, sizeof buffer)) > 0;)
            all.append(buffer, got);
        fcntl(read, F_SETFL, flags);
        return all;
    }
};

QByteArray header(quint32 length)
{
    const char bytes[4] = {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
    return QByteArray(bytes, 4);
}

} // namespace

TEST(OCRWireFrames, ReadsFramesBackToBackAndEndsCleanly)
{
    Pipe pipe;
    pipe.put(header(3) + "abc" + header(1) + "z");
    pipe.closeWrite();
    const auto first = readFrame(pipe.read, 10);
    const auto second = readFrame(pipe.read, 10);
    const auto end = readFrame(pipe.read, 10);
    ASSERT_TRUE(first.payload);
    EXPECT_EQ(*first.payload, "abc");
    ASSERT_TRUE(second.payload);
    EXPECT_EQ(*second.payload, "z");
    EXPECT_TRUE(end.cleanEnd());
}

TEST(OCRWireFrames, ShortStreamsAreTruncated)
{
    for (int headerBytes = 1; headerBytes <= 3; ++headerBytes) {
        Pipe pipe;
        pipe.put(header(5).left(headerBytes));
        pipe.closeWrite();
        EXPECT_EQ(readFrame(pipe.read, 10).error, WireError::truncated) << headerBytes;
    }
    Pipe pipe;
    pipe.put(header(5) + "abc");
    pipe.closeWrite();
    EXPECT_EQ(readFrame(pipe.read, 10).error, WireError::truncated);
}

TEST(OCRWireFrames, LengthLimitsAreCheckedBeforeThePayload)
{
    {
        Pipe pipe;
        pipe.put(header(0));
        EXPECT_EQ(readFrame(pipe.read, 10).error, WireError::invalidLength);
    }
    {
        Pipe pipe;
        pipe.put(header(10) + QByteArray(10, 'x'));
        const auto frame = readFrame(pipe.read, 10);
        ASSERT_TRUE(frame.payload);
        EXPECT_EQ(frame.payload->size(), 10);
    }
    {
        // One above the limit: refused, and the payload stays unread in the stream.
        Pipe pipe;
        pipe.put(header(11) + QByteArray(11, 'y'));
        EXPECT_EQ(readFrame(pipe.read, 10).error, WireError::invalidLength);
        EXPECT_EQ(pipe.drain(), QByteArray(11, 'y'));
    }
    {
        // A header near 4 GB never turns into an allocation.
        Pipe pipe;
        pipe.put(header(0xffffffffu));
        EXPECT_EQ(readFrame(pipe.read, 12'000'000).error, WireError::invalidLength);
    }
}

TEST(OCRWireFrames, WriterRefusesEmptyAndOversizedPayloadsWithoutWriting)
{
    Pipe pipe;
    EXPECT_EQ(writeFrame(QByteArray(), pipe.write, 10), WireError::invalidLength);
    EXPECT_EQ(writeFrame(QByteArray(11, 'x'), pipe.write, 10), WireError::invalidLength);
    EXPECT_TRUE(pipe.drain().isEmpty());
    EXPECT_EQ(writeFrame(QByteArray(10, 'x'), pipe.write, 10), std::nullopt);
    EXPECT_EQ(pipe.drain(), header(10) + QByteArray(10, 'x'));
}

TEST(OCRWireFrames, ReadErrorsAreIO)
{
    Pipe pipe;
    EXPECT_EQ(readFrame(pipe.write, 10).error, WireError::io); // write end cannot be read
    EXPECT_EQ(readFrame(-1, 10).error, WireError::io);
    EXPECT_EQ(writeFrame("abc", pipe.read, 10), WireError::io);
}

TEST(OCRWireFrames, WritingIntoAClosedPipeIsAnErrorAndNotASignal)
{
    // SIGPIPE keeps its default action (terminate) here: the test process only survives if the
    // writer keeps the signal away.
    ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);
    Pipe pipe;
    pipe.closeRead();
    EXPECT_EQ(writeFrame("abc", pipe.write, 10), WireError::io);
    EXPECT_EQ(writeFrame("abc", pipe.write, 10), WireError::io);
    // The thread's signal mask is back as it was, and no SIGPIPE is left pending.
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

namespace {
std::atomic<int> interruptions{0};
void countInterruption(int) { interruptions.fetch_add(1); }
} // namespace

TEST(OCRWireFrames, InterruptedCallsContinue)
{
    // A handler installed without SA_RESTART makes blocked reads and writes fail with EINTR.
    struct sigaction action {};
    action.sa_handler = countInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    Pipe requests;
    std::optional<QByteArray> received;
    std::thread reader([&] { received = readFrame(requests.read, 100).payload; });
    const pthread_t readerThread = reader.native_handle();
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pthread_kill(readerThread, SIGUSR1);
    }
    requests.put(header(2) + "hi");
    reader.join();
    ASSERT_TRUE(received);
    EXPECT_EQ(*received, "hi");

    // A write larger than the pipe buffer blocks until the reader drains it.
    Pipe bulk;
    const QByteArray big(1 << 20, 'b');
    std::optional<WireError> writeResult = WireError::io;
    std::thread writer([&] { writeResult = writeFrame(big, bulk.write, big.size()); });
    const pthread_t writerThread = writer.native_handle();
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pthread_kill(writerThread, SIGUSR1);
    }
    const auto frame = readFrame(bulk.read, big.size());
    writer.join();
    EXPECT_EQ(writeResult, std::nullopt);
    ASSERT_TRUE(frame.payload);
    EXPECT_EQ(*frame.payload, big);
    EXPECT_GT(interruptions.load(), 0);
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(OCRWireReply, EncodesKindAlwaysAndTextOnlyWhenPresent)
{
    EXPECT_EQ(encodeResponse({Response::Kind::failed, std::nullopt}), R"({"kind":"failed"})");
    const QByteArray recognized = encodeResponse({Response::Kind::recognized, QStringLiteral("Zeile 1\n\"ü\"")});
    EXPECT_EQ(decodeResponse(recognized), (Response{Response::Kind::recognized, QStringLiteral("Zeile 1\n\"ü\"")}));
    for (auto kind : {Response::Kind::recognized, Response::Kind::noText, Response::Kind::failed,
                      Response::Kind::unsupportedImage})
        EXPECT_EQ(kindFromRawValue(rawValue(kind)), kind);
}

TEST(OCRWireReply, DecodingFollowsTheReplyRules)
{
    EXPECT_EQ(decodeResponse(R"({"kind":"noText","text":null})"), (Response{Response::Kind::noText, std::nullopt}));
    EXPECT_EQ(decodeResponse(R"({"kind":"recognized"})"), (Response{Response::Kind::recognized, std::nullopt}));
    EXPECT_EQ(decodeResponse(R"({"text":"a","kind":"unsupportedImage","extra":[1,2]})"),
              (Response{Response::Kind::unsupportedImage, QStringLiteral("a")}));
    EXPECT_EQ(decodeResponse(R"({"kind":"NoText"})"), std::nullopt);
    EXPECT_EQ(decodeResponse(R"({"text":"a"})"), std::nullopt);
    EXPECT_EQ(decodeResponse(R"({"kind":1})"), std::nullopt);
    EXPECT_EQ(decodeResponse(R"({"kind":"recognized","text":5})"), std::nullopt);
    EXPECT_EQ(decodeResponse(R"(["kind","noText"])"), std::nullopt);
    EXPECT_EQ(decodeResponse("{\"kind\":\"noText\""), std::nullopt);
    EXPECT_EQ(decodeResponse(""), std::nullopt);
}
