#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/shell/AppFeatureFlags.h"
#include "Tolvi/shell/DiagnosticsExporter.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace tolvi;

namespace {

const QDateTime kGenerated = QDateTime::fromSecsSinceEpoch(1'772'357'400, Qt::UTC);  // 2026-03-01T09:30:00Z

DiagnosticsSnapshot fixedSnapshot()
{
    DiagnosticsSnapshot s;
    s.generatedAt = kGenerated;
    s.appVersion = QStringLiteral("0.1.8");
    s.appBuild = QStringLiteral("9");
    s.bundleIdentifier = QStringLiteral("Tolvi");
    s.distributionChannel = QStringLiteral("direct");
    s.aiRewriteEnabled = true;
    s.aiEndpointConfigured = false;
    s.automaticPasteAllowed = true;
    s.pastePermissionSettings = QStringLiteral("none on X11 (keystrokes go through the XTEST extension)");
    s.pasteTargetDiagnostics = PasteTargetDiagnostics{QStringLiteral("Text Editor [org.example.Editor] (PID 4242)"),
                                                      QStringLiteral("Terminal [org.example.Terminal] (PID 77)")};
    s.clipboardMonitoringEnabled = true;
    s.capturesText = true;
    s.capturesImages = false;
    s.hidesWindowsFromScreenCapture = false;
    s.historyLimit = QStringLiteral("1,000 recent items");
    s.globalShortcutEnabled = true;
    s.globalShortcut = QStringLiteral("Ctrl + Alt + V");
    s.completedSetupVersion = QStringLiteral("0.1.3-polished-tour");
    s.exclusionCount = 2;
    s.pinboardCount = 3;
    for (UsageMetricEvent event : usagemetric::allCases)
        s.usageCounters.append({event, 0});
    s.usageCounters[2].count = 12;  // pastes
    s.usageCounters[13].count = 1;  // first paste
    s.usageTotalCount = 13;
    s.usageLastRecordedAt = kGenerated.addSecs(-3600);
    s.usageLastResetAt = std::nullopt;
    s.itemStats = {10, 7, 3, 2, 4};
    s.historyFile = {true, 2'400'000};
    s.operatingSystemVersion = QStringLiteral("Debian GNU/Linux 12 (bookworm) (kernel 6.1.0)");
    s.processorCount = 8;
    s.isSandboxed = false;
    return s;
}

TEST(DiagnosticsReport, GoldenTextFromAFixedSnapshot)
{
    const QString expected = QStringLiteral(
        "Tolvi Diagnostics\n"
        "Generated: 2026-03-01T09:30:00Z\n"
        "\n"
        "Privacy\n"
        "- This report contains no clipboard text, no copied images, no source application names, no excluded "
        "application names and no AI request content. It includes only the process details of the current paste "
        "target and of the foreground application, when available.\n"
        "\n"
        "App\n"
        "- Version: 0.1.8 (9)\n"
        "- Bundle: Tolvi\n"
        "- Distribution: direct\n"
        "- Sandboxed: no\n"
        "\n"
        "System\n"
        "- Operating system: Debian GNU/Linux 12 (bookworm) (kernel 6.1.0)\n"
        "- Processor count: 8\n"
        "\n"
        "Features\n"
        "- AI actions enabled: yes\n"
        "- AI endpoint configured: no\n"
        "- Automatic paste allowed (event posting): yes\n"
        "- Paste permission settings: none on X11 (keystrokes go through the XTEST extension)\n"
        "- Selected paste target: Text Editor [org.example.Editor] (PID 4242)\n"
        "- Current foreground app: Terminal [org.example.Terminal] (PID 77)\n"
        "\n"
        "Capture Settings\n"
        "- Clipboard monitoring: on\n"
        "- Capture text: on\n"
        "- Capture images: off\n"
        "- Hide windows from screen capture: off\n"
        "- History limit: 1,000 recent items\n"
        "- Global shortcut: Ctrl + Alt + V\n"
        "- Completed setup version: 0.1.3-polished-tour\n"
        "\n"
        "Local Data\n"
        "- Total clips: 10\n"
        "- Text clips: 7\n"
        "- Image clips: 3\n"
        "- Images with OCR text: 2\n"
        "- Pinned clips: 4\n"
        "- Pinboards: 3\n"
        "- App exclusions: 2\n"
        "- History file: exists, 2.4 MB\n"
        "\n"
        "Local Usage Counters\n"
        "- Total counted actions: 13\n"
        "- Last counted action: 2026-03-01T08:30:00Z\n"
        "- Last reset: none\n"
        "- Full window opened: 0\n"
        "- Compact Mode opened: 0\n"
        "- Pastes: 12\n"
        "- Copies: 0\n"
        "- Rich previews: 0\n"
        "- Quick edits saved: 0\n"
        "- Snippets created: 0\n"
        "- Board changes: 0\n"
        "- Update checks: 0\n"
        "- Quick Start opened: 0\n"
        "- Quick Start completed: 0\n"
        "- Onboarding demo started: 0\n"
        "- First Compact Mode: 0\n"
        "- First paste: 1\n"
        "- First snippet: 0\n"
        "- First rich preview: 0\n"
        "- Screenshot demo prepared: 0\n"
        "- Feedback opened: 0\n"
        "- Diagnostics exported: 0\n");
    EXPECT_EQ(DiagnosticsExporter::makeReport(fixedSnapshot()).toStdString(), expected.toStdString());
}

TEST(DiagnosticsReport, MissingValuesUseTheirFallbackWords)
{
    DiagnosticsSnapshot s = fixedSnapshot();
    s.pasteTargetDiagnostics.reset();
    s.globalShortcutEnabled = false;
    s.completedSetupVersion.reset();
    s.usageLastRecordedAt.reset();
    s.historyFile = {false, std::nullopt};
    s.isSandboxed = true;
    const QString report = DiagnosticsExporter::makeReport(s);
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Selected paste target: not selected\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Current foreground app: not available\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Global shortcut: off\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Completed setup version: none\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Last counted action: none\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- History file: missing\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Sandboxed: yes\n")));
    EXPECT_TRUE(report.endsWith(QStringLiteral("- Diagnostics exported: 0\n")));

    // A target value with only one side known.
    s.pasteTargetDiagnostics = PasteTargetDiagnostics{std::nullopt, QStringLiteral("Files [org.example.Files] (PID 9)")};
    s.historyFile = {true, std::nullopt};
    const QString partial = DiagnosticsExporter::makeReport(s);
    EXPECT_TRUE(partial.contains(QStringLiteral("\n- Selected paste target: not selected\n")));
    EXPECT_TRUE(partial.contains(QStringLiteral("\n- Current foreground app: Files [org.example.Files] (PID 9)\n")));
    EXPECT_TRUE(partial.contains(QStringLiteral("\n- History file: exists\n")));
}

TEST(DiagnosticsReport, ItemStatsCountBlankRecognisedTextAsNoText)
{
    ClipboardItemStats stats;
    EXPECT_EQ(stats, (ClipboardItemStats{0, 0, 0, 0, 0}));
    stats.add(false, std::nullopt, true);
    stats.add(true, QStringLiteral(" \n\t "), false);
    stats.add(true, QStringLiteral("Invoice 42"), true);
    stats.add(true, std::nullopt, false);
    EXPECT_EQ(stats, (ClipboardItemStats{4, 1, 3, 1, 2}));
}

TEST(DiagnosticsReport, HistoryFileSnapshotReadsTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    EXPECT_EQ(HistoryFileSnapshot::of(path), (HistoryFileSnapshot{false, std::nullopt}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1234, 'x'));
    file.close();
    EXPECT_EQ(HistoryFileSnapshot::of(path), (HistoryFileSnapshot{true, 1234}));
    EXPECT_EQ(HistoryFileSnapshot::of(QString()), (HistoryFileSnapshot{false, std::nullopt}));
}

class DiagnosticsFromStores : public ::testing::Test {
protected:
    InMemoryKeyValueSettings settings;
    FakeClock clock{kGenerated};
    InMemoryBundleInfo bundle;
    PreferencesStore preferences{settings};
    UsageMetricsStore usage{settings, clock};
    SystemFacts system{QStringLiteral("Test OS 1"), 4, false};
};

TEST_F(DiagnosticsFromStores, SnapshotTakesBuildPreferencesAndUsage)
{
    bundle.set(QString::fromLatin1(bundlekey::distributionChannel), QStringLiteral("development"));
    bundle.set(QString::fromLatin1(bundlekey::aiEndpointURL), QString());  // empty still counts
    preferences.setHistoryLimit(HistoryLimitPreference::fifty);
    preferences.setGlobalShortcut(GlobalShortcutPreset::optionSpace);
    preferences.setCapturesImages(false);
    usage.recordWithMilestone(UsageMetricEvent::pastePerformed);

    DiagnosticsServiceFacts services;
    services.exclusionCount = 5;
    services.pinboardCount = 1;
    const DiagnosticsSnapshot s = DiagnosticsExporter::makeSnapshot(
        clock, bundle, AppFeatureFlags::current(bundle), preferences, usage, services, system);
    EXPECT_EQ(s.generatedAt, kGenerated);
    EXPECT_EQ(s.appVersion, QStringLiteral("0.1.0"));  // no version in this build
    EXPECT_EQ(s.appBuild, QStringLiteral("1"));
    EXPECT_EQ(s.distributionChannel, QStringLiteral("development"));
    EXPECT_TRUE(s.aiRewriteEnabled);
    EXPECT_TRUE(s.aiEndpointConfigured);
    EXPECT_EQ(s.historyLimit, QStringLiteral("50 recent items"));
    EXPECT_EQ(s.globalShortcut, QStringLiteral("Alt + Space"));
    EXPECT_FALSE(s.capturesImages);
    EXPECT_EQ(s.usageTotalCount, 2);
    EXPECT_EQ(s.usageLastRecordedAt, kGenerated);
    EXPECT_EQ(s.exclusionCount, 5);
    EXPECT_EQ(s.operatingSystemVersion, QStringLiteral("Test OS 1"));

    bundle.remove(QString::fromLatin1(bundlekey::aiEndpointURL));
    bundle.set(QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("2.0"));
    const DiagnosticsSnapshot again = DiagnosticsExporter::makeSnapshot(
        clock, bundle, AppFeatureFlags::current(bundle), preferences, usage, services, system);
    EXPECT_FALSE(again.aiEndpointConfigured);
    EXPECT_EQ(again.appVersion, QStringLiteral("2.0"));
}

TEST_F(DiagnosticsFromStores, NoClipContentReachesTheReport)
{
    // Everything the user copied or named stays out: only counts of it are taken.
    const QStringList secrets = {QStringLiteral("hunter2-password"), QStringLiteral("Quarterly invoice OCR text"),
                                 QStringLiteral("secret-board-name"), QStringLiteral("org.example.ExcludedApp"),
                                 QStringLiteral("private-file-name")};
    ClipboardItemStats stats;
    stats.add(false, std::nullopt, true);
    stats.add(true, secrets[1], false);
    QTemporaryDir dir;
    const QString historyPath = dir.filePath(secrets[4] + QStringLiteral(".json"));
    QFile file(historyPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(secrets.join(QLatin1Char('\n')).toUtf8());
    file.close();

    DiagnosticsServiceFacts services;
    services.itemStats = stats;
    services.historyFile = HistoryFileSnapshot::of(historyPath);
    services.exclusionCount = 1;
    services.pinboardCount = 1;
    const QString report = DiagnosticsExporter::makeReport(DiagnosticsExporter::makeSnapshot(
        clock, bundle, AppFeatureFlags::current(bundle), preferences, usage, services, system));
    for (const QString& secret : secrets)
        EXPECT_FALSE(report.contains(secret, Qt::CaseInsensitive)) << secret.toStdString();
    EXPECT_FALSE(report.contains(dir.path()));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Total clips: 2\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- Images with OCR text: 1\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n- History file: exists, ")));
}

TEST(DiagnosticsExporter, FileNameAndErrorAlert)
{
    const QDateTime local(QDate(2026, 3, 1), QTime(9, 5, 7));
    EXPECT_EQ(DiagnosticsExporter::proposedFileName(local), QStringLiteral("Tolvi-Diagnostics-20260301-090507.txt"));

    FakeAlerts alerts;
    DiagnosticsExporter::showExportError(alerts, QStringLiteral("Permission denied"));
    ASSERT_EQ(alerts.requests.size(), 1);
    const AlertRequest& request = alerts.requests.first();
    EXPECT_EQ(request.style, AlertStyle::warning);
    EXPECT_EQ(request.message, QStringLiteral("Could not export diagnostics"));
    EXPECT_EQ(request.informativeText, QStringLiteral("Permission denied"));
    EXPECT_EQ(request.buttons, QStringList{QStringLiteral("OK")});
}

TEST(DiagnosticsExporter, SystemFactsDescribeThisMachine)
{
    const SystemFacts facts = SystemFacts::current();
    EXPECT_FALSE(facts.operatingSystemVersion.isEmpty());
    EXPECT_GE(facts.processorCount, 1);
}

} // namespace
