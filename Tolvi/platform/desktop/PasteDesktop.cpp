#include "Tolvi/platform/desktop/PasteDesktop.h"

namespace tolvi {

PasteDesktop::~PasteDesktop() = default;

bool PasteDesktop::canTypeInto(qint64)
{
    return canSendKeystrokes();
}

QString PasteDesktop::permissionPlace() const
{
    // Keystrokes reach other programs only through the XTEST extension of an X11 display.
    return QStringLiteral("an X11 session with XTEST");
}

QString PasteDesktop::activationRefusal(qint64) const
{
    return {};
}

QString PasteDesktop::pasteByHandHint() const
{
    return {};
}

} // namespace tolvi
