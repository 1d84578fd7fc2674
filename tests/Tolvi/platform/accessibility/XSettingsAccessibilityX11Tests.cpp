// XSETTINGS under a private X server, with a settings owner of the test's own: the settings as a
// settings daemon records them (in both byte orders), owners coming and going, and an open
// window following the desktop's switches while it is on screen.
#include "Tolvi/design/AccessibilitySettings.h"
#include "EventTimeout.h"
#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/platform/accessibility/DesktopAccessibilityRules.h"
#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"
#include "Tolvi/platform/accessibility/XSettingsWatcher.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <X11/Xlib.h>

using namespace tolvi;

using tolvi::test::eventTimeoutMs;

namespace {

// The property as xsettingsd 1.0.2 publishes it on x86-64 (least significant byte first) for
//   Gtk/CursorThemeSize 24, Gtk/EnableAnimations 0, Net/ThemeName "HighContrast".
const QByteArray recordedLittleEndian = QByteArray::fromHex(
    "0000000001000000030000000000130047746b2f437572736f725468656d6553697a650001000000180000000000140047746b2f"
    "456e61626c65416e696d6174696f6e73010000000000000001000d004e65742f5468656d654e616d65000000010000000c000000"
    "48696768436f6e7472617374");
// The same settings as a big-endian owner publishes them (byte-order byte 1, every number swapped).
const QByteArray recordedBigEndian = QByteArray::fromHex(
    "0100000000000001000000030000001347746b2f437572736f725468656d6553697a650000000001000000180000001447746b2f"
    "456e61626c65416e696d6174696f6e7300000001000000000100000d4e65742f5468656d654e616d65000000000000010000000c"
    "48696768436f6e7472617374");

// Settings in the owner's native (little-endian) order, for owners that change them.
QByteArray encodeSettings(quint32 serial, int enableAnimations, const QByteArray& themeName)
{
    QByteArray bytes;
    auto card16 = [&bytes](quint16 v) { bytes.append(char(v & 0xff)).append(char(v >> 8)); };
    auto card32 = [&bytes](quint32 v) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((v >> shift) & 0xff));
    };
    auto padded = [&bytes](const QByteArray& text) {
        bytes.append(text);
        bytes.append(QByteArray((4 - text.size() % 4) % 4, '\0'));
    };
    bytes.append(char(LSBFirst)).append(QByteArray(3, '\0'));
    card32(serial);
    card32(2);
    bytes.append(char(0)).append('\0');  // integer
    card16(20);
    padded("Gtk/EnableAnimations");
    card32(serial);
    card32(quint32(enableAnimations));
    bytes.append(char(1)).append('\0');  // string
    card16(13);
    padded("Net/ThemeName");
    card32(serial);
    card32(quint32(themeName.size()));
    padded(themeName);
    return bytes;
}

// A property of `count` settings: "Gtk/EnableAnimations" 0 and "Net/ThemeName" "HighContrast"
// before them (usedFirst) or after them, the rest integers of no interest.
QByteArray manySettings(quint32 count, bool usedFirst)
{
    QByteArray used = encodeSettings(1, 0, "HighContrast").mid(12);
    QByteArray filler;
    filler.reserve(qsizetype(count) * 24);
    for (quint32 i = 0; i < count; ++i) {
        const QByteArray name = "Filler/Setting" + QByteArray::number(i).rightJustified(6, '0');  // 20 bytes
        filler.append(char(0)).append('\0');
        filler.append(char(name.size() & 0xff)).append(char(name.size() >> 8));
        filler.append(name);
        filler.append(QByteArray(8, '\0'));  // serial and value
    }
    QByteArray bytes = encodeSettings(1, 0, "HighContrast").left(8);
    const quint32 total = count + 2;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((total >> shift) & 0xff));
    return bytes + (usedFirst ? used + filler : filler + used);
}

// A settings daemon of the test's own: it owns the screen's _XSETTINGS_S0 selection, publishes
// its settings in _XSETTINGS_SETTINGS on its window and announces itself on the root window.
class SettingsOwner {
public:
    SettingsOwner() : m_display(XOpenDisplay(nullptr))
    {
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        m_selection = XInternAtom(m_display, "_XSETTINGS_S0", False);
        m_settings = XInternAtom(m_display, "_XSETTINGS_SETTINGS", False);
    }
    ~SettingsOwner()
    {
        XCloseDisplay(m_display);
    }

    void publish(const QByteArray& bytes)
    {
        XChangeProperty(m_display, m_window, m_settings, m_settings, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()));
        XFlush(m_display);
    }

    void takeSelection()
    {
        XSetSelectionOwner(m_display, m_selection, m_window, CurrentTime);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = DefaultRootWindow(m_display);
        event.xclient.message_type = XInternAtom(m_display, "MANAGER", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = CurrentTime;
        event.xclient.data.l[1] = long(m_selection);
        event.xclient.data.l[2] = long(m_window);
        XSendEvent(m_display, DefaultRootWindow(m_display), False, StructureNotifyMask, &event);
        XFlush(m_display);
    }

    // The daemon quits: its window goes, and the selection with it.
    void leave()
    {
        XDestroyWindow(m_display, m_window);
        XSync(m_display, False);
    }

private:
    Display* m_display;
    Window m_window = None;
    Atom m_selection = None;
    Atom m_settings = None;
};

// Waits for the next settings the watcher reports.
std::optional<XSettingsSnapshot> nextSettings(QSignalSpy& spy)
{
    if (spy.isEmpty() && !spy.wait(eventTimeoutMs)) {
        ADD_FAILURE() << "the watcher reported nothing";
        return std::nullopt;
    }
    return spy.takeFirst().at(0).value<std::optional<XSettingsSnapshot>>();
}

void expectRecordedSettings(const std::optional<XSettingsSnapshot>& settings)
{
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->enableAnimations, std::optional<int>(0));
    EXPECT_EQ(settings->netThemeName, QStringLiteral("HighContrast"));
    EXPECT_TRUE(settings->gtkThemeName.isEmpty());
    EXPECT_EQ(DesktopAccessibilityRules::fromXSettings(*settings), (DesktopAccessibilityValues{true, true, true}));
}

} // namespace

TEST(XSettingsWatcherX11, RecordedSettingsAreReadInBothByteOrders)
{
    for (const QByteArray& recorded : {recordedLittleEndian, recordedBigEndian}) {
        SCOPED_TRACE(recorded.front() == 0 ? "least significant byte first" : "most significant byte first");
        SettingsOwner owner;
        owner.publish(recorded);
        owner.takeSelection();
        XSettingsWatcher watcher;
        QSignalSpy reported(&watcher, &XSettingsWatcher::settingsChanged);
        ASSERT_TRUE(watcher.start());
        expectRecordedSettings(nextSettings(reported));
        owner.leave();
        EXPECT_EQ(nextSettings(reported), std::nullopt);
    }
}

TEST(XSettingsWatcherX11, OwnersThatComeChangeAndGoAreFollowed)
{
    XSettingsWatcher watcher;
    QSignalSpy reported(&watcher, &XSettingsWatcher::settingsChanged);
    ASSERT_TRUE(watcher.start());
    EXPECT_EQ(nextSettings(reported), std::nullopt);  // no settings daemon yet

    SettingsOwner owner;
    owner.publish(encodeSettings(1, 1, "Adwaita"));
    owner.takeSelection();
    std::optional<XSettingsSnapshot> settings = nextSettings(reported);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->enableAnimations, std::optional<int>(1));
    EXPECT_EQ(settings->netThemeName, QStringLiteral("Adwaita"));

    owner.publish(encodeSettings(2, 0, "Adwaita"));
    settings = nextSettings(reported);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->enableAnimations, std::optional<int>(0));

    // A property the daemon rewrites with the same values is no change.
    owner.publish(encodeSettings(3, 0, "Adwaita"));
    EXPECT_FALSE(reported.wait(300));

    owner.leave();
    EXPECT_EQ(nextSettings(reported), std::nullopt);

    // A daemon started afterwards is found again.
    SettingsOwner second;
    second.publish(recordedBigEndian);
    second.takeSelection();
    expectRecordedSettings(nextSettings(reported));
}

TEST(XSettingsWatcherX11, AnOpenWindowFollowsTheDesktopWhileItIsOnScreen)
{
    SettingsOwner owner;
    owner.publish(encodeSettings(1, 1, "Adwaita"));
    owner.takeSelection();

    LinuxDesktopAccessibility::Options options;
    options.displayName = qgetenv("DISPLAY");
    LinuxDesktopAccessibility desktop(options);
    AccessibilitySettings accessibility;
    QObject::connect(&desktop, &DesktopAccessibility::valuesChanged, &accessibility,
                     [&accessibility](const DesktopAccessibilityValues& values) {
                         accessibility.setReduceMotion(values.reduceMotion);
                         accessibility.setReduceTransparency(values.reduceTransparency);
                         accessibility.setIncreasedContrast(values.increasedContrast);
                     });
    TolviTheme theme(&accessibility);
    // Translucency itself is the compositor's business: take it as present, so only the
    // desktop's settings decide how plates look.
    theme.setTranslucencyOverride(true);

    QWidget window;
    window.resize(400, 300);
    tolviConsoleAppearance(&window, &theme);
    auto* layout = new QVBoxLayout(&window);
    auto* plate = new TolviLiquidPlate(14);
    layout->addWidget(plate);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, eventTimeoutMs));

    QSignalSpy followed(&desktop, &DesktopAccessibility::valuesChanged);
    desktop.start();
    ASSERT_TRUE(followed.wait(eventTimeoutMs));
    EXPECT_EQ(plateStyle(DesignContext::of(plate)).form, PlateForm::material);
    EXPECT_GT(DesignContext::of(plate).animationDuration(TolviCardOverlay::transitionMilliseconds), 0);

    // A card going out takes its time while animations are on...
    auto dismissal = [&window]() -> bool {
        auto* overlay = new TolviCardOverlay(new QWidget, {QSize(100, 80), QSize(200, 120), QSize(300, 200)}, &window);
        overlay->present();
        bool gone = false;
        overlay->dismiss([&gone, overlay] {
            gone = true;
            overlay->deleteLater();
        });
        const bool atOnce = gone;
        EXPECT_TRUE(QTest::qWaitFor([&gone] { return gone; }, eventTimeoutMs));
        return atOnce;
    };
    EXPECT_FALSE(dismissal());

    // ...and goes at once when the desktop turns animations off.
    owner.publish(encodeSettings(2, 0, "Adwaita"));
    ASSERT_TRUE(followed.wait(eventTimeoutMs));
    EXPECT_TRUE(accessibility.reduceMotion());
    EXPECT_TRUE(dismissal());
    EXPECT_EQ(plateStyle(DesignContext::of(plate)).form, PlateForm::material);

    // A high-contrast theme makes every plate of the open window opaque and outlined.
    owner.publish(encodeSettings(3, 0, "HighContrast"));
    ASSERT_TRUE(followed.wait(eventTimeoutMs));
    EXPECT_TRUE(accessibility.increasedContrast());
    EXPECT_TRUE(accessibility.reduceTransparency());
    const PlateStyle solid = plateStyle(DesignContext::of(plate));
    EXPECT_EQ(solid.form, PlateForm::solid);
    EXPECT_EQ(solid.fill.alpha(), 255);
    const QImage drawn = plate->grab().toImage();
    EXPECT_EQ(drawn.pixelColor(drawn.rect().center()).alpha(), 255);

    // Animations back on: transitions run again, the contrast stays.
    owner.publish(encodeSettings(4, 1, "HighContrast"));
    ASSERT_TRUE(followed.wait(eventTimeoutMs));
    EXPECT_FALSE(accessibility.reduceMotion());
    EXPECT_FALSE(dismissal());
    EXPECT_EQ(plateStyle(DesignContext::of(plate)).form, PlateForm::solid);
}

// An owner publishing far more settings than any desktop does: what a desktop publishes is read,
// the rest is not, and the watcher goes at once when asked to.
TEST(XSettingsWatcherX11, AnOwnerWithAHundredThousandSettingsIsReadOnlyAsFarAsADesktopPublishes)
{
    for (const bool usedFirst : {true, false}) {
        SCOPED_TRACE(usedFirst ? "the settings in use first" : "the settings in use last");
        SettingsOwner owner;
        owner.publish(manySettings(100000, usedFirst));
        owner.takeSelection();
        QElapsedTimer elapsed;
        elapsed.start();
        {
            XSettingsWatcher watcher;
            QSignalSpy reported(&watcher, &XSettingsWatcher::settingsChanged);
            ASSERT_TRUE(watcher.start());
            const std::optional<XSettingsSnapshot> settings = nextSettings(reported);
            ASSERT_TRUE(settings.has_value());
            if (usedFirst) {
                expectRecordedSettings(settings);
            } else {
                // Past the part that is read: as if the owner published neither.
                EXPECT_EQ(*settings, XSettingsSnapshot{});
            }
            // The owner keeps rewriting its huge property while the watcher goes.
            owner.publish(manySettings(100000, !usedFirst));
        }
        // Generous: the watcher must not hang on the owner, not be quick.
        EXPECT_LT(elapsed.elapsed(), 10000);
    }
}

// An owner that changes its settings a hundred times a second is read a few times a second, and
// its last settings are the ones reported in the end.
TEST(XSettingsWatcherX11, AnOwnerThatFlapsIsReadAFewTimesASecondAndItsLastSettingsWin)
{
    SettingsOwner owner;
    owner.publish(encodeSettings(1, 1, "Adwaita"));
    owner.takeSelection();
    LinuxDesktopAccessibility::Options options;
    options.displayName = qgetenv("DISPLAY");
    LinuxDesktopAccessibility desktop(options);
    QSignalSpy announced(&desktop, &DesktopAccessibility::valuesChanged);
    desktop.start();
    ASSERT_TRUE(announced.wait(5000));
    announced.clear();

    // Two seconds of flapping between animations on and off.
    constexpr int kChanges = 200;
    QElapsedTimer flapping;
    flapping.start();
    for (int i = 0; i < kChanges; ++i) {
        owner.publish(encodeSettings(quint32(i + 2), i % 2, "Adwaita"));
        QTest::qWait(10);
    }
    const qint64 flapped = flapping.elapsed();
    owner.publish(encodeSettings(kChanges + 2, 0, "Adwaita"));
    // The last settings arrive once the flapping is over.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !announced.isEmpty()
                   && announced.last().at(0).value<DesktopAccessibilityValues>().reduceMotion;
        },
        5000));
    QTest::qWait(2 * XSettingsWatcher::minimumReadIntervalMs);
    EXPECT_TRUE(announced.last().at(0).value<DesktopAccessibilityValues>().reduceMotion);
    // At most one reading per interval, and one for the last change.
    EXPECT_LE(announced.size(), flapped / XSettingsWatcher::minimumReadIntervalMs + 3)
        << announced.size() << " announcements in " << flapped << " ms of " << kChanges << " changes";
    EXPECT_GE(announced.size(), 1);
}
