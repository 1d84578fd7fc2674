// The onboarding tour, What's New and About, driven through their controllers as the
// composition root drives them, with the program's own chord rules and fakes for the desktop.
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/onboarding/AboutPanelController.h"
#include "Tolvi/design/AppIcon.h"
#include "Tolvi/onboarding/OnboardingWidgets.h"
#include "Tolvi/onboarding/SetupPanelController.h"
#include "Tolvi/onboarding/SetupView.h"
#include "Tolvi/onboarding/WhatsNewPanelController.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/shell/GlobalShortcutChords.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/TolviReleaseNotes.h"
#include "EventTimeout.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QStackedWidget>
#include <QTest>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

using namespace tolvi;

namespace {

// The clip the compact demo adds.
const QString sampleClipText = QStringLiteral("Need quote for panel upgrade. Customer wants pricing by Friday.");

QStringList titles(const QList<QAbstractButton*>& buttons)
{
    QStringList result;
    for (const QAbstractButton* button : buttons)
        result << button->text();
    return result;
}

// What a name-tagged widget says: a badge's title or a label's text.
QStringList textsNamed(const QWidget* root, const QString& name)
{
    QStringList result;
    for (const QWidget* widget : root->findChildren<QWidget*>(name)) {
        if (const auto* badge = qobject_cast<const TolviBadge*>(widget))
            result << badge->title();
        else if (const auto* label = qobject_cast<const QLabel*>(widget))
            result << label->text();
    }
    return result;
}

struct Stores {
    InMemoryKeyValueSettings settings;
    PreferencesStore preferences{settings};
    ManualScheduler scheduler;
    bool canPostEvents = false;
    PermissionStatusStore permission{[this] { return canPostEvents; }, scheduler};
    TolviTheme theme;

    Stores() { theme.accessibility().setReduceMotion(true); }

    void grantPermission(bool granted)
    {
        canPostEvents = granted;
        scheduler.advance(PermissionStatusStore::refreshInterval);
    }
};

// The tour with the program's chord rules and recording callbacks.
struct Tour {
    Stores stores;
    QStringList calls;
    std::unique_ptr<SetupPanelController> controller;

    explicit Tour(bool canCheckForUpdates = false)
    {
        auto record = [this](const QString& call) {
            return [this, call] {
                calls << call + (controller->isWindowVisible() ? QStringLiteral("(visible)") : QString());
            };
        };
        controller = std::make_unique<SetupPanelController>(SetupPanelController::Dependencies{
            stores.permission, stores.preferences, &stores.theme, &compactPanelChord, canCheckForUpdates,
            sampleClipText, record(QStringLiteral("history")), record(QStringLiteral("demo")),
            record(QStringLiteral("complete"))});
    }

    SetupView& view() const { return *controller->view(); }
    QStringList buttons() const { return titles(view().visibleFooterButtons()); }
    void press(const QString& title)
    {
        for (QAbstractButton* button : view().visibleFooterButtons()) {
            if (button->text() == title) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << title.toStdString() << " on step " << int(view().step());
    }
    QString progress() const { return textsNamed(&view(), QStringLiteral("tolvi.setup.progress")).value(0); }
};

} // namespace

TEST(OnboardingTour, StepsForwardAndBackWithTheirButtons)
{
    Tour tour;
    tour.controller->show();
    ASSERT_TRUE(tour.controller->isWindowVisible());
    EXPECT_EQ(tour.controller->panel()->windowTitle(), QStringLiteral("Tolvi Setup"));
    EXPECT_EQ(tour.view().step(), SetupStep::welcome);
    EXPECT_EQ(tour.progress(), QStringLiteral("1 of 4"));
    EXPECT_EQ(tour.buttons(), (QStringList{QStringLiteral("Skip Tour"), QStringLiteral("Show Me")}));

    tour.press(QStringLiteral("Show Me"));
    EXPECT_EQ(tour.view().step(), SetupStep::howItWorks);
    EXPECT_EQ(tour.view().pages()->currentIndex(), 1);
    EXPECT_EQ(tour.buttons(), (QStringList{QStringLiteral("Back"), QStringLiteral("Next")}));
    tour.press(QStringLiteral("Back"));
    EXPECT_EQ(tour.view().step(), SetupStep::welcome);

    // Return presses the step's prominent button, wherever the focus is.
    QTest::keyClick(tour.controller->panel(), Qt::Key_Return);
    EXPECT_EQ(tour.view().step(), SetupStep::howItWorks);
    QTest::keyClick(tour.view().visibleFooterButtons().first(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(tour.view().step(), SetupStep::basics);
    EXPECT_EQ(tour.progress(), QStringLiteral("3 of 4"));
    EXPECT_EQ(tour.buttons(),
              (QStringList{QStringLiteral("Back"), QStringLiteral("Open Full Window"), QStringLiteral("Try It")}));

    tour.press(QStringLiteral("Try It"));
    EXPECT_EQ(tour.view().step(), SetupStep::tryIt);
    // No permission button: no settings page grants XTEST.
    EXPECT_EQ(tour.buttons(),
              (QStringList{QStringLiteral("Back"), QStringLiteral("Done"), QStringLiteral("Open Compact Mode")}));
    EXPECT_EQ(textsNamed(&tour.view(), QStringLiteral("tolvi.setup.sampleText")),
              QStringList{sampleClipText});
    tour.press(QStringLiteral("Back"));
    EXPECT_EQ(tour.view().step(), SetupStep::basics);
    // Back goes one step at a time.
    tour.press(QStringLiteral("Back"));
    EXPECT_EQ(tour.view().step(), SetupStep::howItWorks);
    EXPECT_EQ(tour.progress(), QStringLiteral("2 of 4"));

    // Walking through the tour finishes nothing.
    EXPECT_TRUE(tour.calls.isEmpty()) << tour.calls.join(' ').toStdString();
    EXPECT_TRUE(tour.controller->isWindowVisible());
}

TEST(OnboardingTour, EachWayOfFinishingCompletesFirstThenLeavesAsItSays)
{
    struct Case {
        QStringList path;
        QStringList expectedCalls;
    };
    const QList<Case> cases{
        {{QStringLiteral("Skip Tour")}, {QStringLiteral("complete(visible)")}},
        {{QStringLiteral("Show Me"), QStringLiteral("Next"), QStringLiteral("Open Full Window")},
         {QStringLiteral("complete(visible)"), QStringLiteral("history")}},
        {{QStringLiteral("Show Me"), QStringLiteral("Next"), QStringLiteral("Try It"), QStringLiteral("Done")},
         {QStringLiteral("complete(visible)")}},
        {{QStringLiteral("Show Me"), QStringLiteral("Next"), QStringLiteral("Try It"),
          QStringLiteral("Open Compact Mode")},
         {QStringLiteral("complete(visible)"), QStringLiteral("demo")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.join(QStringLiteral(" > ")).toStdString());
        Tour tour;
        tour.controller->show();
        for (const QString& button : c.path)
            tour.press(button);
        // The panel is gone before the next window is asked for.
        EXPECT_EQ(tour.calls, c.expectedCalls);
        EXPECT_FALSE(tour.controller->isWindowVisible());
    }
}

TEST(OnboardingTour, EscapeAndTheCloseButtonOnlyHideAndTheNextShowingStartsAgain)
{
    Tour tour;
    tour.controller->show();
    EscapeClosingPanel* panel = tour.controller->panel();
    tour.press(QStringLiteral("Show Me"));
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_FALSE(tour.controller->isWindowVisible());

    tour.controller->show();
    EXPECT_EQ(tour.controller->panel(), panel);
    EXPECT_EQ(panel->findChildren<SetupView*>().size(), 1);
    EXPECT_EQ(tour.view().step(), SetupStep::welcome);
    tour.press(QStringLiteral("Show Me"));
    auto* close = panel->findChild<onboarding::PanelCloseButton*>();
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_FALSE(tour.controller->isWindowVisible());

    EXPECT_TRUE(tour.calls.isEmpty()) << tour.calls.join(' ').toStdString();
}

TEST(OnboardingTour, EveryShortcutLineNamesTheCompactPanelsChord)
{
    for (GlobalShortcutPreset preset : globalshortcut::allCases) {
        SCOPED_TRACE(globalshortcut::rawValue(preset).toStdString());
        Tour tour;
        tour.stores.preferences.setGlobalShortcut(preset);
        tour.controller->show();
        const QString compact = hotKeyChordDisplayName(compactPanelChord(preset));
        ASSERT_NE(compact, hotKeyChordDisplayName(historyWindowChord(preset)));
        // The compact mock-up's badge, the "Find" station and the sample card's badge.
        EXPECT_EQ(textsNamed(&tour.view(), QStringLiteral("tolvi.setup.shortcut")),
                  (QStringList{compact, compact, compact}));
    }

    // A preset changed while the tour is open shows at once.
    Tour tour;
    tour.controller->show();
    tour.stores.preferences.setGlobalShortcut(GlobalShortcutPreset::commandShiftV);
    const QString compact = hotKeyChordDisplayName(compactPanelChord(GlobalShortcutPreset::commandShiftV));
    EXPECT_EQ(compact, QStringLiteral("Ctrl + Alt + V"));
    EXPECT_EQ(textsNamed(&tour.view(), QStringLiteral("tolvi.setup.shortcut")),
              (QStringList{compact, compact, compact}));
}

TEST(OnboardingTour, PermissionLineFollowsTheStoreAndUpdatesLineOnlyWhereTheBuildChecks)
{
    Tour tour;
    tour.controller->show();
    const SetupView& view = tour.view();
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tolvi.setup.permissionMissing")), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("tolvi.setup.permissionReady")), nullptr);
    tour.stores.grantPermission(true);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tolvi.setup.permissionReady")), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("tolvi.setup.permissionMissing")), nullptr);
    tour.stores.grantPermission(false);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tolvi.setup.permissionMissing")), nullptr);

    // This build has no updater: the tour says nothing about updates.
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("tolvi.setup.updates")), nullptr);
    Tour checking(true);
    checking.controller->show();
    QWidget* updates = checking.view().findChild<QWidget*>(QStringLiteral("tolvi.setup.updates"));
    ASSERT_NE(updates, nullptr);
    for (const QLabel* label : updates->findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains(QStringLiteral("asks before installing"))) << label->text().toStdString();
}

TEST(OnboardingTour, StepsStillChangeAtOnceWhenTheyAnimate)
{
    Tour tour;
    tour.stores.theme.accessibility().setReduceMotion(false);
    tour.controller->show();
    tour.press(QStringLiteral("Show Me"));
    tour.press(QStringLiteral("Next"));  // while the first slide still runs
    EXPECT_EQ(tour.view().step(), SetupStep::basics);
    EXPECT_EQ(tour.view().pages()->currentIndex(), 2);
    // The slide ends in place, its effect gone (awaited: a busy machine runs the animation late).
    const auto settled = [&] {
        return tour.view().pages()->currentWidget()->pos() == QPoint(0, 0)
               && tour.view().pages()->currentWidget()->graphicsEffect() == nullptr;
    };
    QTest::qWaitFor(settled, tolvi::test::eventTimeoutMs);
    EXPECT_EQ(tour.view().pages()->currentWidget()->pos(), QPoint(0, 0));
    EXPECT_EQ(tour.view().pages()->currentWidget()->graphicsEffect(), nullptr);
}

// MARK: What's New

namespace {

struct WhatsNew {
    Stores stores;
    InMemoryBundleInfo bundle{{{QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("2.4.0")},
                               {QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("57")}}};
    FakeDesktopWorkspace desktop;
    WhatsNewPanelController controller{{stores.preferences, bundle, desktop, &stores.theme}};

    std::optional<QString> lastSeen() const { return stores.preferences.lastSeenReleaseNotesVersion(); }
};

} // namespace

TEST(WhatsNewPanel, EscapeAlwaysMarksTheReleaseAsSeen)
{
    WhatsNew whatsNew;
    whatsNew.controller.show(false);
    ASSERT_TRUE(whatsNew.controller.isWindowVisible());
    QTest::keyClick(whatsNew.controller.panel(), Qt::Key_Escape);
    EXPECT_FALSE(whatsNew.controller.isWindowVisible());
    EXPECT_EQ(whatsNew.lastSeen(), std::optional<QString>(QStringLiteral("2.4.0")));
}

TEST(WhatsNewPanel, ContinueMarksOnlyWhenTheShowingAskedAndTheCloseButtonNever)
{
    WhatsNew whatsNew;
    whatsNew.controller.show(false);
    whatsNew.controller.view()->continueButton()->click();
    EXPECT_FALSE(whatsNew.controller.isWindowVisible());
    EXPECT_EQ(whatsNew.lastSeen(), std::nullopt);

    whatsNew.controller.show(true);
    whatsNew.controller.view()->closeButton()->click();
    EXPECT_FALSE(whatsNew.controller.isWindowVisible());
    EXPECT_EQ(whatsNew.lastSeen(), std::nullopt);

    // Return is Continue.
    whatsNew.controller.show(true);
    QTest::keyClick(whatsNew.controller.panel(), Qt::Key_Return);
    EXPECT_FALSE(whatsNew.controller.isWindowVisible());
    EXPECT_EQ(whatsNew.lastSeen(), std::optional<QString>(QStringLiteral("2.4.0")));
}

TEST(WhatsNewPanel, ReleaseNotesOpensTheChangelogAndEveryShowingReusesThePanelWithFreshNotes)
{
    WhatsNew whatsNew;
    whatsNew.controller.show(true);
    EscapeClosingPanel* panel = whatsNew.controller.panel();
    whatsNew.controller.view()->releaseNotesButton()->click();
    EXPECT_EQ(whatsNew.desktop.openedUrls, QList<QUrl>{TolviLinks::changelog()});
    EXPECT_TRUE(whatsNew.controller.isWindowVisible());
    EXPECT_EQ(whatsNew.lastSeen(), std::nullopt);

    whatsNew.bundle.set(QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("58"));
    whatsNew.controller.show(true);
    EXPECT_EQ(whatsNew.controller.panel(), panel);
    EXPECT_EQ(panel->findChildren<WhatsNewView*>().size(), 1);
    EXPECT_EQ(textsNamed(whatsNew.controller.view(), QStringLiteral("tolvi.whatsNew.title")),
              QStringList{QStringLiteral("Tolvi 2.4.0")});
    EXPECT_EQ(textsNamed(whatsNew.controller.view(), QStringLiteral("tolvi.whatsNew.build")),
              QStringList{QStringLiteral("Build 58")});
    EXPECT_EQ(whatsNew.controller.view()->findChildren<QWidget*>(QStringLiteral("tolvi.whatsNew.highlight")).size(),
              TolviReleaseNotes::current(whatsNew.bundle).highlights.size());
}

// MARK: About

TEST(AboutPanel, VersionLineUsesTheBuildsValuesOrTheFallbacks)
{
    Stores stores;
    FakeDesktopWorkspace desktop;
    struct Case {
        QMap<QString, QString> values;
        QString expected;
    };
    const QString version = QString::fromLatin1(bundlekey::shortVersion);
    const QString build = QString::fromLatin1(bundlekey::buildNumber);
    const QList<Case> cases{
        {{}, QStringLiteral("Version 0.1.0 (1)")},
        {{{version, QStringLiteral("2.0")}, {build, QStringLiteral("7")}}, QStringLiteral("Version 2.0 (7)")},
        {{{build, QStringLiteral("7")}}, QStringLiteral("Version 0.1.0 (7)")},
        // Present but empty is still the build's value.
        {{{version, QString()}}, QStringLiteral("Version  (1)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        InMemoryBundleInfo bundle(c.values);
        AboutPanelController about({bundle, desktop, &stores.theme, {}});
        about.show();
        EXPECT_EQ(about.view()->versionLine(), c.expected);
        EXPECT_EQ(textsNamed(about.view(), QStringLiteral("tolvi.about.version")), QStringList{c.expected});
    }
}

// About shows the program's icon in its own colours (the installed desktop icon), filled in,
// not an outline; the same icon is what the windows carry.
TEST(AboutPanel, ShowsTheProgramsColouredIcon)
{
    Stores stores;
    FakeDesktopWorkspace desktop;
    InMemoryBundleInfo bundle;
    AboutPanelController about({bundle, desktop, &stores.theme, {}});
    about.show();
    QWidget* icon = about.view()->findChild<QWidget*>(QStringLiteral("tolvi.about.icon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->size(), QSize(64, 64));
    const QImage image = icon->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int coloured = 0;
    int transparent = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 0)
                ++transparent;
            else if (c.alpha() > 200 && c.hsvSaturation() > 100)
                ++coloured;
        }
    }
    // Most of it is the plate's blue; the centre is the white clipboard.
    EXPECT_GT(coloured, image.width() * image.height() / 3);
    EXPECT_LT(transparent, image.width() * image.height() / 10);
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    EXPECT_GT(centre.lightness(), 200);

    EXPECT_FALSE(AppIcon::icon().isNull());
    EXPECT_FALSE(AppIcon::icon().pixmap(32, 32).isNull());
}

TEST(AboutPanel, ButtonsOpenTheirPagesAndEscapeHidesTheSamePanel)
{
    Stores stores;
    FakeDesktopWorkspace desktop;
    InMemoryBundleInfo bundle;
    int feedback = 0;
    AboutPanelController about({bundle, desktop, &stores.theme, [&feedback] { ++feedback; }});
    about.show();
    for (const QString& title : {QStringLiteral("Privacy Policy"), QStringLiteral("Support"),
                                 QStringLiteral("Release Notes"), QStringLiteral("Terms"),
                                 QStringLiteral("Send Feedback...")}) {
        QAbstractButton* button = about.view()->button(title);
        ASSERT_NE(button, nullptr) << title.toStdString();
        button->click();
    }
    EXPECT_EQ(desktop.openedUrls, (QList<QUrl>{TolviLinks::privacy(), TolviLinks::support(), TolviLinks::changelog(),
                                               TolviLinks::terms()}));
    EXPECT_EQ(feedback, 1);

    EscapeClosingPanel* panel = about.panel();
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_FALSE(about.isWindowVisible());
    about.show();
    EXPECT_EQ(about.panel(), panel);
    EXPECT_TRUE(about.isWindowVisible());
}
