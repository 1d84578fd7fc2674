#pragma once

#include "Tolvi/design/DesignColor.h"
#include "Tolvi/shell/PreferenceValues.h"
#include "Tolvi/shell/UsageMetricEvent.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <utility>

namespace tolvi {

// The four sections of the settings window, in sidebar order.
enum class SettingsSection {
    general,
    capture,
    exclusions,
    privacy,
};

namespace settingssection {
inline constexpr std::array<SettingsSection, 4> allCases = {SettingsSection::general, SettingsSection::capture,
                                                            SettingsSection::exclusions, SettingsSection::privacy};
QString rawValue(SettingsSection section);
std::optional<SettingsSection> fromRawValue(QStringView raw);
QString title(SettingsSection section);
QString systemImage(SettingsSection section);
QString subtitle(SettingsSection section);
} // namespace settingssection

// A one-line state with an explanation, as a status line shows it.
struct StatusPresentation {
    QString title;
    QString detail;
    QString systemImage;
    DesignColor tint;
};

// The texts the settings sections derive from the stores.
namespace SettingsPresentation {

// The read-only rows of the keyboard list: title and keys, for the chosen history shortcut.
QList<std::pair<QString, QString>> keyboardRows(GlobalShortcutPreset shortcut);
// The compact panel's global chord that goes with a history shortcut.
QString compactShortcut(GlobalShortcutPreset shortcut);
// The badge of the global shortcut: its keys, or "Off".
QString currentShortcutBadge(bool enabled, GlobalShortcutPreset shortcut);

// Whether new screenshots are scanned for text: only while recording, image capture and the
// exclusion list allow capture at all.
StatusPresentation ocrStatus(bool isRecording, bool capturesImages, bool isCaptureBlocked);
// The warning shown while neither text nor images are captured.
StatusPresentation noClipTypesStatus();

// "0 items", "1234 items": the plain count of clips held now.
QString storedItems(qsizetype count);
// "No excluded apps" or "<n> excluded apps".
QString exclusionSummaryTitle(qsizetype count);

// unavailable: what the user can do where no keystroke can be sent (PermissionStatusStore::Texts's
// unavailableStatus).
StatusPresentation permissionStatus(bool canPostEvents, const QString& unavailable);

// "No usage counted yet" or "<n> local actions counted".
QString usageSummaryTitle(qint64 total);
// The most used event by count, ties broken by title; the invitation while nothing is counted.
QString usageSummaryDetail(const QList<UsageMetricCounter>& counters);

} // namespace SettingsPresentation

} // namespace tolvi
