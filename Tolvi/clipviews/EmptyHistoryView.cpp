#include "Tolvi/clipviews/EmptyHistoryView.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

// The primary button with a symbol before its label.
class SymbolPrimaryButton : public TolviPrimaryButton {
public:
    SymbolPrimaryButton(const QString& title, const QString& systemImage, QWidget* parent)
        : TolviPrimaryButton(QString(title).replace(QLatin1Char('&'), QLatin1String("&&")), parent)
        , m_title(title)
        , m_systemImage(systemImage)
    {
        setAccessibleName(title);
    }

    QString systemImage() const { return m_systemImage; }

    QSize sizeHint() const override
    {
        const int m = TolviPrimaryButtonStyle::ringMargin;
        return TolviPrimaryButtonStyle::bodySize(m_title) + QSize(symbolSide() + symbolSpacing + 2 * m, 2 * m);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        TolviPrimaryButtonStyle::State state;
        state.isEnabled = isEnabled();
        state.isPressed = isDown();
        state.isFocused = hasFocus();
        const DesignContext context = DesignContext::of(this);
        const QRect body = bodyRect();
        // The style draws the body and ring; the label with its symbol goes on top at the same opacity.
        TolviPrimaryButtonStyle::paint(painter, body, QString(), state, context);

        painter.setOpacity(TolviPrimaryButtonStyle::opacity(state));
        const QFont& font = TolviDesign::font(Typography::bodyStrong);
        const QFontMetrics metrics(font);
        const int side = symbolSide();
        const int textWidth = std::min(metrics.horizontalAdvance(m_title),
                                       body.width() - 2 * TolviPrimaryButtonStyle::horizontalPadding - side - symbolSpacing);
        const qreal left = body.center().x() + 0.5 - (side + symbolSpacing + textWidth) / 2.0;
        const QColor color = context.color(ColorToken::onAccent);
        SymbolCatalog::paint(painter, QRectF(left, body.center().y() + 0.5 - side / 2.0, side, side), m_systemImage,
                             color);
        painter.setFont(font);
        painter.setPen(color);
        const QRectF textRect(left + side + symbolSpacing, body.top(), std::max(0, textWidth), body.height());
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         metrics.elidedText(m_title, Qt::ElideRight, std::max(0, textWidth)));
    }

private:
    static constexpr int symbolSpacing = 6;
    static int symbolSide()
    {
        return SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::bodyStrong));
    }

    QString m_title;
    QString m_systemImage;
};

} // namespace

EmptyHistoryView::EmptyHistoryView(const QString& title, const QString& subtitle,
                                   const std::optional<QString>& primaryActionTitle,
                                   const std::optional<QString>& primaryActionSystemImage,
                                   std::function<void()> primaryAction, bool compact, QWidget* parent)
    : QWidget(parent)
    , m_compact(compact)
{
    const int padding = compact ? 16 : 32;
    const int frame = compact ? 34 : 42;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(compact ? 8 : 10);
    layout->addStretch(1);

    auto* tileFrame = new QWidget(this);
    tileFrame->setFixedSize(frame, frame);
    auto* tileLayout = new QHBoxLayout(tileFrame);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    auto* tile = new TolviIconTile(QStringLiteral("doc.on.clipboard"), ColorToken::electricBlue, tileFrame);
    tileLayout->addWidget(tile, 0, Qt::AlignCenter);
    layout->addWidget(tileFrame, 0, Qt::AlignHCenter);

    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(TolviDesign::font(Typography::title));
    m_title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);

    m_subtitle = new QLabel(this);
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setFont(TolviDesign::font(Typography::body));
    // The theme's palette carries the muted token as the placeholder colour.
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    m_subtitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_subtitle->setWordWrap(true);
    layout->addWidget(m_subtitle);

    layout->addStretch(1);

    setContent(title, subtitle, primaryActionTitle, primaryActionSystemImage, std::move(primaryAction));
}

void EmptyHistoryView::setContent(const QString& title, const QString& subtitle,
                                  const std::optional<QString>& primaryActionTitle,
                                  const std::optional<QString>& primaryActionSystemImage,
                                  std::function<void()> primaryAction)
{
    m_title->setText(title);
    m_subtitle->setText(subtitle);
    m_action = std::move(primaryAction);

    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    if (m_button) {
        // The button and the extra space above it go together.
        const int index = layout->indexOf(m_button);
        delete layout->takeAt(index - 1);
        layout->removeWidget(m_button);
        // Later: this may run inside the button's own click.
        m_button->hide();
        m_button->deleteLater();
        m_button = nullptr;
    }
    if (!primaryActionTitle || !m_action)
        return;

    m_button = new SymbolPrimaryButton(*primaryActionTitle, primaryActionSystemImage.value_or(QStringLiteral("arrow.right")),
                                       this);
    connect(m_button, &QPushButton::clicked, this, [this] {
        // Copied: the action may replace this view's content (and so its action) while it runs.
        if (auto action = m_action)
            action();
    });
    // Before the trailing stretch.
    const int at = layout->count() - 1;
    layout->insertSpacing(at, 6);
    layout->insertWidget(at + 1, m_button, 0, Qt::AlignHCenter);
}

QString EmptyHistoryView::title() const
{
    return m_title->text();
}

QString EmptyHistoryView::subtitle() const
{
    return m_subtitle->text();
}

TolviPrimaryButton* EmptyHistoryView::actionButton() const
{
    return m_button;
}

} // namespace tolvi
