#include "Tolvi/platform/hotkeys/HotKeyChord.h"

#include <QStringList>

namespace tolvi {

quint32 fourCharCode(const QString& text)
{
    const QByteArray bytes = text.toUtf8().left(4);
    quint32 value = 0;
    for (const char byte : bytes)
        value = (value << 8) + static_cast<quint8>(byte);
    return value;
}

quint32 tolviHotKeySignature()
{
    static const quint32 signature = fourCharCode(QStringLiteral("TLVI"));
    return signature;
}

QString hotKeyChordDisplayName(const HotKeyChord& chord)
{
    QStringList parts;
    if (chord.modifiers & HotKeyModifier::Control)
        parts << QStringLiteral("Ctrl");
    if (chord.modifiers & HotKeyModifier::Option)
        parts << QStringLiteral("Alt");
    if (chord.modifiers & HotKeyModifier::Command)
        parts << QStringLiteral("Super");
    if (chord.modifiers & HotKeyModifier::Shift)
        parts << QStringLiteral("Shift");
    switch (chord.keyCode) {
    case HotKeyKeyCode::V:
        parts << QStringLiteral("V");
        break;
    case HotKeyKeyCode::Space:
        parts << QStringLiteral("Space");
        break;
    default:
        parts << QStringLiteral("Key %1").arg(chord.keyCode);
        break;
    }
    return parts.join(QStringLiteral(" + "));
}

} // namespace tolvi
