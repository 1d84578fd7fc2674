#pragma once

#include "Tolvi/shell/PreferenceValues.h"

#include <QObject>
#include <QString>

#include <optional>

namespace tolvi {

class KeyValueSettings;

// The user's preferences, read from the settings once at creation and written back on every
// assignment (also of an unchanged value). Two run-time flags, the hot-key error and the
// capture-blocked flag, are never saved. Main thread only.
//
// Change signals announce a change BEFORE the store holds the new value: an assignment emits
// aboutToChange(), then the property's own signal with the new value, then stores the value,
// then saves it. A receiver takes the new value from the signal's argument; reading the
// property back inside the slot still gives the old value.
class PreferencesStore : public QObject {
    Q_OBJECT

public:
    static inline const QString appearanceKey = QStringLiteral("tolvi.preferences.appearance");
    static inline const QString monitoringEnabledKey = QStringLiteral("tolvi.preferences.monitoringEnabled");
    static inline const QString capturesTextKey = QStringLiteral("tolvi.preferences.capturesText");
    static inline const QString capturesImagesKey = QStringLiteral("tolvi.preferences.capturesImages");
    static inline const QString hidesWindowsFromScreenCaptureKey =
        QStringLiteral("tolvi.preferences.hidesWindowsFromScreenCapture");
    static inline const QString historyLimitKey = QStringLiteral("tolvi.preferences.historyLimit");
    static inline const QString hotKeyEnabledKey = QStringLiteral("tolvi.preferences.hotKeyEnabled");
    static inline const QString globalShortcutKey = QStringLiteral("tolvi.preferences.globalShortcut");
    static inline const QString hasCompletedSetupKey = QStringLiteral("tolvi.preferences.hasCompletedSetup");
    static inline const QString completedSetupVersionKey = QStringLiteral("tolvi.preferences.completedSetupVersion");
    static inline const QString lastSeenReleaseNotesVersionKey =
        QStringLiteral("tolvi.preferences.lastSeenReleaseNotesVersion");

    // The settings must outlive the store.
    explicit PreferencesStore(KeyValueSettings& settings, QObject* parent = nullptr);

    TolviAppearance appearance() const { return m_appearance; }
    std::optional<QString> globalHotKeyError() const { return m_globalHotKeyError; }
    bool isCapturePrivacyBlocked() const { return m_isCapturePrivacyBlocked; }
    bool isClipboardMonitoringEnabled() const { return m_isClipboardMonitoringEnabled; }
    bool capturesText() const { return m_capturesText; }
    bool capturesImages() const { return m_capturesImages; }
    bool hidesWindowsFromScreenCapture() const { return m_hidesWindowsFromScreenCapture; }
    HistoryLimitPreference historyLimit() const { return m_historyLimit; }
    bool isGlobalHotKeyEnabled() const { return m_isGlobalHotKeyEnabled; }
    GlobalShortcutPreset globalShortcut() const { return m_globalShortcut; }
    bool hasCompletedSetup() const { return m_hasCompletedSetup; }
    std::optional<QString> completedSetupVersion() const { return m_completedSetupVersion; }
    std::optional<QString> lastSeenReleaseNotesVersion() const { return m_lastSeenReleaseNotesVersion; }

    void setAppearance(TolviAppearance value);
    void setGlobalHotKeyError(const std::optional<QString>& value);
    void setCapturePrivacyBlocked(bool value);
    void setClipboardMonitoringEnabled(bool value);
    void setCapturesText(bool value);
    void setCapturesImages(bool value);
    void setHidesWindowsFromScreenCapture(bool value);
    void setHistoryLimit(HistoryLimitPreference value);
    void setGlobalHotKeyEnabled(bool value);
    void setGlobalShortcut(GlobalShortcutPreset value);
    void setHasCompletedSetup(bool value);
    void setCompletedSetupVersion(const std::optional<QString>& value);
    void setLastSeenReleaseNotesVersion(const std::optional<QString>& value);

    // What capture cannot see in this session, said with the capture status (not stored; the
    // program sets it at start). Empty: capture sees every copy.
    void setCaptureScopeNote(const QString& note) { m_captureScopeNote = note; }
    QString captureScopeNote() const { return m_captureScopeNote; }

    // "Capture blocked", "Capture on" or "Paused".
    QString captureStatusTitle() const;
    // The longer form of the capture status for settings.
    QString captureStatusDetail() const;
    // True once setup is complete and the given release's notes have not been seen.
    bool shouldShowReleaseNotes(const QString& version) const;

Q_SIGNALS:
    // Before any property changes.
    void aboutToChange();
    void appearanceChanged(tolvi::TolviAppearance value);
    void globalHotKeyErrorChanged(const std::optional<QString>& value);
    void capturePrivacyBlockedChanged(bool value);
    void clipboardMonitoringEnabledChanged(bool value);
    void capturesTextChanged(bool value);
    void capturesImagesChanged(bool value);
    void hidesWindowsFromScreenCaptureChanged(bool value);
    void historyLimitChanged(tolvi::HistoryLimitPreference value);
    void globalHotKeyEnabledChanged(bool value);
    void globalShortcutChanged(tolvi::GlobalShortcutPreset value);
    void hasCompletedSetupChanged(bool value);
    void completedSetupVersionChanged(const std::optional<QString>& value);
    void lastSeenReleaseNotesVersionChanged(const std::optional<QString>& value);

private:
    bool readBoolean(const QString& key, bool fallback) const;
    void saveOptionalString(const QString& key, const std::optional<QString>& value);

    KeyValueSettings& m_settings;
    TolviAppearance m_appearance = TolviAppearance::light;
    std::optional<QString> m_globalHotKeyError;
    bool m_isCapturePrivacyBlocked = false;
    QString m_captureScopeNote;
    bool m_isClipboardMonitoringEnabled = true;
    bool m_capturesText = true;
    bool m_capturesImages = true;
    bool m_hidesWindowsFromScreenCapture = false;
    HistoryLimitPreference m_historyLimit = HistoryLimitPreference::unlimited;
    bool m_isGlobalHotKeyEnabled = true;
    GlobalShortcutPreset m_globalShortcut = GlobalShortcutPreset::controlOptionV;
    bool m_hasCompletedSetup = false;
    std::optional<QString> m_completedSetupVersion;
    std::optional<QString> m_lastSeenReleaseNotesVersion;
};

} // namespace tolvi
