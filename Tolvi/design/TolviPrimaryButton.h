#pragma once

#include "Tolvi/design/TolviTheme.h"

#include <QPushButton>

class QPainter;

namespace tolvi {

// The look of the windows' primary actions: an electric-blue rounded body with
// the label in the strong body style, a focus ring, and dimming when pressed or
// disabled. It changes only colour, ring and opacity, never size or position.
struct TolviPrimaryButtonStyle {
    struct State {
        bool isEnabled = true;
        bool isPressed = false;
        bool isFocused = false;
    };

    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 7;
    static constexpr qreal cornerRadius = 9;
    static constexpr qreal focusRingWidth = 2;
    static constexpr qreal focusRingOutset = 3;
    static constexpr qreal contrastRingWidth = 1;
    // Room around the body for the focus ring (outset plus half its line).
    static constexpr int ringMargin = 4;

    static qreal opacity(const State& state);
    // The ring's rectangle and line width for a body rectangle; width 0 means no ring.
    static std::pair<QRectF, qreal> ring(const QRectF& body, const State& state, const DesignContext& context);

    // The body's size for a label.
    static QSize bodySize(const QString& label);
    static void paint(QPainter& painter, const QRectF& body, const QString& label, const State& state,
                      const DesignContext& context);
};

// A push button drawn in the primary style. Its widget rectangle keeps a margin
// of TolviPrimaryButtonStyle::ringMargin around the body for the focus ring.
class TolviPrimaryButton : public QPushButton {
    Q_OBJECT
public:
    explicit TolviPrimaryButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The drawn body within the widget.
    QRect bodyRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

} // namespace tolvi
