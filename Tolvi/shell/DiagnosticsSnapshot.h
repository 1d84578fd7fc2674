#pragma once

#include "Tolvi/shell/UsageMetricEvent.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace tolvi {

// Clip counts of the history; nothing of the clips themselves.
struct ClipboardItemStats {
    qint64 totalCount = 0;
    qint64 textCount = 0;      // every clip that is not an image (file references included)
    qint64 imageCount = 0;
    qint64 ocrImageCount = 0;  // images whose recognised text is not blank
    qint64 pinnedCount = 0;

    // Counts one clip.
    void add(bool isImage, const std::optional<QString>& recognizedText, bool isPinned);

    friend bool operator==(const ClipboardItemStats&, const ClipboardItemStats&) = default;
};

// Whether the history file is on disk and how large it is.
struct HistoryFileSnapshot {
    bool exists = false;
    std::optional<qint64> byteCount;

    // Looks at the file at the given path; never fails.
    static HistoryFileSnapshot of(const QString& filePath);

    friend bool operator==(const HistoryFileSnapshot&, const HistoryFileSnapshot&) = default;
};

// The paste service's description of the processes involved in pasting: application name,
// identifier and process id of each, when known.
struct PasteTargetDiagnostics {
    std::optional<QString> selectedTargetApplication;
    std::optional<QString> frontmostApplication;

    friend bool operator==(const PasteTargetDiagnostics&, const PasteTargetDiagnostics&) = default;
};

// Facts about the running system.
struct SystemFacts {
    QString operatingSystemVersion;
    qint64 processorCount = 0;
    bool isSandboxed = false;

    // Read from this process: distribution and kernel, processor count, and whether the
    // program runs in a Flatpak or Snap sandbox.
    static SystemFacts current();
};

// Everything the diagnostics report says, gathered once per export.
struct DiagnosticsSnapshot {
    QDateTime generatedAt;
    QString appVersion;
    QString appBuild;
    QString bundleIdentifier;
    QString distributionChannel;
    bool aiRewriteEnabled = false;
    bool aiEndpointConfigured = false;
    bool automaticPasteAllowed = false;
    QString pastePermissionSettings;
    std::optional<PasteTargetDiagnostics> pasteTargetDiagnostics;
    bool clipboardMonitoringEnabled = false;
    bool capturesText = false;
    bool capturesImages = false;
    bool hidesWindowsFromScreenCapture = false;
    QString historyLimit;      // the title of the history limit, e.g. "50 recent items"
    bool globalShortcutEnabled = false;
    QString globalShortcut;    // the display name of the shortcut
    std::optional<QString> completedSetupVersion;
    qint64 exclusionCount = 0;
    qint64 pinboardCount = 0;
    QList<UsageMetricCounter> usageCounters;
    qint64 usageTotalCount = 0;
    std::optional<QDateTime> usageLastRecordedAt;
    std::optional<QDateTime> usageLastResetAt;
    ClipboardItemStats itemStats;
    HistoryFileSnapshot historyFile;
    QString operatingSystemVersion;
    qint64 processorCount = 0;
    bool isSandboxed = false;

    // The dates in ISO 8601 (UTC, whole seconds), or "none".
    QString usageLastRecordedDescription() const;
    QString usageLastResetDescription() const;
};

} // namespace tolvi
