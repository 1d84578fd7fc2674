// The front application as the window manager reports it, against real windows.
#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/platform/x11/X11Workspace.h"

#include "PeerProcess.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

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
}
