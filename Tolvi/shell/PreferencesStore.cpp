#include "Tolvi/shell/PreferencesStore.h"

#include "Tolvi/platform/settings/KeyValueSettings.h"

namespace tolvi {

namespace {

// Every assignment goes the same way: aboutToChange(), the property's own signal with the new
// value, then the value itself. Saving it is the setter's part.
template <typename Value, typename Signal>
void assign(PreferencesStore& store, Signal changed, Value& field, const Value& value)
{
    Q_EMIT store.aboutToChange();
    Q_EMIT(store.*changed)(value);
    field = value;
}

} // namespace

PreferencesStore::PreferencesStore(KeyValueSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
    const std::optional<QString> appearanceText = m_settings.string(appearanceKey);
    m_appearance = appearanceText == QStringLiteral("dark") ? TolviAppearance::dark : TolviAppearance::light;

    m_isClipboardMonitoringEnabled = readBoolean(monitoringEnabledKey, true);
    m_capturesText = readBoolean(capturesTextKey, true);
    m_capturesImages = readBoolean(capturesImagesKey, true);
    m_hidesWindowsFromScreenCapture = readBoolean(hidesWindowsFromScreenCaptureKey, false);
    m_isGlobalHotKeyEnabled = readBoolean(hotKeyEnabledKey, true);

    if (const auto text = m_settings.string(historyLimitKey))
        m_historyLimit = historylimit::fromRawValue(*text).value_or(HistoryLimitPreference::unlimited);
    if (const auto text = m_settings.string(globalShortcutKey))
        m_globalShortcut = globalshortcut::fromRawValue(*text).value_or(GlobalShortcutPreset::controlOptionV);

    m_hasCompletedSetup = m_settings.boolean(hasCompletedSetupKey);

    // Assigned through the setters, so that a present value is saved back as text at once.
    setCompletedSetupVersion(m_settings.string(completedSetupVersionKey));
    setLastSeenReleaseNotesVersion(m_settings.string(lastSeenReleaseNotesVersionKey));
}

bool PreferencesStore::readBoolean(const QString& key, bool fallback) const
{
    // A present value keeps its reading even when it is not a Boolean ("abc" is false).
    if (!m_settings.contains(key))
        return fallback;
    return m_settings.boolean(key);
}

void PreferencesStore::saveOptionalString(const QString& key, const std::optional<QString>& value)
{
    if (value)
        m_settings.setString(key, *value);
    else
        m_settings.remove(key);
}

void PreferencesStore::setAppearance(TolviAppearance value)
{
    assign(*this, &PreferencesStore::appearanceChanged, m_appearance, value);
    m_settings.setString(appearanceKey, appearance::rawValue(value));
}

void PreferencesStore::setGlobalHotKeyError(const std::optional<QString>& value)
{
    assign(*this, &PreferencesStore::globalHotKeyErrorChanged, m_globalHotKeyError, value);
}

void PreferencesStore::setCapturePrivacyBlocked(bool value)
{
    assign(*this, &PreferencesStore::capturePrivacyBlockedChanged, m_isCapturePrivacyBlocked, value);
}

void PreferencesStore::setClipboardMonitoringEnabled(bool value)
{
    assign(*this, &PreferencesStore::clipboardMonitoringEnabledChanged, m_isClipboardMonitoringEnabled, value);
    m_settings.setBoolean(monitoringEnabledKey, value);
}

void PreferencesStore::setCapturesText(bool value)
{
    assign(*this, &PreferencesStore::capturesTextChanged, m_capturesText, value);
    m_settings.setBoolean(capturesTextKey, value);
}

void PreferencesStore::setCapturesImages(bool value)
{
    assign(*this, &PreferencesStore::capturesImagesChanged, m_capturesImages, value);
    m_settings.setBoolean(capturesImagesKey, value);
}

void PreferencesStore::setHidesWindowsFromScreenCapture(bool value)
{
    assign(*this, &PreferencesStore::hidesWindowsFromScreenCaptureChanged, m_hidesWindowsFromScreenCapture, value);
    m_settings.setBoolean(hidesWindowsFromScreenCaptureKey, value);
}

void PreferencesStore::setHistoryLimit(HistoryLimitPreference value)
{
    assign(*this, &PreferencesStore::historyLimitChanged, m_historyLimit, value);
    m_settings.setString(historyLimitKey, historylimit::rawValue(value));
}

void PreferencesStore::setGlobalHotKeyEnabled(bool value)
{
    assign(*this, &PreferencesStore::globalHotKeyEnabledChanged, m_isGlobalHotKeyEnabled, value);
    m_settings.setBoolean(hotKeyEnabledKey, value);
}

void PreferencesStore::setGlobalShortcut(GlobalShortcutPreset value)
{
    assign(*this, &PreferencesStore::globalShortcutChanged, m_globalShortcut, value);
    m_settings.setString(globalShortcutKey, globalshortcut::rawValue(value));
}

void PreferencesStore::setHasCompletedSetup(bool value)
{
    assign(*this, &PreferencesStore::hasCompletedSetupChanged, m_hasCompletedSetup, value);
    m_settings.setBoolean(hasCompletedSetupKey, value);
}

void PreferencesStore::setCompletedSetupVersion(const std::optional<QString>& value)
{
    assign(*this, &PreferencesStore::completedSetupVersionChanged, m_completedSetupVersion, value);
    saveOptionalString(completedSetupVersionKey, value);
}

void PreferencesStore::setLastSeenReleaseNotesVersion(const std::optional<QString>& value)
{
    assign(*this, &PreferencesStore::lastSeenReleaseNotesVersionChanged, m_lastSeenReleaseNotesVersion, value);
    saveOptionalString(lastSeenReleaseNotesVersionKey, value);
}

QString PreferencesStore::captureStatusTitle() const
{
    if (m_isCapturePrivacyBlocked)
        return QStringLiteral("Capture blocked");
    return m_isClipboardMonitoringEnabled ? QStringLiteral("Capture on") : QStringLiteral("Paused");
}

QString PreferencesStore::captureStatusDetail() const
{
    if (m_isCapturePrivacyBlocked)
        return QStringLiteral("Blocked because app exclusions could not be read. Open Settings, Exclusions to recover.");
    if (!m_isClipboardMonitoringEnabled)
        return QStringLiteral("Paused");
    return m_captureScopeNote.isEmpty() ? QStringLiteral("On") : QStringLiteral("On. ") + m_captureScopeNote;
}

bool PreferencesStore::shouldShowReleaseNotes(const QString& version) const
{
    if (!m_hasCompletedSetup)
        return false;
    return !m_lastSeenReleaseNotesVersion || *m_lastSeenReleaseNotesVersion != version;
}

} // namespace tolvi
