#include "Tolvi/shell/DiagnosticsExporter.h"

#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/featureflags/FeatureFlags.h"
#include "TolviCore/model/ByteCountFormatter.h"

#include <QLocale>
#include <QStringList>

namespace tolvi::DiagnosticsExporter {

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString onOff(bool value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

QString number(qint64 value)
{
    return QString::number(value);
}

QString historyFileDescription(const HistoryFileSnapshot& file)
{
    if (!file.exists)
        return QStringLiteral("missing");
    if (!file.byteCount)
        return QStringLiteral("exists");
    return QStringLiteral("exists, ") + ByteCountFormatter::fileStyle(*file.byteCount, QLocale::c());
}

} // namespace

DiagnosticsSnapshot makeSnapshot(const Clock& clock, const BundleInfo& bundle, const FeatureFlags& featureFlags,
                                 const PreferencesStore& preferences, const UsageMetricsStore& usage,
                                 const DiagnosticsServiceFacts& services, const SystemFacts& system)
{
    DiagnosticsSnapshot snapshot;
    snapshot.generatedAt = clock.now();
    snapshot.appVersion = bundle.value(QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("0.1.0"));
    snapshot.appBuild = bundle.value(QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("1"));
    const QString identifier = bundle.bundleIdentifier();
    snapshot.bundleIdentifier = identifier.isEmpty() ? QStringLiteral("unknown") : identifier;
    snapshot.distributionChannel = distributionchannel::rawValue(featureFlags.distributionChannel());
    snapshot.aiRewriteEnabled = featureFlags.aiRewriteEnabled();
    // Any value counts, even an empty one.
    snapshot.aiEndpointConfigured = bundle.contains(QString::fromLatin1(bundlekey::aiEndpointURL));
    snapshot.automaticPasteAllowed = services.automaticPasteAllowed;
    snapshot.pastePermissionSettings = services.pastePermissionSettings;
    snapshot.pasteTargetDiagnostics = services.pasteTarget;

    snapshot.clipboardMonitoringEnabled = preferences.isClipboardMonitoringEnabled();
    snapshot.capturesText = preferences.capturesText();
    snapshot.capturesImages = preferences.capturesImages();
    snapshot.hidesWindowsFromScreenCapture = preferences.hidesWindowsFromScreenCapture();
    snapshot.historyLimit = historylimit::title(preferences.historyLimit());
    snapshot.globalShortcutEnabled = preferences.isGlobalHotKeyEnabled();
    snapshot.globalShortcut = globalshortcut::displayName(preferences.globalShortcut());
    snapshot.completedSetupVersion = preferences.completedSetupVersion();

    snapshot.exclusionCount = services.exclusionCount;
    snapshot.pinboardCount = services.pinboardCount;
    snapshot.usageCounters = usage.counters();
    snapshot.usageTotalCount = usage.totalCount();
    snapshot.usageLastRecordedAt = usage.lastRecordedAt();
    snapshot.usageLastResetAt = usage.lastResetAt();
    snapshot.itemStats = services.itemStats;
    snapshot.historyFile = services.historyFile;

    snapshot.operatingSystemVersion = system.operatingSystemVersion;
    snapshot.processorCount = system.processorCount;
    snapshot.isSandboxed = system.isSandboxed;
    return snapshot;
}

QString makeReport(const DiagnosticsSnapshot& s)
{
    const auto& target = s.pasteTargetDiagnostics;
    const QString selectedTarget = target && target->selectedTargetApplication ? *target->selectedTargetApplication
                                                                               : QStringLiteral("not selected");
    const QString foreground = target && target->frontmostApplication ? *target->frontmostApplication
                                                                      : QStringLiteral("not available");
    const QString generated = s.generatedAt.isValid() ? s.generatedAt.toUTC().toString(Qt::ISODate)
                                                      : QStringLiteral("none");

    QStringList lines;
    lines << QStringLiteral("Tolvi Diagnostics") << QStringLiteral("Generated: ") + generated << QString();

    lines << QStringLiteral("Privacy")
          << QStringLiteral("- This report contains no clipboard text, no copied images, no source application "
                            "names, no excluded application names and no AI request content. It includes only the "
                            "process details of the current paste target and of the foreground application, when "
                            "available.")
          << QString();

    lines << QStringLiteral("App") << QStringLiteral("- Version: ") + s.appVersion + QStringLiteral(" (") + s.appBuild + QLatin1Char(')')
          << QStringLiteral("- Bundle: ") + s.bundleIdentifier
          << QStringLiteral("- Distribution: ") + s.distributionChannel
          << QStringLiteral("- Sandboxed: ") + yesNo(s.isSandboxed) << QString();

    lines << QStringLiteral("System") << QStringLiteral("- Operating system: ") + s.operatingSystemVersion
          << QStringLiteral("- Processor count: ") + number(s.processorCount) << QString();

    lines << QStringLiteral("Features") << QStringLiteral("- AI actions enabled: ") + yesNo(s.aiRewriteEnabled)
          << QStringLiteral("- AI endpoint configured: ") + yesNo(s.aiEndpointConfigured)
          << QStringLiteral("- Automatic paste allowed (event posting): ") + yesNo(s.automaticPasteAllowed)
          << QStringLiteral("- Paste permission settings: ") + s.pastePermissionSettings
          << QStringLiteral("- Selected paste target: ") + selectedTarget
          << QStringLiteral("- Current foreground app: ") + foreground << QString();

    lines << QStringLiteral("Capture Settings")
          << QStringLiteral("- Clipboard monitoring: ") + onOff(s.clipboardMonitoringEnabled)
          << QStringLiteral("- Capture text: ") + onOff(s.capturesText)
          << QStringLiteral("- Capture images: ") + onOff(s.capturesImages)
          << QStringLiteral("- Hide windows from screen capture: ") + onOff(s.hidesWindowsFromScreenCapture)
          << QStringLiteral("- History limit: ") + s.historyLimit
          << QStringLiteral("- Global shortcut: ") + (s.globalShortcutEnabled ? s.globalShortcut : QStringLiteral("off"))
          << QStringLiteral("- Completed setup version: ") + s.completedSetupVersion.value_or(QStringLiteral("none"))
          << QString();

    lines << QStringLiteral("Local Data") << QStringLiteral("- Total clips: ") + number(s.itemStats.totalCount)
          << QStringLiteral("- Text clips: ") + number(s.itemStats.textCount)
          << QStringLiteral("- Image clips: ") + number(s.itemStats.imageCount)
          << QStringLiteral("- Images with OCR text: ") + number(s.itemStats.ocrImageCount)
          << QStringLiteral("- Pinned clips: ") + number(s.itemStats.pinnedCount)
          << QStringLiteral("- Pinboards: ") + number(s.pinboardCount)
          << QStringLiteral("- App exclusions: ") + number(s.exclusionCount)
          << QStringLiteral("- History file: ") + historyFileDescription(s.historyFile) << QString();

    lines << QStringLiteral("Local Usage Counters")
          << QStringLiteral("- Total counted actions: ") + number(s.usageTotalCount)
          << QStringLiteral("- Last counted action: ") + s.usageLastRecordedDescription()
          << QStringLiteral("- Last reset: ") + s.usageLastResetDescription();
    for (const UsageMetricCounter& counter : s.usageCounters)
        lines << QStringLiteral("- ") + usagemetric::title(counter.event) + QStringLiteral(": ") + number(counter.count);
    lines << QString();

    return lines.join(QLatin1Char('\n'));
}

QString proposedFileName(const QDateTime& localTime)
{
    return QStringLiteral("Tolvi-Diagnostics-") + localTime.toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".txt");
}

void showExportError(Alerts& alerts, const QString& errorDescription)
{
    AlertRequest request;
    request.style = AlertStyle::warning;
    request.message = QStringLiteral("Could not export diagnostics");
    request.informativeText = errorDescription;
    request.buttons = {QStringLiteral("OK")};
    request.defaultButton = 0;
    request.escapeButton = 0;
    alerts.run(request);
}

} // namespace tolvi::DiagnosticsExporter
