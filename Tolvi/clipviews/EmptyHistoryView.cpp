#include "Tolvi/clipviews/EmptyHistoryView.h"

#include "Tolvi/clipviews/SymbolPrimaryButton.h"
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
