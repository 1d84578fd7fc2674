#pragma once

#include <QIcon>
#include <QRectF>

class QPainter;

namespace tolvi {

// The program's own icon in full colour: the one installed for the desktop (data/tolvi.svg),
// shipped as a resource too, for the windows and the About panel.
namespace AppIcon {

QIcon icon();
// Paints the icon centred in rect, fitted to its shorter side.
void paint(QPainter& painter, const QRectF& rect);

} // namespace AppIcon
} // namespace tolvi
