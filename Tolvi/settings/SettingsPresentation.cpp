#include "Tolvi/settings/SettingsPresentation.h"

#include <algorithm>
#include <limits>

namespace tolvi {

using TolviDesign::ColorToken;

namespace {

// The system green of a state that is fine.
const QColor systemGreen(0x34, 0xc7, 0x59);

struct SectionInfo {
    const char* raw;
    const char* title;
    const char* symbol;
    const char* subtitle;
};

SectionInfo info(SettingsSection section)
{
    switch (section) {
    case SettingsSection::general:
        return {"general", "General", "gearshape", "Shortcut and window behavior"};
    case SettingsSection::capture:
        return {"capture", "Capture", "doc.on.clipboard", "History, screenshots, and OCR"};
    case SettingsSection::exclusions:
        return {"exclusions", "Exclusions", "hand.raised", "Apps Tolvi should ignore"};
    case SettingsSection::privacy:
        return {"privacy", "Privacy", "lock.shield", "Storage and permissions"};
    }
    return info(SettingsSection::general);
}

} // namespace

namespace settingssection {

QString rawValue(SettingsSection section) { return QString::fromLatin1(info(section).raw); }
QString title(SettingsSection section) { return QString::fromLatin1(info(section).title); }
QString systemImage(SettingsSection section) { return QString::fromLatin1(info(section).symbol); }
QString subtitle(SettingsSection section) { return QString::fromLatin1(info(section).subtitle); }

std::optional<SettingsSection> fromRawValue(QStringView raw)
{
    for (SettingsSection section : allCases) {
        if (raw == QLatin1String(info(section).raw))
            return section;
    }
    return std::nullopt;
}

} // namespace settingssection

namespace SettingsPresentation {

QString compactShortcut(GlobalShortcutPreset shortcut)
{
    // The same chords the composition root registers for the compact panel.
    return globalshortcut::displayName(shortcut == GlobalShortcutPreset::commandShiftV
                                           ? GlobalShortcutPreset::controlOptionV
                                           : GlobalShortcutPreset::commandShiftV);
}

QString currentShortcutBadge(bool enabled, GlobalShortcutPreset shortcut)
{
    return enabled ? globalshortcut::displayName(shortcut) : QStringLiteral("Off");
}

QList<std::pair<QString, QString>> keyboardRows(GlobalShortcutPreset shortcut)
{
    return {
        {QStringLiteral("Open full history"), globalshortcut::displayName(shortcut)},
        {QStringLiteral("Open Compact Mode"), compactShortcut(shortcut)},
        {QStringLiteral("Move selection"), QStringLiteral("Up / Down")},
        {QStringLiteral("Preview selected clip"), QStringLiteral("Space outside text fields")},
        {QStringLiteral("Paste selected clip in History"), QStringLiteral("Return outside text fields")},
        {QStringLiteral("Move focus in History"), QStringLiteral("Tab")},
        {QStringLiteral("Open actions in Compact Mode"), QStringLiteral("Return")},
        {QStringLiteral("Edit text in Compact Mode"), QStringLiteral("Ctrl + E")},
        {QStringLiteral("Save edited text"), QStringLiteral("Ctrl + S")},
        {QStringLiteral("Paste edited text"), QStringLiteral("Ctrl + Return")},
        {QStringLiteral("Close or go back"), QStringLiteral("Escape")},
    };
}

StatusPresentation ocrStatus(bool isRecording, bool capturesImages, bool isCaptureBlocked)
{
    const QString paused = QStringLiteral("OCR is paused");
    const QString symbol = QStringLiteral("pause.fill");
    if (!isRecording)
        return {paused, QStringLiteral("Recording is off, so new screenshots are not scanned."), symbol,
                ColorToken::amber};
    if (!capturesImages)
        return {paused, QStringLiteral("Image capture is off, so new screenshots are not scanned."), symbol,
                ColorToken::amber};
    if (isCaptureBlocked)
        return {paused, QStringLiteral("Capture is blocked until app exclusions can be read."), symbol,
                ColorToken::amber};
    return {QStringLiteral("OCR is active"), QStringLiteral("New copied screenshots are scanned on this computer."),
            QStringLiteral("checkmark.circle.fill"), systemGreen};
}

StatusPresentation noClipTypesStatus()
{
    return {QStringLiteral("No clip types selected"),
            QStringLiteral("Turn on text or image capture to add new history items."),
            QStringLiteral("exclamationmark.triangle"), ColorToken::amber};
}

QString storedItems(qsizetype count)
{
    return QString::number(count) + QStringLiteral(" items");
}

QString exclusionSummaryTitle(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("No excluded apps");
    return QString::number(count) + QStringLiteral(" excluded apps");
}

StatusPresentation permissionStatus(bool canPostEvents, const QString& unavailable)
{
    if (canPostEvents)
        return {QStringLiteral("Automatic paste is enabled"),
                QStringLiteral("Tolvi can paste selected clips into the front app."),
                QStringLiteral("checkmark.circle.fill"), systemGreen};
    return {QStringLiteral("Permission is needed for auto-paste"),
            unavailable,
            QStringLiteral("accessibility"), ColorToken::amber};
}

QString usageSummaryTitle(qint64 total)
{
    if (total == 0)
        return QStringLiteral("No usage counted yet");
    return QString::number(total) + QStringLiteral(" local actions counted");
}

QString usageSummaryDetail(const QList<UsageMetricCounter>& counters)
{
    qint64 total = 0;
    QList<UsageMetricCounter> used;
    for (const UsageMetricCounter& counter : counters) {
        if (counter.count >= 1) {
            used.append(counter);
            total = counter.count > std::numeric_limits<qint64>::max() - total ? std::numeric_limits<qint64>::max()
                                                                                : total + counter.count;
        }
    }
    if (total < 1)
        return QStringLiteral("Counts appear here as you use preview, snippets, paste, edit, boards, feedback, and "
                              "updates.");
    std::stable_sort(used.begin(), used.end(), [](const UsageMetricCounter& a, const UsageMetricCounter& b) {
        if (a.count != b.count)
            return a.count > b.count;
        return usagemetric::title(a.event) < usagemetric::title(b.event);
    });
    if (used.isEmpty())
        return QStringLiteral("Counts are stored locally and can be reset at any time.");
    const UsageMetricCounter& first = used.first();
    return QStringLiteral("Most used: ") + usagemetric::title(first.event).toLower() + QStringLiteral(" (")
           + QString::number(first.count) + QStringLiteral(").");
}

} // namespace SettingsPresentation

} // namespace tolvi
