#include "Tolvi/platform/hotkeys/FakeHotKeyBackend.h"
#include "Tolvi/platform/hotkeys/GlobalHotKey.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>

using namespace tolvi;

namespace {

QStringList g_logLines;

void captureMessages(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_logLines << message;
}

struct LogCapture {
    LogCapture() { g_logLines.clear(), previous = qInstallMessageHandler(captureMessages); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

const HotKeyChord kCtrlAltV{HotKeyKeyCode::V, HotKeyModifier::Control | HotKeyModifier::Option};
const HotKeyChord kSuperShiftV{HotKeyKeyCode::V, HotKeyModifier::Command | HotKeyModifier::Shift};

} // namespace

TEST(HotKeyChord, FourCharCodePutsTheFirstByteHighest)
{
    EXPECT_EQ(fourCharCode(QStringLiteral("TLVI")), 0x544C5649u);
    EXPECT_EQ(tolviHotKeySignature(), 0x544C5649u);
    EXPECT_EQ(fourCharCode(QString()), 0u);
    EXPECT_EQ(fourCharCode(QStringLiteral("AB")), 0x4142u);
    EXPECT_EQ(fourCharCode(QStringLiteral("ABCDEF")), 0x41424344u);
}

TEST(HotKeyChord, DisplayNamesUseLinuxModifierNames)
{
    EXPECT_EQ(hotKeyChordDisplayName(kCtrlAltV), QStringLiteral("Ctrl + Alt + V"));
    EXPECT_EQ(hotKeyChordDisplayName(kSuperShiftV), QStringLiteral("Super + Shift + V"));
    EXPECT_EQ(hotKeyChordDisplayName({HotKeyKeyCode::Space, HotKeyModifier::Option}), QStringLiteral("Alt + Space"));
}

TEST(GlobalHotKey, RunsOnlyItsOwnActionAndOnlyAfterTheHandlerReturned)
{
    FakeHotKeyBackend backend;
    int mainRuns = 0;
    int compactRuns = 0;
    GlobalHotKey main(backend, {tolviHotKeySignature(), 1}, [&] { ++mainRuns; });
    GlobalHotKey compact(backend, {tolviHotKeySignature(), 2}, [&] { ++compactRuns; });
    main.install(kCtrlAltV);
    compact.install(kSuperShiftV);
    ASSERT_TRUE(main.isRegistered());
    ASSERT_TRUE(compact.isRegistered());

    backend.press({tolviHotKeySignature(), 2});
    EXPECT_EQ(compactRuns, 0) << "the action must be queued, not run inside the handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(compactRuns, 1);
    EXPECT_EQ(mainRuns, 0);

    backend.press({fourCharCode(QStringLiteral("XXXX")), 1});  // another signature
    QCoreApplication::processEvents();
    EXPECT_EQ(mainRuns, 0);
}

TEST(GlobalHotKey, FailedRegistrationIsLoggedAndDestructionUnregisters)
{
    LogCapture log;
    FakeHotKeyBackend backend;
    backend.takenByOthers << kSuperShiftV;
    {
        GlobalHotKey main(backend, {tolviHotKeySignature(), 1}, [] {});
        GlobalHotKey compact(backend, {tolviHotKeySignature(), 2}, [] {});
        main.install(kCtrlAltV);
        compact.install(kSuperShiftV);
        EXPECT_TRUE(main.isRegistered());
        EXPECT_FALSE(compact.isRegistered());
        EXPECT_TRUE(g_logLines.contains(QStringLiteral("Tolvi failed to register global hotkey: 10")));
        EXPECT_EQ(backend.registered.size(), 1);
    }
    EXPECT_TRUE(backend.registered.isEmpty());
    // Only the registration that succeeded is taken back.
    EXPECT_EQ(backend.calls.filter(QStringLiteral("unregister")), QStringList{QStringLiteral("unregister 1")});
}

TEST(GlobalHotKey, HandlerFailureSkipsRegistration)
{
    LogCapture log;
    FakeHotKeyBackend backend;
    backend.handlerStatus = HotKeyBackend::NoDisplay;
    int runs = 0;
    GlobalHotKey main(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    main.install(kCtrlAltV);
    EXPECT_FALSE(main.isRegistered());
    EXPECT_TRUE(backend.calls.filter(QStringLiteral("register")).isEmpty());
    EXPECT_TRUE(g_logLines.contains(QStringLiteral("Tolvi failed to install hotkey handler: -1")));
    backend.press({tolviHotKeySignature(), 1});
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);
}
