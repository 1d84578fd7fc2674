#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

namespace tolvi {

// Identity of one global hot key of the program: a signature shared by all of
// the program's hot keys and a small id per hot key.
struct HotKeyID {
    quint32 signature = 0;
    quint32 id = 0;

    friend bool operator==(const HotKeyID&, const HotKeyID&) = default;
};

// The four-character code of a string: at most its first four UTF-8 bytes,
// the first byte ending up in the highest byte. An empty string gives 0.
quint32 fourCharCode(const QString& text);

// The signature every hot key of the program carries ("TLVI").
quint32 tolviHotKeySignature();

// Key combinations are described in a layout-neutral way: a key code for the
// physical key (the V key and the Space bar are all we need) and a modifier
// mask. The X11 backend translates both to keysyms and X modifier bits.
namespace HotKeyKeyCode {
inline constexpr quint32 V = 9;
inline constexpr quint32 Space = 49;
}

namespace HotKeyModifier {
inline constexpr quint32 Command = 0x100;  // Super on Linux
inline constexpr quint32 Shift = 0x200;
inline constexpr quint32 Option = 0x800;   // Alt on Linux
inline constexpr quint32 Control = 0x1000;
}

struct HotKeyChord {
    quint32 keyCode = 0;
    quint32 modifiers = 0;

    friend bool operator==(const HotKeyChord&, const HotKeyChord&) = default;
};

// The chord as Linux users name it, for example "Ctrl + Alt + V" or "Super + Shift + V".
QString hotKeyChordDisplayName(const HotKeyChord& chord);

} // namespace tolvi

Q_DECLARE_METATYPE(tolvi::HotKeyID)
