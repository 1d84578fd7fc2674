#include "Tolvi/design/AppIcon.h"

#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

static void initAppIconResource()
{
    Q_INIT_RESOURCE(TolviAppIcon);
}

namespace tolvi::AppIcon {

namespace {

const QString resource = QStringLiteral(":/tolvi/tolvi.svg");

QSvgRenderer& renderer()
{
    static QSvgRenderer* shared = [] {
        initAppIconResource();
        return new QSvgRenderer(resource);
    }();
    return *shared;
}

} // namespace

QIcon icon()
{
    renderer();
    return QIcon(resource);
}

void paint(QPainter& painter, const QRectF& rect)
{
    const qreal side = std::min(rect.width(), rect.height());
    if (side <= 0)
        return;
    const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer().render(&painter, square);
    painter.restore();
}

} // namespace tolvi::AppIcon
