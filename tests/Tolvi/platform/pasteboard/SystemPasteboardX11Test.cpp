// The CLIPBOARD selection read and written against real owners (xclip and a Qt program) on a
// private X server.
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"

#include "HungSelectionOwner.h"
#include "PeerProcess.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace tolvi;
using namespace tolvi::test;
namespace T = tolvi::PasteboardTypes;

namespace {

class SystemPasteboardX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // A long budget: far above what reading a real owner takes even on a busy machine (a
        // large image included), so that only an owner that never answers runs it out; a thread
        // held up by such an owner would miss seconds, far more than any load explains.
        board = std::make_unique<SystemPasteboard>(budget);
    }
    void TearDown() override
    {
        for (QProcess* process : xclips) {
            process->kill();
            process->waitForFinished(2000);
            delete process;
        }
    }

    // Another program copies; waits until we have noticed the change.
    bool xclipCopy(const QByteArray& bytes, const QString& target = QStringLiteral("UTF8_STRING"),
                   const QString& expectedType = T::plainText)
    {
        const qint64 before = board->changeCount();
        QProcess* process =
            startXclip({"-quiet", "-selection", "clipboard", "-t", target, "-i"}, bytes);
        if (!process)
            return false;
        xclips.append(process);
        // A late notice of an earlier owner's exit may move the count first: wait for the copy.
        return waitUntil([&] {
            return board->changeCount() != before &&
                   board->types().value_or(QStringList()).contains(expectedType);
        });
    }

    bool peerCopy(PeerProcess& peer, const QList<std::pair<QString, QByteArray>>& representations)
    {
        const qint64 before = board->changeCount();
        return peer.copy(representations) && waitUntil([&] {
                   return board->changeCount() != before && !board->types().value_or(QStringList()).isEmpty();
               });
    }

    // Timed from the copy seen by the test: how long another program's copy takes to be taken up
    // and read on this machine, as it is loaded now.
    qint64 timedXclipCopy(const QByteArray& bytes)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        return xclipCopy(bytes) ? elapsed.elapsed() : -1;
    }

    static constexpr std::chrono::milliseconds budget{15'000};
    std::unique_ptr<SystemPasteboard> board;
    QList<QProcess*> xclips;
};

QByteArray xclipOutput(const QString& target)
{
    QProcess process;
    process.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", target});
    // Our own process serves the data: keep the event loop going while xclip reads.
    waitUntil([&] { return process.state() == QProcess::NotRunning; });
    return process.readAllStandardOutput();
}

QByteArray noisePng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random->generate();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 0);
    return bytes;
}

// A clipboard owner on a connection of its own that offers UTF8_STRING and answers it with a
// property of the type and format it is given, as a broken or hostile program might.
class MistypedSelectionOwner {
public:
    MistypedSelectionOwner(const QByteArray& type, std::uint8_t format, const QByteArray& bytes)
        : m_format(format), m_bytes(bytes)
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_utf8 = atom("UTF8_STRING");
        m_type = atom(type);
        xcb_set_selection_owner(m_connection, m_window, m_clipboard, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        m_thread = std::thread([this] { serve(); });
    }
    ~MistypedSelectionOwner()
    {
        m_stopping = true;
        if (m_thread.joinable())
            m_thread.join();
        xcb_disconnect(m_connection);
    }

private:
    xcb_atom_t atom(const QByteArray& name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, std::uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }
    void serve()
    {
        while (!m_stopping) {
            xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
            if (!event) {
                QThread::msleep(2);
                continue;
            }
            if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
                const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
                xcb_selection_notify_event_t notify{};
                notify.response_type = XCB_SELECTION_NOTIFY;
                notify.time = request->time;
                notify.requestor = request->requestor;
                notify.selection = request->selection;
                notify.target = request->target;
                notify.property = request->property;
                if (request->target == m_targets) {
                    const xcb_atom_t offered[] = {m_targets, m_utf8};
                    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                                        XCB_ATOM_ATOM, 32, 2, offered);
                } else if (request->target == m_utf8) {
                    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                                        m_type, m_format, std::uint32_t(m_bytes.size() * 8 / m_format),
                                        m_bytes.constData());
                } else {
                    notify.property = XCB_ATOM_NONE;
                }
                xcb_send_event(m_connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                               reinterpret_cast<const char*>(&notify));
                xcb_flush(m_connection);
            }
            std::free(event);
        }
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = 0, m_targets = 0, m_utf8 = 0, m_type = 0;
    std::uint8_t m_format;
    QByteArray m_bytes;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace

// Text is taken only in the type asked for: an owner answering UTF8_STRING with a property of
// another type or of 32-bit items gives no text (and no garbage clip).
TEST_F(SystemPasteboardX11, ARepliedPropertyOfAnotherTypeIsNoText)
{
    struct Reply {
        QByteArray type;
        std::uint8_t format;
        QByteArray bytes;
        bool isText;
    };
    const QList<Reply> replies{
        {"image/png", 8, noisePng(4, 4), false},
        {"INTEGER", 32, QByteArray("\x01\x02\x03\x04\xff\xfe\xfd\xfc", 8), false},
        {"UTF8_STRING", 32, QByteArray("abcdefgh"), false},
        {"STRING", 8, QByteArray("caf\xe9", 4), false},
        {"UTF8_STRING", 8, QByteArray("right type"), true},
    };
    for (const Reply& reply : replies) {
        SCOPED_TRACE(reply.type.toStdString() + "/" + std::to_string(reply.format));
        ASSERT_TRUE(xclipCopy("before the owner"));
        const qint64 before = board->changeCount();
        MistypedSelectionOwner owner(reply.type, reply.format, reply.bytes);
        ASSERT_TRUE(waitUntil([&] { return board->changeCount() != before; }, 10000));
        // The owner offered text: it was asked for it.
        EXPECT_TRUE(board->types().value_or(QStringList()).contains(T::plainText));
        const std::optional<QByteArray> text = board->data(T::plainText);
        if (reply.isText)
            EXPECT_EQ(text, reply.bytes);
        else
            EXPECT_FALSE(text.has_value()) << text->toStdString();
    }
}

TEST_F(SystemPasteboardX11, ReadsPlainTextOfAnotherProgram)
{
    ASSERT_TRUE(xclipCopy(QStringLiteral("grüße aus xclip").toUtf8()));
    const std::optional<QStringList> types = board->types();
    ASSERT_TRUE(types.has_value());
    EXPECT_TRUE(types->contains(T::plainText));
    for (const QString& type : *types)
        EXPECT_NE(type, QStringLiteral("TARGETS"));
    EXPECT_EQ(board->itemCount(), 1);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("grüße aus xclip"));
}

TEST_F(SystemPasteboardX11, RichRepresentationsAndMarkersRoundTripExactly)
{
    PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const QByteArray html = "<meta charset=\"utf-8\"><b>bold</b> \xc3\xa9";
    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} \\'e9}";
    ASSERT_TRUE(peerCopy(peer, {{"text/plain", "bold \xc3\xa9"}, {"text/html", html}, {"text/rtf", rtf}}));
    const std::optional<QStringList> types = board->types();
    ASSERT_TRUE(types.has_value());
    EXPECT_TRUE(types->contains(T::plainText));
    EXPECT_TRUE(types->contains(T::html));
    EXPECT_TRUE(types->contains(T::rtf));
    EXPECT_EQ(board->data(T::html), html);
    EXPECT_EQ(board->data(T::rtf), rtf);
    EXPECT_EQ(board->data(T::plainText), QByteArray("bold \xc3\xa9"));

    peer.command("copy-secret hunter2", "ok copy-secret");
    ASSERT_TRUE(waitUntil([&] { return board->types().value_or(QStringList()).contains(T::passwordManagerHint); }));
}

TEST_F(SystemPasteboardX11, FileListGivesOneItemPerFileReference)
{
    ASSERT_TRUE(xclipCopy("# copied\r\nfile:///tmp/one.txt\r\nfile:///tmp/two%20words.txt\r\n",
                          QStringLiteral("text/uri-list"), T::fileURL));
    EXPECT_TRUE(board->types().value_or(QStringList()).contains(T::fileURL));
    ASSERT_EQ(board->itemCount(), 2);
    EXPECT_EQ(board->itemTypes(0), QStringList{T::fileURL});
    EXPECT_EQ(board->itemData(0, T::fileURL), QByteArray("file:///tmp/one.txt"));
    EXPECT_EQ(board->itemData(1, T::fileURL), QByteArray("file:///tmp/two%20words.txt"));

    // A list of web links is no set of file references.
    ASSERT_TRUE(xclipCopy("https://example.org/a\r\n", QStringLiteral("text/uri-list"), QStringLiteral("text/uri-list")));
    EXPECT_EQ(board->itemCount(), 1);
    EXPECT_FALSE(board->types().value_or(QStringList()).contains(T::fileURL));
}

TEST_F(SystemPasteboardX11, LargeImageArrivesIntactInIncrements)
{
    PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const QByteArray png = noisePng(1500, 1100);
    ASSERT_GT(png.size(), 4 * 1024 * 1024);
    ASSERT_TRUE(peerCopy(peer, {{"image/png", png}}));
    EXPECT_TRUE(board->types().value_or(QStringList()).contains(T::png));
    std::optional<QByteArray> read = board->data(T::png);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->size(), png.size());
    EXPECT_TRUE(*read == png);

    // xclip's increments are of another size, and its last one is short.
    const QByteArray other = noisePng(1400, 1000);
    ASSERT_TRUE(xclipCopy(other, QStringLiteral("image/png"), T::png));
    read = board->data(T::png);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->size(), other.size());
    EXPECT_TRUE(*read == other);
}

TEST_F(SystemPasteboardX11, OwnWriteReplacesContentsInOneStepAndServesOthers)
{
    ASSERT_TRUE(xclipCopy("previous"));
    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("ours ✓"));
    item.setData(T::html, "<i>ours</i>");
    const qint64 before = board->changeCount();
    ASSERT_TRUE(board->write({item}, Pasteboard::WriteKind::paste));
    EXPECT_EQ(board->changeCount(), before + 1);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("ours ✓"));
    EXPECT_EQ(board->data(T::html), QByteArray("<i>ours</i>"));
    // Other programs see exactly what we wrote.
    EXPECT_EQ(xclipOutput(QStringLiteral("text/html")), QByteArray("<i>ours</i>"));
    EXPECT_EQ(xclipOutput(QStringLiteral("UTF8_STRING")), QStringLiteral("ours ✓").toUtf8());
    // Nothing else moved the count meanwhile, and the change is known as our own.
    QCoreApplication::processEvents();
    EXPECT_EQ(board->changeCount(), before + 1);
    EXPECT_TRUE(board->holdsOwnWrite());
    // The server's notice of our own claim, read on the watching thread, changes neither.
    ASSERT_TRUE(xclipOutput(QStringLiteral("UTF8_STRING")).size() > 0);
    pause(300);
    EXPECT_EQ(board->changeCount(), before + 1);
    EXPECT_TRUE(board->holdsOwnWrite());

    // Another program's copy, even of the same text, is its own again.
    ASSERT_TRUE(xclipCopy("ours ✓"));
    EXPECT_GT(board->changeCount(), before + 1);
    EXPECT_FALSE(board->holdsOwnWrite());
}

TEST_F(SystemPasteboardX11, OwnerThatNeverAnswersNeverHoldsUpTheCallingThread)
{
    // This test waits the budget out: a shorter one, still far above what a read takes here.
    const qint64 ordinaryCopy = timedXclipCopy("first");
    ASSERT_GE(ordinaryCopy, 0);
    const qint64 shortBudget = std::max<qint64>(3000, 5 * ordinaryCopy);
    board = std::make_unique<SystemPasteboard>(std::chrono::milliseconds(shortBudget));
    // A timer of the calling thread keeps ticking while the owner's contents are awaited.
    TickWatch ticker;

    ASSERT_TRUE(xclipCopy("before the hang"));
    const qint64 before = board->changeCount();
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(waitUntil([&] { return board->changeCount() != before; }));
    // The copy is offered once its budget is spent, and reads as nothing, at once.
    EXPECT_GE(elapsed.elapsed(), shortBudget - 100);
    EXPECT_FALSE(board->types().has_value());
    EXPECT_FALSE(board->data(T::plainText).has_value());
    EXPECT_EQ(board->itemCount(), 0);
    ticker.stop();
    EXPECT_GT(ticker.ticks(), 20);
    // A thread held up by the owner would have missed ticks for the whole budget.
    EXPECT_LT(ticker.longestGap(), shortBudget / 2);

    // The next copy reads normally again.
    ASSERT_TRUE(xclipCopy("after the hang"));
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("after the hang"));
}

TEST_F(SystemPasteboardX11, OwnerReassertingInALoopCostsTheCallingThreadNothing)
{
    ASSERT_TRUE(xclipCopy("before the loop"));
    HungSelectionOwner hung;
    TickWatch ticker(100, [&] { hung.claim(); });
    pause(2000);
    ticker.stop();
    EXPECT_LT(ticker.longestGap(), budget.count() / 2);

    ASSERT_TRUE(xclipCopy("after the loop"));
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("after the loop"));
}

TEST_F(SystemPasteboardX11, CopyReplacingAnUnansweredOneIsReadAtOnce)
{
    ASSERT_TRUE(xclipCopy("old"));
    const qint64 seen = board->changeCount();
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    // While the owner that never answers is being waited for, another program copies.
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(xclipCopy("new"));
    // The newer copy did not wait for the old one's budget.
    EXPECT_LT(elapsed.elapsed(), budget.count() / 2);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("new"));
    // Only the copy that could be read is offered.
    EXPECT_EQ(board->changeCount(), seen + 1);
}

TEST_F(SystemPasteboardX11, ACopyMadeWhileTheFirstOwnerIsStillAwaitedCountsAsACopy)
{
    // What the clipboard held when we started looking is no copy; a copy made after that is one,
    // also while the first owner's contents were still awaited.
    board.reset();
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    board = std::make_unique<SystemPasteboard>(budget);
    EXPECT_EQ(board->changeCount(), 0);
    QProcess* process = startXclip({"-quiet", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"}, "made at start");
    ASSERT_NE(process, nullptr);
    xclips.append(process);
    ASSERT_TRUE(waitUntil([&] { return board->changeCount() != 0; }));
    EXPECT_EQ(board->changeCount(), 1);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("made at start"));
}

TEST_F(SystemPasteboardX11, FileManagerListsEndingInNulAndGnomeListsAreFileReferences)
{
    // PCManFM ends its list with a NUL instead of a line end.
    {
        QProcess* process = startXclip({"-quiet", "-selection", "clipboard", "-t", "text/uri-list", "-i"},
                                       QByteArray("file:///tmp/x\0", 14));
        ASSERT_NE(process, nullptr);
        xclips.append(process);
    }
    ASSERT_TRUE(waitUntil([&] { return board->types().value_or(QStringList()).contains(T::fileURL); }));
    ASSERT_EQ(board->itemCount(), 1);
    EXPECT_EQ(board->itemData(0, T::fileURL), QByteArray("file:///tmp/x"));

    // GNOME's own list, with nothing else offered.
    ASSERT_TRUE(xclipCopy("copy\nfile:///tmp/a%20b.txt\nfile:///tmp/c.txt", T::gnomeCopiedFilesTarget, T::fileURL));
    EXPECT_EQ(board->types(), QStringList{T::fileURL});
    ASSERT_EQ(board->itemCount(), 2);
    EXPECT_EQ(board->itemData(0, T::fileURL), QByteArray("file:///tmp/a%20b.txt"));
    EXPECT_EQ(board->itemData(1, T::fileURL), QByteArray("file:///tmp/c.txt"));
}

TEST_F(SystemPasteboardX11, RapidCopiesAreEachAnnouncedAndReadInOrder)
{
    // Each copy follows the one before as soon as that one can have been taken up and read: a
    // tenth of a second, or as long as one copy measurably takes on this machine now.
    const qint64 ordinaryCopy = timedXclipCopy("first");
    ASSERT_GE(ordinaryCopy, 0);
    const int spacing = int(std::max<qint64>(100, 2 * ordinaryCopy));
    QStringList announced;
    QObject::connect(board.get(), &Pasteboard::changed,
                     [&] { announced.append(board->string(T::plainText).value_or(QString())); });
    for (int i = 0; i < 20; ++i) {
        QProcess* process = startXclipOwning({"-quiet", "-selection", "clipboard", "-i"},
                                             QStringLiteral("copy %1").arg(i).toUtf8());
        ASSERT_NE(process, nullptr);
        xclips.append(process);
        pause(spacing);
    }
    ASSERT_TRUE(waitUntil([&] { return announced.size() >= 20; }));
    QStringList expected;
    for (int i = 0; i < 20; ++i)
        expected.append(QStringLiteral("copy %1").arg(i));
    EXPECT_EQ(announced, expected);
}

TEST_F(SystemPasteboardX11, OwnerExitLeavesAnEmptyClipboard)
{
    ASSERT_TRUE(xclipCopy("short-lived"));
    EXPECT_EQ(board->itemCount(), 1);
    const qint64 before = board->changeCount();
    QProcess* owner = xclips.takeLast();
    owner->kill();
    owner->waitForFinished(2000);
    delete owner;
    ASSERT_TRUE(waitUntil([&] { return board->changeCount() != before; }));
    EXPECT_EQ(board->types(), QStringList());
    EXPECT_EQ(board->itemCount(), 0);
    EXPECT_FALSE(board->data(T::plainText).has_value());
}
