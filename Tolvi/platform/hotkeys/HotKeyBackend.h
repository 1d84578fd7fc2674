#pragma once

#include "Tolvi/platform/hotkeys/HotKeyChord.h"

#include <QObject>

namespace tolvi {

// The system service behind global hot keys. Statuses are 0 for success and
// otherwise an error code of the backend (on X11 the X error code, so 10 -
// BadAccess - means another client already holds the chord).
class HotKeyBackend : public QObject {
    Q_OBJECT
public:
    using Status = int;
    static constexpr Status NoError = 0;
    static constexpr Status NoDisplay = -1;  // no X11 connection to register on
    static constexpr Status NoKeyCode = -2;  // the keyboard map has no key for the chord

    using QObject::QObject;
    ~HotKeyBackend() override;

    // Makes sure hot-key presses reach this backend; called before the first registration.
    virtual Status installHandler() = 0;
    virtual Status registerHotKey(const HotKeyChord& chord, const HotKeyID& id) = 0;
    virtual void unregisterHotKey(const HotKeyID& id) = 0;

signals:
    // A registered chord was pressed (auto-repeat already filtered out). Emitted on the main thread.
    void hotKeyPressed(tolvi::HotKeyID id);
};

} // namespace tolvi
