#pragma once

#include <QSize>
#include <QWidget>

#include <functional>

class QVariantAnimation;

namespace tolvi {

// A card floating over the window that hosts it: the overlay covers the host, dims it with a
// black backdrop and centres the card on it, inside a margin, at its ideal size where the host
// has room and never outside its minimum and maximum (the host's room wins over the minimum).
// It comes in and goes out with a short fade and a slight scale about the centre, or at once
// under reduced motion. A click on the backdrop is reported, not acted on: the owner decides
// whether it closes (an editor may ask about unsaved text first).
class TolviCardOverlay : public QWidget {
    Q_OBJECT
public:
    struct Geometry {
        QSize minimum;
        QSize ideal;
        QSize maximum;
        // Distance kept between the card and the host's edges.
        int margin = 28;
        // Opacity of the black backdrop, 0 to 1.
        qreal backdropOpacity = 0.13;
        // The card's corner radius, for the shadow drawn under it; no shadow when 0.
        qreal shadowCornerRadius = 0;
    };

    // Takes `card` as its child; follows `host`'s size for as long as both live.
    TolviCardOverlay(QWidget* card, Geometry geometry, QWidget* host);

    QWidget* card() const { return m_card; }
    const Geometry& cardGeometry() const { return m_geometry; }
    // The card's place at rest, in the overlay's coordinates.
    QRect restingCardRect() const;

    // Shows the overlay over everything else of the host and lets it come in.
    void present();
    // Lets the overlay go out, then calls `done` (at once under reduced motion). The overlay
    // takes no input meanwhile. A second call only replaces `done`.
    void dismiss(std::function<void()> done);
    bool isDismissing() const { return bool(m_dismissed); }

    static constexpr int transitionMilliseconds = 160;
    static constexpr qreal startScale = 0.985;

signals:
    void backdropClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeCard();
    void animateTo(qreal target);

    QWidget* m_card;
    Geometry m_geometry;
    qreal m_progress = 1;
    QVariantAnimation* m_animation = nullptr;
    std::function<void()> m_dismissed;
};

} // namespace tolvi
