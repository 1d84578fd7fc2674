#include "Tolvi/design/CardOverlay.h"

#include "Tolvi/design/CardShadow.h"
#include "Tolvi/design/TolviTheme.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>

namespace tolvi {

TolviCardOverlay::TolviCardOverlay(QWidget* card, Geometry geometry, QWidget* host)
    : QWidget(host)
    , m_card(card)
    , m_geometry(geometry)
{
    setObjectName(QStringLiteral("tolviCardOverlay"));
    setAttribute(Qt::WA_NoSystemBackground);
    m_card->setParent(this);
    if (host) {
        host->installEventFilter(this);
        setGeometry(host->rect());
    }
    hide();
}

QRect TolviCardOverlay::restingCardRect() const
{
    const QRect room = rect().adjusted(m_geometry.margin, m_geometry.margin, -m_geometry.margin, -m_geometry.margin);
    auto fit = [](int ideal, int minimum, int maximum, int available) {
        int value = std::clamp(ideal, minimum, std::max(minimum, maximum));
        return std::max(0, std::min(value, available));
    };
    const int width = fit(m_geometry.ideal.width(), m_geometry.minimum.width(), m_geometry.maximum.width(), room.width());
    const int height =
        fit(m_geometry.ideal.height(), m_geometry.minimum.height(), m_geometry.maximum.height(), room.height());
    QRect card(0, 0, width, height);
    card.moveCenter(rect().center());
    return card;
}

void TolviCardOverlay::present()
{
    if (QWidget* host = parentWidget())
        setGeometry(host->rect());
    raise();
    show();
    m_progress = DesignContext::of(this).reduceMotion ? 1 : 0;
    placeCard();
    animateTo(1);
}

void TolviCardOverlay::dismiss(std::function<void()> done)
{
    const bool running = bool(m_dismissed);
    m_dismissed = done ? std::move(done) : [] {};
    if (running)
        return;
    setAttribute(Qt::WA_TransparentForMouseEvents);
    animateTo(0);
}

void TolviCardOverlay::animateTo(qreal target)
{
    const int duration = DesignContext::of(this).animationDuration(transitionMilliseconds);
    auto finished = [this, target] {
        m_progress = target;
        setGraphicsEffect(nullptr);
        placeCard();
        update();
        if (target == 0 && m_dismissed) {
            // The callback may delete the overlay: nothing of it is touched afterwards.
            auto done = std::move(m_dismissed);
            m_dismissed = [] {};
            done();
        }
    };
    if (m_animation)
        m_animation->stop();
    if (duration <= 0 || !isVisible()) {
        finished();
        return;
    }
    // The fade covers the card and its children; the effect goes again once the card rests,
    // so editing never pays for an offscreen copy.
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(this);
        setGraphicsEffect(effect);
    }
    if (!m_animation) {
        m_animation = new QVariantAnimation(this);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_progress = value.toReal();
            if (auto* fade = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect()))
                fade->setOpacity(m_progress);
            placeCard();
        });
    }
    m_animation->disconnect(this, nullptr);
    connect(m_animation, &QVariantAnimation::finished, this, finished);
    effect->setOpacity(m_progress);
    m_animation->setDuration(duration);
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->start();
}

void TolviCardOverlay::placeCard()
{
    const QRect resting = restingCardRect();
    const qreal scale = startScale + (1 - startScale) * m_progress;
    if (scale >= 1) {
        m_card->setGeometry(resting);
        return;
    }
    QRectF scaled(0, 0, resting.width() * scale, resting.height() * scale);
    scaled.moveCenter(QRectF(resting).center());
    m_card->setGeometry(scaled.toRect());
}

bool TolviCardOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TolviCardOverlay::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeCard();
}

void TolviCardOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor dim(Qt::black);
    dim.setAlphaF(std::clamp(m_geometry.backdropOpacity, 0.0, 1.0));
    painter.fillRect(rect(), dim);
    if (m_geometry.shadowCornerRadius <= 0)
        return;
    const QRectF card = QRectF(m_card->geometry()).translated(0, CardShadow::drop * m_progress);
    if (m_progress < 1)
        CardShadow::paintRings(painter, card, m_geometry.shadowCornerRadius, m_progress);
    else
        CardShadow::paint(painter, card, m_geometry.shadowCornerRadius);
}

void TolviCardOverlay::mousePressEvent(QMouseEvent* event)
{
    // Clicks on the card's own surface reach the card; what arrives here is the backdrop.
    if (!m_card->geometry().contains(event->position().toPoint()) && event->button() == Qt::LeftButton) {
        event->accept();
        emit backdropClicked();
        return;
    }
    QWidget::mousePressEvent(event);
}

} // namespace tolvi
