#include "Tolvi/platform/session/SessionPlan.h"

namespace tolvi {

SessionPlan planSession(const SessionFacts& facts)
{
    SessionPlan plan;
    plan.session = decideSessionKind(facts);
    if (plan.session == SessionKind::x11)
        return plan;
    plan.shortcuts = SessionPlan::Shortcuts::desktop;
    if (plan.session == SessionKind::waylandWithDataControl)
        plan.clipboard = SessionPlan::Clipboard::seatAndXWayland;
    if (!facts.compositorReachable)
        return plan;
    if (facts.globals.contains(foreignToplevelManager))
        plan.windows = SessionPlan::WindowList::foreignToplevels;
    else if (facts.globals.contains(plasmaWindowManagement))
        plan.windows = SessionPlan::WindowList::plasmaWindows;
    if (facts.globals.contains(virtualKeyboardManager))
        plan.keyboard = SessionPlan::Keyboard::virtualKeyboard;
    else if (facts.globals.contains(kwinFakeInput))
        plan.keyboard = SessionPlan::Keyboard::fakeInput;
    else
        plan.keyboard = SessionPlan::Keyboard::remoteDesktopPortal;
    return plan;
}

} // namespace tolvi
