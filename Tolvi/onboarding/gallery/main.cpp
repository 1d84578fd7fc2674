// Shows each step of the onboarding tour, the What's New panel and the About panel and saves
// them in the light and dark themes as PNG files:
//   TolviOnboardingScreenshots <output folder>
// onboarding-<step>-<light|dark>.png (the last step also with automatic paste ready),
// whatsnew-<light|dark>.png and about-<light|dark>.png.
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/gallerysupport/GalleryCamera.h"
#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/gallerysupport/GalleryProgram.h"
#include "Tolvi/onboarding/AboutPanelController.h"
#include "Tolvi/onboarding/SetupPanelController.h"
#include "Tolvi/onboarding/SetupView.h"
#include "Tolvi/onboarding/WhatsNewPanelController.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/shell/GlobalShortcutChords.h"
#include "Tolvi/shell/PreferencesStore.h"

#include <QApplication>

namespace {

using namespace tolvi;

using gallery::GalleryCamera;

// Saves a panel once its content came in.
void save(GalleryCamera& camera, QWidget* window, const QString& state)
{
    gallery::settle(250);
    camera.save(window->grab(), state);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString program = QStringLiteral("TolviOnboardingScreenshots");
    const std::optional<QDir> folder = gallery::outputFolder(argc, argv, program);
    if (!folder)
        return 1;
    GalleryCamera camera(*folder, program);

    InMemoryKeyValueSettings settings;
    PreferencesStore preferences(settings);
    InMemoryBundleInfo bundle({{QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("0.1.0")},
                               {QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("1")}});
    FakeDesktopWorkspace desktop;
    ManualScheduler scheduler;
    bool canPostEvents = false;
    PermissionStatusStore permission([&canPostEvents] { return canPostEvents; }, scheduler);

    for (const gallery::GalleryTheme& entry : gallery::galleryThemes) {
        camera.setTheme(QString::fromLatin1(entry.name));
        TolviTheme theme;
        theme.setAppearance(entry.appearance);
        theme.accessibility().setReduceMotion(true);
        canPostEvents = false;
        scheduler.advance(PermissionStatusStore::refreshInterval);

        {
            SetupPanelController tour({permission, preferences, &theme, &compactPanelChord, true,
                                       QStringLiteral("Need quote for panel upgrade. Customer wants pricing by "
                                                      "Friday.\nNeed equivalent model."),
                                       {}, {}, {}});
            tour.show();
            const QStringList steps{QStringLiteral("welcome"), QStringLiteral("howItWorks"), QStringLiteral("basics"),
                                    QStringLiteral("tryIt")};
            for (SetupStep step : setupstep::allCases) {
                tour.view()->setStep(step);
                save(camera, tour.panel(), QStringLiteral("onboarding-") + steps[int(step)]);
            }
            canPostEvents = true;
            scheduler.advance(PermissionStatusStore::refreshInterval);
            save(camera, tour.panel(), QStringLiteral("onboarding-tryIt-ready"));
        }
        {
            WhatsNewPanelController whatsNew({preferences, bundle, desktop, &theme});
            whatsNew.show(true);
            save(camera, whatsNew.panel(), QStringLiteral("whatsnew"));
        }
        {
            AboutPanelController about({bundle, desktop, &theme, {}});
            about.show();
            save(camera, about.panel(), QStringLiteral("about"));
        }
    }
    return camera.failed() ? 1 : 0;
}
