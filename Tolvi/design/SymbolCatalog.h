#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace tolvi {

// The program's own symbols, drawn as SVGs and shipped as resources, looked up
// by symbol name ("doc.on.clipboard", "pin.fill", ...). A name is only a key:
// names that are not in the catalogue (including anything coming from user data
// that looks like a path) get the fallback symbol, never a file.
class SymbolCatalog {
public:
    // Every symbol name the catalogue draws, sorted.
    static QStringList names();
    static bool contains(const QString& name);

    // Paints the symbol centred in rect, fitted to its shorter side, in one colour.
    static void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color);

    // The symbol as a tinted pixmap of size x size device-independent pixels.
    static QPixmap pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio = 1.0);

    // The symbol drawn in place of an unknown name.
    static QString fallbackName() { return QStringLiteral("fallback"); }

    // The pixel size a symbol takes when set in a font of this layout-point size.
    static int pixelSizeForPointSize(qreal layoutPoints);
};

} // namespace tolvi
