#include "Tolvi/platform/hotkeys/GlobalHotKey.h"

#include <QLoggingCategory>

namespace tolvi {

Q_LOGGING_CATEGORY(lcHotKeys, "tolvi.hotkeys")

GlobalHotKey::GlobalHotKey(HotKeyBackend& backend, HotKeyID hotKeyID, std::function<void()> action,
                           QObject* parent)
    : QObject(parent), m_backend(&backend), m_hotKeyID(hotKeyID), m_action(std::move(action))
{
}

GlobalHotKey::~GlobalHotKey()
{
    if (m_backend && m_hasRegistration)
        m_backend->unregisterHotKey(m_hotKeyID);
    if (m_handler)
        disconnect(m_handler);
}

void GlobalHotKey::install(const HotKeyChord& chord)
{
    if (!m_backend || m_hasRegistration || m_handler)
        return;  // a hot key is installed at most once

    const HotKeyBackend::Status handlerStatus = m_backend->installHandler();
    if (handlerStatus != HotKeyBackend::NoError) {
        qCWarning(lcHotKeys).noquote() << "Tolvi failed to install hotkey handler: " + QString::number(handlerStatus);
        return;
    }
    m_handler = connect(m_backend, &HotKeyBackend::hotKeyPressed, this, &GlobalHotKey::handle);

    const HotKeyBackend::Status status = m_backend->registerHotKey(chord, m_hotKeyID);
    if (status == HotKeyBackend::NoError) {
        m_hasRegistration = true;
        m_isRegistered = true;
    } else {
        qCWarning(lcHotKeys).noquote() << "Tolvi failed to register global hotkey: " + QString::number(status);
    }
}

void GlobalHotKey::handle(const HotKeyID& pressed)
{
    if (!(pressed == m_hotKeyID))
        return;  // another hot key's press: leave it to its own handler
    // The action runs after the event has been answered, never inside the handler.
    QMetaObject::invokeMethod(
        this, [this] {
            if (m_action)
                m_action();
        },
        Qt::QueuedConnection);
}

} // namespace tolvi
