#pragma once

#include "Tolvi/shell/PreferenceValues.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tolvi {

class PreferencesStore;

// Carries later changes of three groups of preferences to the running services through
// callbacks: capture on or off, hiding windows from screen capture, and the global hot keys.
// Creating the binding calls nothing; every later assignment calls its callback, also when
// the value did not change. The callbacks run inside the assignment, before the store holds
// the new value, so they must use their arguments. Destroying the binding ends the calls.
class PreferencesRuntimeBinding {
public:
    using MonitoringChanged = std::function<void(bool enabled)>;
    using ScreenCapturePrivacyChanged = std::function<void(bool hidesWindows)>;
    using HotKeyChanged = std::function<void(bool enabled, GlobalShortcutPreset shortcut)>;

    PreferencesRuntimeBinding(PreferencesStore& preferences, MonitoringChanged monitoringChanged,
                              ScreenCapturePrivacyChanged screenCapturePrivacyChanged, HotKeyChanged hotKeyChanged);
    ~PreferencesRuntimeBinding();

    PreferencesRuntimeBinding(const PreferencesRuntimeBinding&) = delete;
    PreferencesRuntimeBinding& operator=(const PreferencesRuntimeBinding&) = delete;

private:
    // Owns the connections: they end with it.
    std::unique_ptr<QObject> m_subscriptions;
};

} // namespace tolvi
