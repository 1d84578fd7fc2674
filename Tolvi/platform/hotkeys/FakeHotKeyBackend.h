#pragma once

#include "Tolvi/platform/hotkeys/HotKeyBackend.h"

#include <QList>
#include <QPair>

namespace tolvi {

// In-memory hot-key service for tests: chords can be marked as taken by
// "another application", registrations are recorded in order, presses are simulated.
class FakeHotKeyBackend : public HotKeyBackend {
    Q_OBJECT
public:
    using HotKeyBackend::HotKeyBackend;

    Status installHandler() override;
    Status registerHotKey(const HotKeyChord& chord, const HotKeyID& id) override;
    void unregisterHotKey(const HotKeyID& id) override;

    void press(const HotKeyID& id) { emit hotKeyPressed(id); }

    Status handlerStatus = NoError;
    QList<HotKeyChord> takenByOthers;
    QList<QPair<HotKeyID, HotKeyChord>> registered;  // currently registered, in registration order
    QList<QString> calls;                            // "register <id>", "unregister <id>", "handler"
};

} // namespace tolvi
