#include "Tolvi/shell/PreferencesRuntimeBinding.h"

#include "Tolvi/shell/PreferencesStore.h"

#include <QPointer>

namespace tolvi {

PreferencesRuntimeBinding::PreferencesRuntimeBinding(PreferencesStore& preferences, MonitoringChanged monitoringChanged,
                                                     ScreenCapturePrivacyChanged screenCapturePrivacyChanged,
                                                     HotKeyChanged hotKeyChanged)
    : m_subscriptions(std::make_unique<QObject>())
{
    QObject* context = m_subscriptions.get();
    if (monitoringChanged) {
        QObject::connect(&preferences, &PreferencesStore::clipboardMonitoringEnabledChanged, context,
                         [callback = std::move(monitoringChanged)](bool enabled) { callback(enabled); });
    }
    if (screenCapturePrivacyChanged) {
        QObject::connect(&preferences, &PreferencesStore::hidesWindowsFromScreenCaptureChanged, context,
                         [callback = std::move(screenCapturePrivacyChanged)](bool hides) { callback(hides); });
    }
    if (hotKeyChanged) {
        // Either half of the pair changing delivers the pair: the new half from the signal,
        // the other half as the store holds it (it is not the one changing).
        auto shared = std::make_shared<HotKeyChanged>(std::move(hotKeyChanged));
        QPointer<PreferencesStore> store(&preferences);
        QObject::connect(&preferences, &PreferencesStore::globalHotKeyEnabledChanged, context,
                         [shared, store](bool enabled) {
                             if (store)
                                 (*shared)(enabled, store->globalShortcut());
                         });
        QObject::connect(&preferences, &PreferencesStore::globalShortcutChanged, context,
                         [shared, store](GlobalShortcutPreset shortcut) {
                             if (store)
                                 (*shared)(store->isGlobalHotKeyEnabled(), shortcut);
                         });
    }
}

PreferencesRuntimeBinding::~PreferencesRuntimeBinding() = default;

} // namespace tolvi
