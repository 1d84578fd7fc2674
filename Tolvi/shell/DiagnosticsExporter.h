#pragma once

#include "Tolvi/shell/DiagnosticsSnapshot.h"

namespace tolvi {

class Alerts;
class BundleInfo;
class Clock;
class FeatureFlags;
class PreferencesStore;
class UsageMetricsStore;

// What the diagnostics report needs of services outside the shell. The composition root
// fills it at export time:
// - automaticPasteAllowed: the permission store's event-posting answer, refreshed through
//   its probe first;
// - pasteTarget: the paste service's description of the selected target and the
//   foreground application (nothing when there is none);
// - exclusionCount: the number of excluded applications (never their names);
// - pinboardCount: the number of boards in the history store;
// - itemStats: ClipboardItemStats::add() for every clip of the history store;
// - historyFile: HistoryFileSnapshot::of() the history file's default path.
struct DiagnosticsServiceFacts {
    bool automaticPasteAllowed = false;
    // Where the session keeps the permission to type (PermissionStatusStore::Texts).
    QString pastePermissionSettings;
    std::optional<PasteTargetDiagnostics> pasteTarget;
    qint64 exclusionCount = 0;
    qint64 pinboardCount = 0;
    ClipboardItemStats itemStats;
    HistoryFileSnapshot historyFile;
};

// The diagnostics report: a plain-text description of the build, the system, the settings
// and the local counts, with nothing the user copied in it.
namespace DiagnosticsExporter {

DiagnosticsSnapshot makeSnapshot(const Clock& clock, const BundleInfo& bundle, const FeatureFlags& featureFlags,
                                 const PreferencesStore& preferences, const UsageMetricsStore& usage,
                                 const DiagnosticsServiceFacts& services,
                                 const SystemFacts& system = SystemFacts::current());

// The report text: lines joined by line feeds, ending with a line feed.
QString makeReport(const DiagnosticsSnapshot& snapshot);

// "Tolvi-Diagnostics-yyyyMMdd-HHmmss.txt" for the given local time.
QString proposedFileName(const QDateTime& localTime);

// Tells the user the report could not be written, with the error's description.
void showExportError(Alerts& alerts, const QString& errorDescription);

} // namespace DiagnosticsExporter
} // namespace tolvi
