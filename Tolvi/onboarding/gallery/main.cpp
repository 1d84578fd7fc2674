// Shows each step of the onboarding tour, the What's New panel and the About panel and saves
// them in the light and dark themes as PNG files:
//   TolviOnboardingScreenshots <output folder>
// onboarding-<step>-<light|dark>.png (the last step also with automatic paste ready),
// whatsnew-<light|dark>.png and about-<light|dark>.png.
#include "Tolvi/design/TolviTheme.h"
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
#include <QDir>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

namespace {

using namespace tolvi;

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* window, const QDir& folder, const QString& name)
{
    settle(250);
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    if (window->grab().save(path, "PNG"))
        return true;
    QTextStream(stderr) << "Could not write " << path << "\n";
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: TolviOnboardingScreenshots <output folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path()))
        return 1;

    InMemoryKeyValueSettings settings;
    PreferencesStore preferences(settings);
    InMemoryBundleInfo bundle({{QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("0.1.0")},
                               {QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("1")}});
    FakeDesktopWorkspace desktop;
    ManualScheduler scheduler;
    bool canPostEvents = false;
    PermissionStatusStore permission([&canPostEvents] { return canPostEvents; }, scheduler);

    bool ok = true;
    const struct {
        QString name;
        ThemeAppearance appearance;
    } themes[] = {{QStringLiteral("light"), ThemeAppearance::light}, {QStringLiteral("dark"), ThemeAppearance::dark}};
    for (const auto& entry : themes) {
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
                ok = save(tour.panel(), folder, QStringLiteral("onboarding-%1-%2").arg(steps[int(step)], entry.name))
                     && ok;
            }
            canPostEvents = true;
            scheduler.advance(PermissionStatusStore::refreshInterval);
            ok = save(tour.panel(), folder, QStringLiteral("onboarding-tryIt-ready-%1").arg(entry.name)) && ok;
        }
        {
            WhatsNewPanelController whatsNew({preferences, bundle, desktop, &theme});
            whatsNew.show(true);
            ok = save(whatsNew.panel(), folder, QStringLiteral("whatsnew-%1").arg(entry.name)) && ok;
        }
        {
            AboutPanelController about({bundle, desktop, &theme, {}});
            about.show();
            ok = save(about.panel(), folder, QStringLiteral("about-%1").arg(entry.name)) && ok;
        }
    }
    return ok ? 0 : 1;
}
