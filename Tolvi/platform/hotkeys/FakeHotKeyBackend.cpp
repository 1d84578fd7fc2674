#include "Tolvi/platform/hotkeys/FakeHotKeyBackend.h"

namespace tolvi {

HotKeyBackend::Status FakeHotKeyBackend::installHandler()
{
    calls << QStringLiteral("handler");
    return handlerStatus;
}

HotKeyBackend::Status FakeHotKeyBackend::registerHotKey(const HotKeyChord& chord, const HotKeyID& id)
{
    calls << QStringLiteral("register %1").arg(id.id);
    if (takenByOthers.contains(chord))
        return 10;
    for (const auto& entry : registered) {
        if (entry.second == chord)
            return 10;
    }
    registered.append({id, chord});
    return NoError;
}

void FakeHotKeyBackend::unregisterHotKey(const HotKeyID& id)
{
    calls << QStringLiteral("unregister %1").arg(id.id);
    registered.removeIf([&](const auto& entry) { return entry.first == id; });
}

} // namespace tolvi
