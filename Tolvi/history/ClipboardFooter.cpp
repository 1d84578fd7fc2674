#include "Tolvi/history/ClipboardFooter.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardFooterFlowLayout.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int horizontalPadding = 18;
constexpr int verticalPadding = 14;

// Every item of the footer is as tall as the primary button with its focus-ring margin, its
// content centred, so items of one row line up although the rows align their tops.
int itemHeight()
{
    return TolviPrimaryButtonStyle::bodySize(QStringLiteral("Paste Selected")).height()
        + 2 * TolviPrimaryButtonStyle::ringMargin;
}

// A one-line label, in one colour token of the window's theme when given.
class FooterLabel final : public QLabel {
public:
    FooterLabel(std::optional<ColorToken> color, QWidget* parent) : QLabel(parent), m_color(color)
    {
        setTextFormat(Qt::PlainText);
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setFixedHeight(itemHeight());
        // The buttons keep a focus-ring margin around what they draw; text lines up with them.
        const int m = TolviPrimaryButtonStyle::ringMargin;
        setContentsMargins(m, 0, m, 0);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_color) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(DesignContext::of(this).color(*m_color));
        painter.setFont(font());
        painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, text());
    }

private:
    std::optional<ColorToken> m_color;
};

// A push button in the platform's look, with the primary button's height and its margin
// around the drawn body.
class FooterButton final : public QPushButton {
public:
    FooterButton(const QString& title, QWidget* parent) : QPushButton(title, parent) { setAutoDefault(false); }

    QSize sizeHint() const override
    {
        const int m = TolviPrimaryButtonStyle::ringMargin;
        return {fontMetrics().horizontalAdvance(text()) + 2 * TolviPrimaryButtonStyle::horizontalPadding + 2 * m,
                itemHeight()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect = body();
        painter.drawControl(QStyle::CE_PushButton, option);
    }
    bool hitButton(const QPoint& position) const override { return body().contains(position); }

private:
    QRect body() const
    {
        const int m = TolviPrimaryButtonStyle::ringMargin;
        return rect().adjusted(m, m, -m, -m);
    }
};

} // namespace

ClipboardFooter::ClipboardFooter(HistoryWindowState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state)
{
    setObjectName(QStringLiteral("clipboardFooter"));
    setFont(TolviDesign::font(Typography::body));
    m_layout = new ClipboardFooterFlowLayout(this, 10, 8);
    m_layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding, verticalPadding);

    m_count = new FooterLabel(std::nullopt, this);
    m_count->setObjectName(QStringLiteral("footerClipCount"));
    // The theme's palette carries the muted token as the placeholder colour.
    m_count->setForegroundRole(QPalette::PlaceholderText);

    m_visibleSelection = new FooterButton(QStringLiteral("Select Visible"), this);
    m_visibleSelection->setObjectName(QStringLiteral("footerVisibleSelection"));

    m_selectedCount = new FooterLabel(ColorToken::mint, this);
    m_selectedCount->setObjectName(QStringLiteral("footerSelectedCount"));

    m_clearSelection = new FooterButton(QStringLiteral("Clear Selection"), this);
    m_clearSelection->setObjectName(QStringLiteral("footerClearSelection"));

    m_pasteSelected = new TolviPrimaryButton(QStringLiteral("Paste Selected"), this);
    m_pasteSelected->setObjectName(QStringLiteral("footerPasteSelected"));
    m_pasteSelected->setAutoDefault(false);
    // Ctrl+Return pastes at once, leaving the focus where it is. A shortcut of a hidden widget
    // does not fire: it exists while the button is shown.
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), m_pasteSelected);
    connect(shortcut, &QShortcut::activated, this, [this] { m_state.pasteQueuedItems(); });
    m_pasteSelected->setToolTip(QStringLiteral(
        "Plain text is joined with line breaks. Rich text, files and images use a queue; choose Paste Next for each "
        "remaining clip. Switching apps or copying again stops the queue."));

    m_showInAllHistory = new FooterButton(QStringLiteral("Show in All History"), this);
    m_showInAllHistory->setObjectName(QStringLiteral("footerShowInAllHistory"));

    for (QWidget* item : {static_cast<QWidget*>(m_count), static_cast<QWidget*>(m_visibleSelection),
                          static_cast<QWidget*>(m_selectedCount), static_cast<QWidget*>(m_clearSelection),
                          static_cast<QWidget*>(m_pasteSelected), static_cast<QWidget*>(m_showInAllHistory)})
        m_layout->addWidget(item);

    connect(m_visibleSelection, &QPushButton::clicked, this, [this] { m_state.toggleVisibleSelection(); });
    connect(m_clearSelection, &QPushButton::clicked, this, [this] { m_state.clearQueue(); });
    connect(m_pasteSelected, &QPushButton::clicked, this, [this] { m_state.pasteQueuedItems(); });
    connect(m_showInAllHistory, &QPushButton::clicked, this, [this] {
        if (const std::optional<ClipboardItem> lens = m_state.lensItem())
            m_state.showInAllHistory(lens->id());
    });

    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, &ClipboardFooter::refresh);
    connect(&m_state, &HistoryWindowState::queueChanged, this, &ClipboardFooter::refresh);
    connect(&m_state, &HistoryWindowState::lensChanged, this, &ClipboardFooter::refresh);
    connect(&m_state, &HistoryWindowState::criteriaChanged, this, &ClipboardFooter::refresh);
    refresh();
}

ClipboardFooter::~ClipboardFooter() = default;

QString ClipboardFooter::countText(qsizetype filtered, qsizetype total)
{
    if (filtered == total)
        return QStringLiteral("%1 clip%2").arg(total).arg(total == 1 ? QString() : QStringLiteral("s"));
    return QStringLiteral("%1 of %2 clips").arg(filtered).arg(total);
}

void ClipboardFooter::refresh()
{
    const qsizetype filtered = m_state.filteredItems().size();
    const qsizetype total = m_state.store().itemCount();
    m_count->setText(countText(filtered, total));

    m_visibleSelection->setVisible(filtered != 0);
    m_visibleSelection->setText(m_state.isEveryVisibleItemQueued() ? QStringLiteral("Deselect Visible")
                                                                   : QStringLiteral("Select Visible"));

    const qsizetype selected = m_state.queuedItemCount();
    m_selectedCount->setText(QStringLiteral("%1 selected").arg(selected));
    for (QWidget* item : {static_cast<QWidget*>(m_selectedCount), static_cast<QWidget*>(m_clearSelection),
                          static_cast<QWidget*>(m_pasteSelected)})
        item->setVisible(selected > 0);

    m_showInAllHistory->setVisible(m_state.lensItem().has_value() && m_state.searchCriteria().hasAnyFilter());
}

void ClipboardFooter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), DesignContext::of(this).color(ColorToken::surface));
}

} // namespace tolvi
