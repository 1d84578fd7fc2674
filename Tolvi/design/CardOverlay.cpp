#include "Tolvi/design/CardOverlay.h"

#include "Tolvi/design/TolviTheme.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
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

namespace {

// A soft shadow falling below the card: rings of fading black, widest and faintest outside.
constexpr int shadowRings = 10;
constexpr qreal shadowSpread = 42;
constexpr qreal shadowDrop = 24;
constexpr qreal shadowOpacity = 0.24;

void paintShadowRings(QPainter& painter, const QRectF& card, qreal cornerRadius, qreal progress)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int ring = shadowRings; ring >= 1; --ring) {
        const qreal grow = shadowSpread * ring / shadowRings;
        QColor shade(Qt::black);
        shade.setAlphaF(shadowOpacity * progress / shadowRings);
        painter.setBrush(shade);
        painter.drawRoundedRect(card.adjusted(-grow / 2, -grow / 2, grow / 2, grow / 2), cornerRadius + grow / 2,
                                cornerRadius + grow / 2);
    }
}

} // namespace

void TolviCardOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor dim(Qt::black);
    dim.setAlphaF(std::clamp(m_geometry.backdropOpacity, 0.0, 1.0));
    painter.fillRect(rect(), dim);
    if (m_geometry.shadowCornerRadius <= 0)
        return;
    const QRectF card = QRectF(m_card->geometry()).translated(0, shadowDrop * m_progress);
    if (m_progress < 1) {
        paintShadowRings(painter, card, m_geometry.shadowCornerRadius, m_progress);
        return;
    }
    // At rest the shadow only depends on the card's size: drawn once (for every overlay of that
    // size), it costs a copy instead of ten large antialiased fills on each paint.
    struct RestingShadow {
        QPixmap pixmap;
        QSize card;
        qreal cornerRadius = 0;
    };
    static RestingShadow cache; // main thread only, like every widget
    const qreal ratio = devicePixelRatioF();
    const qreal margin = shadowSpread / 2 + 1;
    if (cache.pixmap.isNull() || cache.card != m_card->size() || cache.cornerRadius != m_geometry.shadowCornerRadius
        || cache.pixmap.devicePixelRatio() != ratio) {
        const QSizeF size = QSizeF(m_card->size()) + QSizeF(2 * margin, 2 * margin);
        cache.pixmap = QPixmap((size * ratio).toSize());
        cache.pixmap.setDevicePixelRatio(ratio);
        cache.pixmap.fill(Qt::transparent);
        QPainter shadow(&cache.pixmap);
        paintShadowRings(shadow, QRectF(QPointF(margin, margin), QSizeF(m_card->size())), m_geometry.shadowCornerRadius,
                         1);
        cache.card = m_card->size();
        cache.cornerRadius = m_geometry.shadowCornerRadius;
    }
    painter.drawPixmap(card.topLeft() - QPointF(margin, margin), cache.pixmap);
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
