#pragma once

#include "Tolvi/design/TolviTheme.h"

#include <QRectF>
#include <QString>

class QPainter;

namespace tolvi {

// The title over a titled section of the compact panel's action list, in upper case; the
// recommended section's adds the "sparkles" symbol before it and a "Smart" capsule after it.
class CompactActionSectionHeader {
public:
    static int height();
    static void paint(QPainter& painter, const QRectF& rect, const QString& title, bool isRecommended,
                      const DesignContext& context);
};

} // namespace tolvi
