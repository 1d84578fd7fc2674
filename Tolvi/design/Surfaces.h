#pragma once

#include "Tolvi/design/DesignColor.h"
#include "Tolvi/design/TolviTheme.h"

#include <QPainterPath>
#include <QWidget>

class QPainter;

namespace tolvi {

class WindowDragGesture;

// How a plate is drawn. The system glass of other desktops does not exist here,
// so a plate is either frosted (translucent) or solid.
enum class PlateForm {
    // Opaque surface with an outline: reduce transparency, increased contrast,
    // or no compositor to blend a translucent window with the desktop.
    solid,
    // Translucent frosted fill with a fine highlight edge.
    material,
};

struct PlateStyle {
    PlateForm form = PlateForm::solid;
    QColor fill;
    QColor edge;
    qreal edgeWidth = 0;
};

// The form and colours a plate takes in the context. Accessibility comes first:
// with reduced transparency or increased contrast a plate is always solid.
PlateStyle plateStyle(const DesignContext& context);

// A rounded rectangle of the given radius (clamped to half the shorter side).
QPainterPath roundedShape(const QRectF& rect, qreal cornerRadius);

// Paints a plate filling rect; the edge line is kept inside the rectangle.
void paintLiquidPlate(QPainter& painter, const QRectF& rect, qreal cornerRadius, const DesignContext& context);

// A rounded plate as a widget of its own (it fills its whole rectangle).
class TolviLiquidPlate : public QWidget {
    Q_OBJECT
public:
    explicit TolviLiquidPlate(qreal cornerRadius, const DesignColor& tint = DesignColor::clear(),
                              QWidget* parent = nullptr);

    qreal cornerRadius() const { return m_cornerRadius; }
    // The glass tint; kept for the glass form, which this platform does not draw.
    DesignColor tint() const { return m_tint; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_cornerRadius;
    DesignColor m_tint;
};

// A container that puts a plate behind its content, optionally on a raised base.
// Layering, back to front: raised base, plate, content.
class TolviGlassSurface : public QWidget {
    Q_OBJECT
public:
    explicit TolviGlassSurface(qreal cornerRadius, const DesignColor& tint = DesignColor::clear(),
                               bool isRaised = false, QWidget* parent = nullptr);

    qreal cornerRadius() const { return m_cornerRadius; }
    bool isRaised() const { return m_isRaised; }
    DesignColor tint() const { return m_tint; }

    // Puts the widget inside the surface, filling it (margins are the caller's to add).
    void setContentWidget(QWidget* content);
    QWidget* contentWidget() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_cornerRadius;
    DesignColor m_tint;
    bool m_isRaised;
    QWidget* m_content = nullptr;
};

// Puts a glass surface behind content: returns the surface holding it. When the
// content sits in a layout, the surface takes its place there.
TolviGlassSurface* tolviGlass(QWidget* content, qreal cornerRadius, const DesignColor& tint = DesignColor::clear(),
                              bool isRaised = false);

// The decorative background of a whole window: a plate washed with the canvas
// colour and clipped to the window's rounded shape. Use it as the window's root
// widget and lay the window's content out inside it.
class TolviConsoleBackdrop : public QWidget {
    Q_OBJECT
public:
    explicit TolviConsoleBackdrop(bool compact = false, QWidget* parent = nullptr);

    bool isCompact() const { return m_compact; }
    qreal cornerRadius() const { return m_compact ? compactRadius : regularRadius; }

    static constexpr qreal compactRadius = 18;
    static constexpr qreal regularRadius = 22;

    static void paint(QPainter& painter, const QRectF& rect, qreal cornerRadius, const DesignContext& context);
    // What paint() gives inside the rounded edge and its hairline, at least this far from the
    // straight edges and the corner radius plus this far from the rounded ones.
    static void paintInterior(QPainter& painter, const QRect& area, const DesignContext& context);
    static constexpr int interiorMargin = 2;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_compact;
};

// The console backdrop of a frameless window that is also its handle: dragged from near an
// edge it resizes the window, from anywhere else it moves it (the window manager does both).
class TolviWindowBackdrop : public TolviConsoleBackdrop {
    Q_OBJECT
public:
    explicit TolviWindowBackdrop(bool compact = false, QWidget* parent = nullptr);
    // How close to an edge a press resizes.
    static constexpr int resizeMargin = 6;
    Qt::Edges edgesAt(const QPoint& point) const;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    WindowDragGesture* m_drag;
};

// A symbol drawn in one colour token, taking no input; decoration, so the keyboard passes it
// by. A top inset lowers it, beside the first line of a text.
class TolviSymbolMark : public QWidget {
    Q_OBJECT
public:
    TolviSymbolMark(QString name, TolviDesign::ColorToken color, int side, QWidget* parent = nullptr);
    TolviSymbolMark(QString name, TolviDesign::ColorToken color, int side, int topInset, QWidget* parent);

    // A mark lowered onto the middle of the first line of a text in `textFont`.
    static TolviSymbolMark* onFirstLine(QString name, TolviDesign::ColorToken color, int side, const QFont& textFont,
                                        QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    TolviDesign::ColorToken m_color;
};

} // namespace tolvi
