#include "Tolvi/platform/wayland/SessionKind.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

SessionFacts facts(QByteArray type, QByteArray display, bool reachable, QList<QByteArray> globals = {})
{
    SessionFacts result;
    result.sessionType = std::move(type);
    result.waylandDisplay = std::move(display);
    result.compositorReachable = reachable;
    result.globals = std::move(globals);
    return result;
}

} // namespace

TEST(SessionKindTest, DecidesFromTheEnvironmentAndTheOfferedGlobals)
{
    // Plain X11, also when the session type is unknown (a bare X server).
    EXPECT_EQ(decideSessionKind(facts("x11", "", false)), SessionKind::x11);
    EXPECT_EQ(decideSessionKind(facts("", "", false)), SessionKind::x11);
    // sway and KWin: data control offered.
    EXPECT_EQ(decideSessionKind(facts("wayland", "wayland-1", true, {"wl_seat", wlrDataControlManager})),
              SessionKind::waylandWithDataControl);
    EXPECT_EQ(decideSessionKind(facts("", "wayland-1", true, {extDataControlManager})),
              SessionKind::waylandWithDataControl);
    // Mutter: no data control.
    EXPECT_EQ(decideSessionKind(facts("wayland", "wayland-0", true, {"wl_seat", "wl_data_device_manager"})),
              SessionKind::waylandWithoutDataControl);
    // A Wayland session whose compositor cannot be reached: only XWayland is left.
    EXPECT_EQ(decideSessionKind(facts("wayland", "", false)), SessionKind::waylandWithoutDataControl);
    // A stale WAYLAND_DISPLAY in an X11 session is ignored.
    EXPECT_EQ(decideSessionKind(facts("x11", "wayland-0", false)), SessionKind::x11);
}

TEST(SessionKindTest, PrefersTheExtProtocolWhenBothAreOffered)
{
    EXPECT_EQ(preferredDataControl({wlrDataControlManager, extDataControlManager}), DataControlProtocol::ext);
    EXPECT_EQ(preferredDataControl({wlrDataControlManager}), DataControlProtocol::wlr);
    EXPECT_EQ(preferredDataControl({"wl_seat"}), DataControlProtocol::none);
}
