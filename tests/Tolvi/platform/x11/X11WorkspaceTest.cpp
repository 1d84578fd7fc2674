// The front application as the window manager reports it, against real windows.
#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/platform/x11/X11Connection.h"
#include "Tolvi/platform/x11/X11Workspace.h"

#include "PeerProcess.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace tolvi;
using namespace tolvi::test;

TEST(DesktopEntries, ReadsNameAndClassOfTheMainGroupOnly)
{
    const DesktopEntries::Entry entry = DesktopEntries::parse(
        "# comment\n[Desktop Entry]\nName=Text Editor\nName[de]=Texteditor\nStartupWMClass=Gedit\n"
        "[Desktop Action new]\nName=New Window\nStartupWMClass=Other\n");
    EXPECT_EQ(entry.name, QStringLiteral("Text Editor"));
    EXPECT_EQ(entry.startupWMClass, QStringLiteral("Gedit"));

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("peer.desktop")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Peer Editor\nStartupWMClass=TolviTestPeer\n");
    file.close();
    DesktopEntries entries({dir.path()});
    EXPECT_EQ(entries.nameForWindowClass(QStringLiteral("TolviTestPeer")), QStringLiteral("Peer Editor"));
    EXPECT_FALSE(entries.nameForWindowClass(QStringLiteral("tolvitestpeer")).has_value());
}

// Most entries name no class: a window's class is matched to the entry's own file name too,
// in any letter case, after every StartupWMClass.
TEST(DesktopEntries, MatchesAWindowClassToTheEntrysFileName)
{
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write(QStringLiteral("pcmanfm.desktop"), "[Desktop Entry]\nType=Application\nName=File Manager PCManFM\n");
    write(QStringLiteral("org.example.Notes.desktop"), "[Desktop Entry]\nType=Application\nName=Notes\n");
    write(QStringLiteral("viewer.desktop"), "[Desktop Entry]\nType=Application\nName=Viewer by file name\n");
    write(QStringLiteral("other.desktop"),
          "[Desktop Entry]\nType=Application\nName=Viewer by class\nStartupWMClass=Viewer\n");

    DesktopEntries entries({dir.path()});
    EXPECT_EQ(entries.nameForWindowClass(QStringLiteral("Pcmanfm")), QStringLiteral("File Manager PCManFM"));
    EXPECT_EQ(entries.nameForWindowClass(QStringLiteral("org.example.notes")), QStringLiteral("Notes"));
    EXPECT_EQ(entries.nameForWindowClass(QStringLiteral("Notes")), QStringLiteral("Notes"));
    EXPECT_EQ(entries.nameForWindowClass(QStringLiteral("Viewer")), QStringLiteral("Viewer by class"));
    EXPECT_EQ(entries.nameForWindowClass(QStringLiteral("VIEWER")), QStringLiteral("Viewer by file name"));
    EXPECT_FALSE(entries.nameForWindowClass(QStringLiteral("Pcman")).has_value());
    EXPECT_EQ(entries.nameForAppId(QStringLiteral("pcmanfm")), QStringLiteral("File Manager PCManFM"));
}

TEST(X11WorkspaceNames, WindowClassBecomesASafeIdentifier)
{
    EXPECT_EQ(X11Workspace::identifierForWindowClass("Firefox"), QStringLiteral("Firefox"));
    EXPECT_EQ(X11Workspace::identifierForWindowClass("My App\tX\n"), QStringLiteral("My_App_X_"));
    EXPECT_EQ(X11Workspace::identifierForWindowClass(QByteArray(1000, 'a')).size(), 255);
}

TEST(X11Workspace, NamesTheActiveWindowsProgramAndKnowsOurOwn)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("peer.desktop")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Peer Editor\nStartupWMClass=TolviTestPeer\n");
    file.close();

    X11Workspace workspace(DesktopEntries({dir.path()}));
    ASSERT_TRUE(workspace.isValid());

    PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const std::optional<quint32> window = peer.showWindow();
    ASSERT_TRUE(window.has_value());
    ASSERT_TRUE(activateUntil(*window, [&] { return workspace.activeWindow() == *window; }));
    const std::optional<RunningApplication> front = workspace.frontmostApplication();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->pid, peer.pid());
    EXPECT_EQ(front->identifier, QStringLiteral("TolviTestPeer"));
    EXPECT_EQ(front->name, QStringLiteral("Peer Editor"));
    EXPECT_FALSE(workspace.isOwnProcess(peer.pid()));

    QWidget own;
    own.resize(200, 100);
    own.show();
    ASSERT_TRUE(waitUntil([&] { return own.isVisible(); }));
    ASSERT_TRUE(activateUntil(quint32(own.winId()), [&] { return workspace.activeWindow() == quint32(own.winId()); }));
    const std::optional<RunningApplication> ours = workspace.frontmostApplication();
    ASSERT_TRUE(ours.has_value() && ours->pid.has_value());
    EXPECT_TRUE(workspace.isOwnProcess(*ours->pid));

    // The apps with windows open: the peer once, this program never.
    const QList<RunningApplication> running = workspace.runningApplications();
    EXPECT_EQ(std::count_if(running.cbegin(), running.cend(),
                            [](const RunningApplication& app) { return app.identifier == QStringLiteral("TolviTestPeer"); }),
              1);
    for (const RunningApplication& app : running)
        EXPECT_FALSE(app.pid && workspace.isOwnProcess(*app.pid));

    // A process id is only as good as the machine it belongs to: a window that names another host
    // (a remote client over the network) has no local process, whatever _NET_WM_PID says.
    const std::unique_ptr<X11Connection> connection = X11Connection::open();
    ASSERT_TRUE(connection);
    const auto setMachine = [&](const QByteArray& host) {
        xcb_change_property(connection->raw(), XCB_PROP_MODE_REPLACE, quint32(own.winId()), XCB_ATOM_WM_CLIENT_MACHINE,
                            XCB_ATOM_STRING, 8, quint32(host.size()), host.constData());
        // A round trip: the change is in place once the reply arrives.
        std::free(xcb_get_input_focus_reply(connection->raw(), xcb_get_input_focus(connection->raw()), nullptr));
    };
    setMachine("elsewhere.invalid");
    EXPECT_FALSE(workspace.processOfWindow(quint32(own.winId())).has_value());
    const std::optional<RunningApplication> remote = workspace.frontmostApplication();
    ASSERT_TRUE(remote.has_value());
    EXPECT_FALSE(remote->pid.has_value());
    setMachine(QByteArray());
    EXPECT_FALSE(workspace.processOfWindow(quint32(own.winId())).has_value());
    setMachine(X11Connection::hostName());
    EXPECT_EQ(workspace.processOfWindow(quint32(own.winId())), QCoreApplication::applicationPid());
}

TEST(X11Workspace, WindowThatNamesNoMachineBelongsToTheProcessThatCreatedIt)
{
    // Tk and other toolkits set neither WM_CLIENT_MACHINE nor _NET_WM_PID; a _NET_WM_PID set
    // without a machine is no better. The server knows which local process made the window.
    X11Workspace workspace;
    ASSERT_TRUE(workspace.isValid());
    PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const std::optional<quint32> window = peer.showWindow();
    ASSERT_TRUE(window.has_value());

    const std::unique_ptr<X11Connection> connection = X11Connection::open();
    ASSERT_TRUE(connection);
    const auto roundTrip = [&] {
        std::free(xcb_get_input_focus_reply(connection->raw(), xcb_get_input_focus(connection->raw()), nullptr));
    };
    xcb_delete_property(connection->raw(), *window, XCB_ATOM_WM_CLIENT_MACHINE);
    roundTrip();
    EXPECT_EQ(workspace.processOfWindow(*window), peer.pid());
    const std::uint32_t claimed = std::uint32_t(QCoreApplication::applicationPid());
    xcb_change_property(connection->raw(), XCB_PROP_MODE_REPLACE, *window, connection->atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &claimed);
    roundTrip();
    EXPECT_EQ(workspace.processOfWindow(*window), peer.pid());
    xcb_delete_property(connection->raw(), *window, connection->atom("_NET_WM_PID"));
    roundTrip();
    EXPECT_EQ(workspace.processOfWindow(*window), peer.pid());
    EXPECT_EQ(connection->creatorProcess(*window), peer.pid());
}
