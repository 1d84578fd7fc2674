// What Tolvi uses in each kind of session, from the session's facts; and the fake session as the
// program wires it to pasting.
#include "Tolvi/platform/session/FakeSessionPlatform.h"
#include "Tolvi/platform/session/SessionPlan.h"

#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace tolvi;
using Plan = SessionPlan;

namespace {

SessionFacts wayland(QList<QByteArray> globals)
{
    SessionFacts facts;
    facts.sessionType = "wayland";
    facts.waylandDisplay = "wayland-1";
    facts.compositorReachable = true;
    facts.globals = std::move(globals);
    return facts;
}

} // namespace

TEST(SessionPlan, EachDesktopGetsWhatItOffers)
{
    SessionFacts x11;
    x11.sessionType = "x11";
    EXPECT_EQ(planSession(x11), Plan{});

    // sway 1.7.
    EXPECT_EQ(planSession(wayland({"wl_seat", wlrDataControlManager, foreignToplevelManager, virtualKeyboardManager})),
              (Plan{SessionKind::waylandWithDataControl, Plan::Clipboard::seatAndXWayland,
                    Plan::WindowList::foreignToplevels, Plan::Keyboard::virtualKeyboard, Plan::Shortcuts::desktop}));
    // KWin 5.27, where it shows its own protocols to Tolvi.
    EXPECT_EQ(planSession(wayland({"wl_seat", wlrDataControlManager, plasmaWindowManagement, kwinFakeInput})),
              (Plan{SessionKind::waylandWithDataControl, Plan::Clipboard::seatAndXWayland,
                    Plan::WindowList::plasmaWindows, Plan::Keyboard::fakeInput, Plan::Shortcuts::desktop}));
    // KWin where it does not, a newer compositor with ext data control only.
    EXPECT_EQ(planSession(wayland({"wl_seat", extDataControlManager})),
              (Plan{SessionKind::waylandWithDataControl, Plan::Clipboard::seatAndXWayland, Plan::WindowList::x11,
                    Plan::Keyboard::remoteDesktopPortal, Plan::Shortcuts::desktop}));
    // Mutter 43: XWayland's clipboard alone, keystrokes through the portal.
    EXPECT_EQ(planSession(wayland({"wl_seat", "wl_shm"})),
              (Plan{SessionKind::waylandWithoutDataControl, Plan::Clipboard::x11, Plan::WindowList::x11,
                    Plan::Keyboard::remoteDesktopPortal, Plan::Shortcuts::desktop}));

    // A compositor that did not answer: XWayland alone, and nothing asked of the compositor.
    SessionFacts unreachable = wayland({});
    unreachable.compositorReachable = false;
    EXPECT_EQ(planSession(unreachable),
              (Plan{SessionKind::waylandWithoutDataControl, Plan::Clipboard::x11, Plan::WindowList::x11,
                    Plan::Keyboard::xtest, Plan::Shortcuts::desktop}));
    // A stale WAYLAND_DISPLAY in an X11 session.
    unreachable.sessionType = "x11";
    EXPECT_EQ(planSession(unreachable), Plan{});
}

TEST(FakeSessionPlatform, ReportsActivationsToPastingUntilItIsShutDown)
{
    FakeSessionPlatform platform;
    ManualScheduler scheduler;
    PasteService service(platform.pasteboard(), makeLivePasteEnvironment(platform.pasteDesktop(), scheduler));
    platform.setActivationHandlers({[&service](qint64 target) { service.applicationActivated(target); }, {}});
    platform.desktop.running = {100, 200};
    platform.desktop.front = 100;
    service.captureTarget();
    platform.reportActivation(200);
    // Tolvi's own window in front: the program the user went to last is the target.
    platform.desktop.front = QCoreApplication::applicationPid();
    service.captureTarget();
    EXPECT_EQ(service.targetPID(), 200);

    service.pasteText(QStringLiteral("into 200"));
    while (scheduler.runNext()) {
    }
    EXPECT_EQ(platform.desktop.activated, QList<qint64>{200});
    EXPECT_EQ(platform.desktop.pastedInto, QList<qint64>{200});
    EXPECT_EQ(platform.board.string(QStringLiteral("public.utf8-plain-text")), QStringLiteral("into 200"));

    platform.shutDown();
    platform.reportActivation(100);
    platform.desktop.front = QCoreApplication::applicationPid();
    service.captureTarget();
    EXPECT_EQ(service.targetPID(), 200);
}
