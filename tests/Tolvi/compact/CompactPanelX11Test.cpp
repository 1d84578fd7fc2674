// The real program under Xvfb with openbox and a tray: the compact hot key opens the panel
// under the pointer, typing filters it, and Return on the clip and on its Paste action pastes
// into another program; the editor's Copy puts the edited text in the history. Driven with XTest
// key presses and clicks as a user would.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QThread>

#include "PeerProcess.h"
#include "RunningTolvi.h"
#include "RunningTolviX11.h"
#include "X11TestDisplay.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <optional>
#include <utility>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>

using tolvi::test::captureTookInTheProgramInFront;
using tolvi::test::copyToClipboard;
using tolvi::test::eventTimeoutMs;
using tolvi::test::pollUntil;
using tolvi::test::RunningApp;
using tolvi::test::X11TestDisplay;

namespace {

// The program started (its hot keys in place, which the tray icon shows, and the first window
// of start-up come and gone), the peer program in front, and `clips` copied and recorded.
void startWithPeerAndClips(X11TestDisplay& x, RunningApp& app, tolvi::test::PeerProcess& peer,
                           std::initializer_list<QByteArray> clips)
{
    app.start();
    const qint64 pid = app.process.processId();
    ASSERT_TRUE(pollUntil([&] { return x.hasIconInTray(pid); }, eventTimeoutMs)) << app.output().constData();
    // Start-up is over once its first window, the tour, is on screen; the peer comes in front of it.
    ASSERT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi Setup"); })) << app.output().constData();
    ASSERT_TRUE(peer.start());
    const std::optional<quint32> peerWindow = peer.showWindow();
    ASSERT_TRUE(peerWindow.has_value());
    // Made active as a pager would: the window manager may refuse a program's own request as
    // stealing the focus from the window that has just appeared.
    ASSERT_TRUE(tolvi::test::activateUntil(*peerWindow, [&] { return x.activeWindow() == Window(*peerWindow); }));
    // A copy made while the program in front changes is skipped: the capture must have taken in
    // the other program.
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app, Window(*peerWindow)))
        << app.frontApplication().toStdString() << "\n" << app.output().constData();
    int recorded = 0;
    for (const QByteArray& clip : clips) {
        ASSERT_TRUE(copyToClipboard(clip));
        ++recorded;
        ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == recorded; }))
            << app.output().constData();
    }
}

// The compact panel opened with the hot key under the pointer, its editor on the newest clip and
// `typed` typed there; the panel's window.
std::optional<Window> typeInTheEditor(X11TestDisplay& x, RunningApp& app, std::initializer_list<KeySym> typed)
{
    const qint64 pid = app.process.processId();
    x.movePointer(300, 250);
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    std::optional<Window> panel;
    if (!pollUntil([&] { return (panel = x.viewableWindow(pid, "Tolvi Compact")).has_value(); }) ||
        !pollUntil([&] { return x.hasInputFocus(pid, "Tolvi Compact"); }))
        return std::nullopt;
    x.chord({XK_Control_L}, XK_e);
    QThread::msleep(400);
    for (const KeySym key : typed)
        x.tap(key);
    QThread::msleep(300);
    return panel;
}

// A point inside the editor's Copy button, on the panel window. The bottom row ends, from the
// right, with Paste, a filled button, and Copy a gap of background to its left; their widths
// follow the fonts in use, so they are found on what the window shows.
std::optional<QPoint> editorCopyButton(X11TestDisplay& x, Window panel)
{
    const X11TestDisplay::Pixels shown = x.pixels(panel);
    const int width = shown.width;
    const int height = shown.height;
    if (width < 100 || height < 100)
        return std::nullopt;
    // Below Paste, in the panel's margin.
    const int column = width - 30;
    const quint32 background = shown.at(column, height - 5);
    const auto isBackground = [&](int px, int py) {
        const quint32 value = shown.at(px, py);
        for (const int shift : {0, 8, 16}) {
            if (std::abs(int((value >> shift) & 0xff) - int((background >> shift) & 0xff)) > 4)
                return false;
        }
        return true;
    };
    // Up through Paste: its bottom and top edges.
    int bottom = height - 5;
    while (bottom > height - 80 && isBackground(column, bottom))
        --bottom;
    int top = bottom;
    while (top > 0 && !isBackground(column, top - 1))
        --top;
    if (bottom - top < 12)
        return std::nullopt;
    const int row = (top + bottom) / 2;
    // Left through Paste to the gap (a few pixels of background in a row), then to Copy.
    int left = column;
    const auto gapStartsAt = [&](int px) {
        for (int i = 0; i < 5; ++i) {
            if (px - i < 0 || !isBackground(px - i, row))
                return false;
        }
        return true;
    };
    while (left > 0 && !gapStartsAt(left - 1))
        --left;
    int copyRight = left - 1;
    while (copyRight > 0 && isBackground(copyRight, row))
        --copyRight;
    if (copyRight <= 0 || left - copyRight > 24)
        return std::nullopt;
    return QPoint(copyRight - 6, row);
}

// The clips of the history file as it was written, newest first.
QJsonArray storedClips(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value("items").toArray();
}

} // namespace

TEST(CompactPanelX11, HotKeyOpensUnderThePointerTypingFiltersAndReturnPastesIntoAnotherProgram)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    tolvi::test::PeerProcess peer;
    ASSERT_NO_FATAL_FAILURE(startWithPeerAndClips(x, app, peer, {"paste me into the peer", "another clip, newer"}));
    const qint64 pid = app.process.processId();

    // Super+Shift+V with the pointer at (300, 250): the panel opens centred under it, its top
    // edge 18 pixels below it.
    x.movePointer(300, 250);
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    std::optional<Window> panel;
    ASSERT_TRUE(pollUntil([&] { return (panel = x.viewableWindow(pid, "Tolvi Compact")).has_value(); }))
        << app.output().constData();
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi Compact"); })) << app.output().constData();
    const QRect frame = x.geometry(*panel);
    EXPECT_EQ(frame.width(), 520);
    EXPECT_NEAR(frame.center().x(), 300, 2);
    EXPECT_NEAR(frame.top(), 250 + 18, 2);

    // Typing filters to the older clip; Return opens its actions, Down goes from the
    // recommended actions to Paste, and Return pastes it where we came from.
    for (const KeySym key : {XK_p, XK_a, XK_s, XK_t, XK_e})
        x.tap(key);
    QThread::msleep(300);
    x.tap(XK_Return);
    QThread::msleep(300);
    for (int i = 0; i < 3; ++i)
        x.tap(XK_Down);
    x.tap(XK_Return);
    EXPECT_TRUE(peer.waitForText([](const QString& text) { return text == QStringLiteral("paste me into the peer"); },
                                 eventTimeoutMs))
        << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
    EXPECT_TRUE(pollUntil([&] { return !x.viewableWindow(pid, "Tolvi Compact"); }));
}

TEST(CompactPanelX11, TextTypedInTheEditorSurvivesSigtermAndComesBackAtTheNextStart)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    tolvi::test::PeerProcess peer;
    ASSERT_NO_FATAL_FAILURE(startWithPeerAndClips(x, app, peer, {"draft base"}));
    const qint64 pid = app.process.processId();

    // The compact panel's editor on the clip, with a few words typed and not saved.
    ASSERT_TRUE(typeInTheEditor(x, app, {XK_space, XK_k, XK_e, XK_p, XK_t}).has_value()) << app.output().constData();

    // SIGTERM: the program ends at once, the typed text in a file only its user can read.
    ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit);
    const QString draftFile = app.root + "/data/Tolvi/unsaved-drafts.json";
    QFile file(draftFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << app.output().constData();
    EXPECT_TRUE(file.readAll().contains("draft base kept"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(draftFile).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The next start hands it back to the editor: opened again, Control+Return pastes it.
    RunningApp next;
    next.start(app.root);
    const qint64 nextPid = next.process.processId();
    ASSERT_TRUE(pollUntil([&] { return x.hasIconInTray(nextPid); }, eventTimeoutMs)) << next.output().constData();
    ASSERT_TRUE(pollUntil([&] { return next.output().contains("Tolvi offers unsaved text kept at the last end"); }))
        << next.output().constData();
    QThread::msleep(1500);
    ASSERT_TRUE(peer.command("activate", "ok activate").has_value());
    // The panel pastes into the program in front when it opens: the peer, once Tolvi knows it.
    const std::optional<Window> peerWindow = x.viewableWindow(peer.pid());
    ASSERT_TRUE(peerWindow.has_value());
    ASSERT_TRUE(captureTookInTheProgramInFront(x, next, *peerWindow))
        << next.frontApplication().toStdString() << "\n" << next.output().constData();
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(nextPid, "Tolvi Compact"); })) << next.output().constData();
    x.chord({XK_Control_L}, XK_Return);
    EXPECT_TRUE(peer.waitForText([](const QString& text) { return text == QStringLiteral("draft base kept"); }, eventTimeoutMs))
        << "peer has: " << peer.lastText().toStdString() << "\n" << next.output().constData();
}

TEST(CompactPanelX11, KeepEditingHandsTheKeyboardBackToTheEditor)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    tolvi::test::PeerProcess peer;
    ASSERT_NO_FATAL_FAILURE(startWithPeerAndClips(x, app, peer, {"draft base"}));
    const qint64 pid = app.process.processId();

    const std::optional<Window> panel = typeInTheEditor(x, app, {XK_space, XK_k, XK_e, XK_p, XK_t});
    ASSERT_TRUE(panel.has_value()) << app.output().constData();

    // Escape with typed text asks first; Escape again answers "Keep Editing", twice over.
    const auto question = [&] {
        std::optional<Window> found;
        x.forEachWindow(DefaultRootWindow(x.display()), [&](Window window, Window) {
            if (!found && window != *panel && x.cardinal(window, "_NET_WM_PID") == pid && x.isViewable(window) &&
                x.geometry(window).width() > 100)
                found = window;
        });
        return found;
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        x.tap(XK_Escape);
        std::optional<Window> box;
        ASSERT_TRUE(pollUntil([&] { return (box = question()).has_value() && x.inputFocus() == *box; }))
            << app.output().constData();
        x.tap(XK_Escape);
        ASSERT_TRUE(pollUntil([&] { return !question().has_value(); })) << app.output().constData();
        // The keyboard is the panel's again, without a click.
        EXPECT_TRUE(pollUntil([&] { return x.inputFocus() == *panel; }, 3000)) << "focus " << x.inputFocus() << " panel " << *panel;
    }

    // Typing goes on in the editor, and Control+Return pastes the edited text.
    for (const KeySym key : {XK_space, XK_t, XK_o, XK_o})
        x.tap(key);
    QThread::msleep(300);
    x.chord({XK_Control_L}, XK_Return);
    EXPECT_TRUE(peer.waitForText([](const QString& text) { return text == QStringLiteral("draft base kept too"); }))
        << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
}

// A copy made in the program itself is a copy like any other: the edited text, copied and not
// saved, becomes the newest clip, with no program as its source.
TEST(CompactPanelX11, CopyInTheEditorRecordsTheEditedTextAsTheNewestClipWithNoSource)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    tolvi::test::PeerProcess peer;
    ASSERT_NO_FATAL_FAILURE(startWithPeerAndClips(x, app, peer, {"draft base"}));

    const std::optional<Window> panel = typeInTheEditor(x, app, {XK_space, XK_c, XK_o, XK_p, XK_i, XK_e, XK_d});
    ASSERT_TRUE(panel.has_value()) << app.output().constData();

    // Found the same on two looks in a row: the editor is fully drawn.
    std::optional<QPoint> copy;
    ASSERT_TRUE(pollUntil([&] {
        const std::optional<QPoint> previous = std::exchange(copy, editorCopyButton(x, *panel));
        return copy && copy == previous;
    })) << "no Copy button found on the panel";
    const QRect frame = x.geometry(*panel);
    x.movePointer(frame.x() + copy->x(), frame.y() + copy->y());
    QThread::msleep(100);
    x.button(1, true);
    x.button(1, false);

    ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == 2; }))
        << app.output().constData();
    // Copy neither saves nor closes: the panel is still there, in the editor.
    EXPECT_TRUE(x.isViewable(*panel));
    app.process.terminate();
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    const QJsonArray clips = storedClips(app.root + "/data/Tolvi/history.json");
    ASSERT_EQ(clips.size(), 2) << app.output().constData();
    const QJsonObject newest = clips.at(0).toObject();
    EXPECT_EQ(newest.value("content").toObject().value("text").toString(), QStringLiteral("draft base copied"));
    EXPECT_FALSE(newest.contains("sourceApp"));
    // The clip it was made from is as it was.
    const QJsonObject older = clips.at(1).toObject();
    EXPECT_EQ(older.value("content").toObject().value("text").toString(), QStringLiteral("draft base"));
    EXPECT_TRUE(older.contains("sourceApp"));
}
