#include "Tolvi/platform/desktop/FakePasteDesktop.h"

namespace tolvi {

bool FakePasteDesktop::activate(qint64 target)
{
    activated.append(target);
    if (!running.contains(target))
        return false;
    if (activationGranted) {
        front = target;
        focus = target;
    }
    return true;
}

bool FakePasteDesktop::pasteInto(qint64 target)
{
    if (!keystrokes || focus != target)
        return false;
    pastedInto.append(target);
    return true;
}

std::optional<QString> FakePasteDesktop::describe(std::optional<qint64> target)
{
    if (!target)
        return std::nullopt;
    return QStringLiteral("Program %1").arg(*target);
}

} // namespace tolvi
