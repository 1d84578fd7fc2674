#pragma once

// Small pieces shared by the tour, What's New and About: text and shapes drawn in design
// tokens (resolved when they paint, so a theme switch recolours them) and the close button of a
// frameless panel.

#include "Tolvi/design/DesignColor.h"
#include "Tolvi/design/DesignTokens.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QBoxLayout;
class QPushButton;

namespace tolvi {


// The pieces live in a namespace of their own: other windows have helpers of the same names.
namespace onboarding {

// A colour given as a token or fixed colour, at an opacity.
struct Tone {
    DesignColor color = DesignColor::clear();
    qreal opacity = 1.0;

    QColor resolve(const DesignContext& context) const;
};

// The system font at a size in layout points and a weight.
QFont onboardingFont(qreal layoutPoints, QFont::Weight weight = QFont::Normal);

// Plain text in one tone. Wrapping, size hints and height-for-width are QLabel's; the colour
// is resolved at paint time. With `lines` set, the label is exactly that many lines tall and
// cuts what does not fit, so neighbouring cards keep one height.
class TokenLabel : public QLabel {
    Q_OBJECT
public:
    TokenLabel(const QString& text, const QFont& font, Tone tone = {TolviDesign::ColorToken::ink},
               QWidget* parent = nullptr);

    void setTone(Tone tone);
    Tone tone() const { return m_tone; }
    void setLineCount(std::optional<int> lines);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tone m_tone;
    std::optional<int> m_lines;
};

// A rounded rectangle with a fill and an optional 1-point outline, holding a layout.
class ToneBox : public QWidget {
    Q_OBJECT
public:
    ToneBox(qreal cornerRadius, Tone fill, std::optional<Tone> stroke = std::nullopt, QWidget* parent = nullptr);

    void setTones(Tone fill, std::optional<Tone> stroke);
    bool isCircle() const { return m_circle; }
    void setCircle(bool circle) { m_circle = circle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_cornerRadius;
    Tone m_fill;
    std::optional<Tone> m_stroke;
    bool m_circle = false;
};

// One symbol of the catalogue, centred in a fixed square on an optional shape, or a short text
// in place of the symbol (the numbered discs of the tour).
class SymbolTile : public QWidget {
    Q_OBJECT
public:
    enum class Shape { none, circle, roundedRect };

    SymbolTile(const QString& systemImage, qreal symbolLayoutPoints, Tone symbolTone, int side,
               Shape shape = Shape::none, Tone fill = {}, qreal cornerRadius = 0, QWidget* parent = nullptr);

    // Draws `text` in `font` instead of the symbol.
    void setText(const QString& text, const QFont& font);
    QString systemImage() const { return m_systemImage; }

    QSize sizeHint() const override { return {m_side, m_side}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemImage;
    qreal m_symbolPoints;
    Tone m_symbolTone;
    int m_side;
    Shape m_shape;
    Tone m_fill;
    qreal m_cornerRadius;
    QString m_text;
    QFont m_font;
};

// The close button in the corner of a panel that has no title bar. Closing with it only hides.
class PanelCloseButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PanelCloseButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {side, side}; }

    // Keeps the button in the top-trailing corner of its parent, `inset` points in.
    void pinToCorner(int inset);

    static constexpr int side = 22;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void place();
    int m_inset = 10;
    bool m_hovered = false;
};

// A band across a panel (header or footer): a lighter material with a hairline along one edge.
class MaterialBand : public QWidget {
    Q_OBJECT
public:
    explicit MaterialBand(Qt::Edge ruleEdge, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Edge m_ruleEdge;
};

// A button drawn as text only, in the muted colour ("Skip Tour").
class PlainTextButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PlainTextButton(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A bordered push button with room around its label.
QPushButton* borderedButton(const QString& text, QWidget* parent = nullptr);

} // namespace onboarding

} // namespace tolvi
