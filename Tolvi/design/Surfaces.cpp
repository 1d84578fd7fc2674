#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/WindowDragGesture.h"

#include <QFontMetrics>
#include <QImage>
#include <QLayout>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

using TolviDesign::withOpacity;

using TolviDesign::ColorToken;

namespace {

// The frosted fill: the surface colour let through at this opacity.
constexpr qreal materialOpacity = 0.62;

void strokeInside(QPainter& painter, const QRectF& rect, qreal cornerRadius, const QColor& color, qreal width)
{
    if (width <= 0 || color.alpha() == 0)
        return;
    const qreal inset = width / 2;
    QPen pen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedShape(rect.adjusted(inset, inset, -inset, -inset), std::max<qreal>(0, cornerRadius - inset)));
}

} // namespace

PlateStyle plateStyle(const DesignContext& context)
{
    PlateStyle style;
    if (context.reduceTransparency || context.increasedContrast || !context.translucencyAvailable) {
        style.form = PlateForm::solid;
        style.fill = context.color(ColorToken::surface);
        if (context.increasedContrast) {
            style.edge = withOpacity(context.color(ColorToken::muted), 0.8);
            style.edgeWidth = 1.5;
        } else {
            style.edge = withOpacity(context.color(ColorToken::muted), 0.3);
            style.edgeWidth = 0.7;
        }
        return style;
    }
    style.form = PlateForm::material;
    style.fill = withOpacity(context.color(ColorToken::surface), materialOpacity);
    style.edge = context.color(ColorToken::glassHighlight);
    style.edgeWidth = 0.7;
    return style;
}

QPainterPath roundedShape(const QRectF& rect, qreal cornerRadius)
{
    const qreal r = std::clamp<qreal>(cornerRadius, 0, std::min(rect.width(), rect.height()) / 2);
    QPainterPath path;
    path.addRoundedRect(rect, r, r);
    return path;
}

void paintLiquidPlate(QPainter& painter, const QRectF& rect, qreal cornerRadius, const DesignContext& context)
{
    const PlateStyle style = plateStyle(context);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(roundedShape(rect, cornerRadius), style.fill);
    strokeInside(painter, rect, cornerRadius, style.edge, style.edgeWidth);
    painter.restore();
}

TolviLiquidPlate::TolviLiquidPlate(qreal cornerRadius, const DesignColor& tint, QWidget* parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
    , m_tint(tint)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TolviLiquidPlate::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintLiquidPlate(painter, rect(), m_cornerRadius, DesignContext::of(this));
}

TolviGlassSurface::TolviGlassSurface(qreal cornerRadius, const DesignColor& tint, bool isRaised, QWidget* parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
    , m_tint(tint)
    , m_isRaised(isRaised)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void TolviGlassSurface::setContentWidget(QWidget* content)
{
    if (m_content == content)
        return;
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->setParent(nullptr);
    }
    m_content = content;
    if (m_content)
        layout()->addWidget(m_content);
}

void TolviGlassSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    if (m_isRaised)
        painter.fillPath(roundedShape(rect(), m_cornerRadius), withOpacity(context.color(ColorToken::raisedSurface), 0.75));
    paintLiquidPlate(painter, rect(), m_cornerRadius, context);
}

TolviGlassSurface* tolviGlass(QWidget* content, qreal cornerRadius, const DesignColor& tint, bool isRaised)
{
    QWidget* oldParent = content ? content->parentWidget() : nullptr;
    auto* surface = new TolviGlassSurface(cornerRadius, tint, isRaised, oldParent);
    if (oldParent && oldParent->layout()) {
        if (QLayoutItem* replaced = oldParent->layout()->replaceWidget(content, surface))
            delete replaced;
    }
    if (content) {
        surface->setContentWidget(content);
        content->show();
    }
    return surface;
}

TolviConsoleBackdrop::TolviConsoleBackdrop(bool compact, QWidget* parent)
    : QWidget(parent)
    , m_compact(compact)
{
}

void TolviConsoleBackdrop::paint(QPainter& painter, const QRectF& rect, qreal cornerRadius, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Where nothing composes the window, its corners would show black: keep the
    // backdrop square and opaque there.
    const qreal radius = context.translucencyAvailable ? cornerRadius : 0;
    const QPainterPath shape = roundedShape(rect, radius);
    painter.setClipPath(shape);
    painter.fillPath(shape, context.color(ColorToken::canvas));
    paintLiquidPlate(painter, rect, radius, context);
    painter.fillPath(shape, withOpacity(context.color(ColorToken::canvas), 0.28));
    painter.restore();
}

void TolviConsoleBackdrop::paintInterior(QPainter& painter, const QRect& area, const DesignContext& context)
{
    // Each layer of paint() covers every pixel here whole: the same colours, without the shape.
    // On the opaque canvas the layers come to one colour, worked out on a pixel of its own.
    const QColor canvas = context.color(ColorToken::canvas);
    const QColor layers[] = {plateStyle(context).fill, withOpacity(canvas, 0.28)};
    if (canvas.alpha() != 255) {
        painter.fillRect(area, canvas);
        for (const QColor& layer : layers)
            painter.fillRect(area, layer);
        return;
    }
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    pixel.fill(canvas);
    {
        QPainter layered(&pixel);
        for (const QColor& layer : layers)
            layered.fillRect(pixel.rect(), layer);
    }
    painter.fillRect(area, pixel.pixelColor(0, 0));
}

void TolviConsoleBackdrop::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    // A window repaints mostly inside (a list, a field, a label): there the backdrop is plain
    // colour, filled without shaping the whole window. A repaint that reaches the rounded edge
    // or its hairline paints the shape.
    const int inset = int(std::ceil(context.translucencyAvailable ? cornerRadius() : 0)) + interiorMargin;
    const QRect across = rect().adjusted(interiorMargin, inset, -interiorMargin, -inset);
    const QRect down = rect().adjusted(inset, interiorMargin, -inset, -interiorMargin);
    const QRegion& region = event->region();
    const bool inside = std::all_of(region.begin(), region.end(),
                                    [&](const QRect& area) { return across.contains(area) || down.contains(area); });
    if (!inside) {
        paint(painter, rect(), cornerRadius(), context);
        return;
    }
    for (const QRect& area : region)
        paintInterior(painter, area, context);
}

TolviWindowBackdrop::TolviWindowBackdrop(bool compact, QWidget* parent)
    : TolviConsoleBackdrop(compact, parent)
    , m_drag(new WindowDragGesture(this))
{
    setMouseTracking(true);
}

Qt::Edges TolviWindowBackdrop::edgesAt(const QPoint& point) const
{
    Qt::Edges edges;
    if (point.x() < resizeMargin)
        edges |= Qt::LeftEdge;
    if (point.x() >= width() - resizeMargin)
        edges |= Qt::RightEdge;
    if (point.y() < resizeMargin)
        edges |= Qt::TopEdge;
    if (point.y() >= height() - resizeMargin)
        edges |= Qt::BottomEdge;
    return edges;
}

void TolviWindowBackdrop::mouseMoveEvent(QMouseEvent* event)
{
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if ((edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge)))
        setCursor(((edges & Qt::LeftEdge) != 0) == ((edges & Qt::TopEdge) != 0) ? Qt::SizeFDiagCursor
                                                                                : Qt::SizeBDiagCursor);
    else if (edges & (Qt::LeftEdge | Qt::RightEdge))
        setCursor(Qt::SizeHorCursor);
    else if (edges)
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();
    TolviConsoleBackdrop::mouseMoveEvent(event);
}

void TolviWindowBackdrop::mousePressEvent(QMouseEvent* event)
{
    if (m_drag->press(*event, edgesAt(event->position().toPoint())))
        event->accept();
    else
        TolviConsoleBackdrop::mousePressEvent(event);
}

TolviSymbolMark::TolviSymbolMark(QString name, TolviDesign::ColorToken color, int side, QWidget* parent)
    : TolviSymbolMark(std::move(name), color, side, 0, parent)
{
}

TolviSymbolMark::TolviSymbolMark(QString name, TolviDesign::ColorToken color, int side, int topInset, QWidget* parent)
    : QWidget(parent), m_name(std::move(name)), m_color(color)
{
    setFixedSize(side, side + topInset);
    setContentsMargins(0, topInset, 0, 0);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

TolviSymbolMark* TolviSymbolMark::onFirstLine(QString name, TolviDesign::ColorToken color, int side,
                                              const QFont& textFont, QWidget* parent)
{
    const int inset = std::max(0, (QFontMetrics(textFont).height() - side) / 2);
    return new TolviSymbolMark(std::move(name), color, side, inset, parent);
}

void TolviSymbolMark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SymbolCatalog::paint(painter, QRectF(contentsRect()), m_name, DesignContext::of(this).color(m_color));
}

} // namespace tolvi
