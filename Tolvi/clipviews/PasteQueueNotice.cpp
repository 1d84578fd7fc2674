#include "Tolvi/clipviews/PasteQueueNotice.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/FirstFittingArrangement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int bandPadding = 12;
constexpr qreal dividerOpacity = 0.45;

const QString cancelReason = QStringLiteral("Paste queue cancelled.");

QString sentText(int completed, int total)
{
    return QStringLiteral("%1 of %2 sent").arg(completed).arg(total);
}

int symbolSide(qreal layoutPoints)
{
    return SymbolCatalog::pixelSizeForPointSize(layoutPoints);
}

// The small spinning indicator of work in progress. It turns only while shown and stands
// still when the user asked for reduced motion.
class ActivityIndicator final : public QWidget {
public:
    explicit ActivityIndicator(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(side, side);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        m_timer.setInterval(80);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % spokes;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override
    {
        if (!DesignContext::of(this).reduceMotion)
            m_timer.start();
    }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor base = DesignContext::of(this).color(ColorToken::muted);
        const QPointF centre = QRectF(rect()).center();
        const qreal outer = side / 2.0 - 1;
        const qreal inner = outer * 0.45;
        for (int i = 0; i < spokes; ++i) {
            // The spoke at the current step is the darkest; the ones behind it fade out.
            const int age = (m_step - i + spokes) % spokes;
            QColor color = base;
            color.setAlphaF(float(1.0 - 0.8 * age / qreal(spokes - 1)));
            QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap);
            painter.setPen(pen);
            const qreal angle = 2 * M_PI * i / spokes - M_PI / 2;
            const QPointF direction(std::cos(angle), std::sin(angle));
            painter.drawLine(centre + direction * inner, centre + direction * outer);
        }
    }

private:
    static constexpr int side = 16;
    static constexpr int spokes = 8;
    QTimer m_timer;
    int m_step = 0;
};

// A band of the notice: its background colour, padding on every edge, and a hairline along
// the bottom drawn over the content (it adds no height).
class NoticeBand final : public QWidget {
public:
    NoticeBand(ColorToken background, QWidget* parent) : QWidget(parent), m_background(background) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const DesignContext context = DesignContext::of(this);
        painter.fillRect(rect(), context.color(m_background));
        // The hairline of the window's dividers, at the band's own opacity.
        QColor divider = context.color(ColorToken::muted);
        divider.setAlphaF(float(0.55 * dividerOpacity));
        painter.fillRect(QRect(0, height() - 1, width(), 1), divider);
    }

private:
    ColorToken m_background;
};

// A bordered push button in the body style at its ideal size.
QPushButton* makeCancelButton(QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("Cancel"), parent);
    button->setFont(TolviDesign::font(Typography::body));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAccessibleName(QStringLiteral("Cancel paste queue"));
    button->setToolTip(QStringLiteral("Stop pasting the remaining items."));
    return button;
}

// The stopped band's close control: a muted cross centred in a 28 x 28 square that is all hit area.
class DismissButton final : public QAbstractButton {
public:
    explicit DismissButton(QWidget* parent) : QAbstractButton(parent)
    {
        setFixedSize(side, side);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(QStringLiteral("Dismiss paste notice"));
        setToolTip(QStringLiteral("Dismiss paste notice"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        if (isDown())
            painter.setOpacity(0.6);
        // The cross is drawn at the size of an 11-point semibold glyph.
        const int glyph = symbolSide(11);
        const QRectF glyphRect(QPointF(0, 0), QSizeF(glyph, glyph));
        SymbolCatalog::paint(painter, glyphRect.translated(QRectF(rect()).center() - glyphRect.center()),
                             QStringLiteral("xmark"), context.color(ColorToken::muted));
        if (hasFocus()) {
            painter.setOpacity(1);
            painter.setPen(QPen(context.color(ColorToken::electricBlue), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 6, 6);
        }
    }

private:
    static constexpr int side = 28;
};

// The one-row arrangement of a waiting queue: the summary at its ideal width, a gap of at
// least 12 around a flexible space, then the actions. Its preferred size is that of the
// pieces, wherever they are placed at the moment, so the choice between arrangements does not
// depend on which of them holds the pieces.
class OneRowArrangement final : public QWidget {
public:
    OneRowArrangement(QWidget* summary, QWidget* actions, QWidget* parent)
        : QWidget(parent), m_summary(summary), m_actions(actions)
    {
        m_layout = new QHBoxLayout(this);
        m_layout->setContentsMargins(0, 0, 0, 0);
        m_layout->setSpacing(0);
        m_layout->addSpacing(spacing);
        m_layout->addSpacerItem(new QSpacerItem(minimumGap, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
        m_layout->addSpacing(spacing);
    }

    void adopt()
    {
        m_layout->insertWidget(0, m_summary, 0, Qt::AlignVCenter);
        m_layout->addWidget(m_actions, 0, Qt::AlignVCenter);
    }

    QSize sizeHint() const override
    {
        const QSize summary = m_summary->sizeHint();
        const QSize actions = m_actions->sizeHint();
        return {summary.width() + 2 * spacing + minimumGap + actions.width(), std::max(summary.height(), actions.height())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    static constexpr int spacing = 12;
    static constexpr int minimumGap = 12;
    QWidget* m_summary;
    QWidget* m_actions;
    QHBoxLayout* m_layout;
};

// The two-row arrangement: the summary, then the actions at the trailing edge.
class TwoRowArrangement final : public QWidget {
public:
    TwoRowArrangement(QWidget* summary, QWidget* actions, QWidget* parent)
        : QWidget(parent), m_summary(summary), m_actions(actions)
    {
        m_layout = new QVBoxLayout(this);
        m_layout->setContentsMargins(0, 0, 0, 0);
        m_layout->setSpacing(spacing);
    }

    void adopt()
    {
        m_layout->addWidget(m_summary, 0, Qt::AlignLeft);
        m_layout->addWidget(m_actions, 0, Qt::AlignRight);
    }

    QSize sizeHint() const override
    {
        const QSize summary = m_summary->sizeHint();
        const QSize actions = m_actions->sizeHint();
        return {std::max(summary.width(), actions.width()), summary.height() + spacing + actions.height()};
    }
    // The height follows the width chosen; asking for it up front would make every band as
    // tall as this arrangement, also while the one-row arrangement is shown.
    QSize minimumSizeHint() const override { return {sizeHint().width(), 0}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int) const override { return sizeHint().height(); }

private:
    static constexpr int spacing = 10;
    QWidget* m_summary;
    QWidget* m_actions;
    QVBoxLayout* m_layout;
};

// Stacks two texts with 3 points between them.
QVBoxLayout* textStack(QWidget* owner)
{
    auto* stack = new QVBoxLayout(owner);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(3);
    return stack;
}

} // namespace

PasteQueueNotice::PasteQueueNotice(PasteService& service, std::function<void()> beforePaste, QWidget* parent)
    : SpokenNotice(parent)
    , m_service(&service)
    , m_beforePaste(std::move(beforePaste))
{
    QVBoxLayout* root = column();

    const int bodySymbol = symbolSide(TolviDesign::layoutPointSize(Typography::body));
    const int metaSymbol = symbolSide(TolviDesign::layoutPointSize(Typography::meta));

    // Preparing: indicator, what is happening and how far it got, then "Cancel".
    {
        m_preparingBand = new NoticeBand(ColorToken::surface, this);
        auto* row = new QHBoxLayout(m_preparingBand);
        row->setContentsMargins(bandPadding, bandPadding, bandPadding, bandPadding);
        row->setSpacing(12);
        row->addWidget(new ActivityIndicator(m_preparingBand), 0, Qt::AlignVCenter);

        auto* texts = new QWidget(m_preparingBand);
        auto* stack = textStack(texts);
        // In a narrow window the texts wrap rather than lose their ends.
        QLabel* title = makeText(TolviDesign::font(Typography::bodyStrong), true, texts);
        title->setText(QStringLiteral("Preparing paste\u2026"));
        stack->addWidget(title);
        m_preparingCount = makeText(TolviDesign::font(Typography::meta), true, texts, true);
        stack->addWidget(m_preparingCount);
        row->addWidget(texts, 0, Qt::AlignVCenter);

        row->addSpacerItem(new QSpacerItem(8, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
        m_preparingCancel = makeCancelButton(m_preparingBand);
        connect(m_preparingCancel, &QPushButton::clicked, this, &PasteQueueNotice::cancelQueue);
        row->addWidget(m_preparingCancel, 0, Qt::AlignVCenter);
        root->addWidget(m_preparingBand);
    }

    // Waiting: the counts and the actions on one row or two, and the destination's warning.
    {
        m_waitingBand = new NoticeBand(ColorToken::focusedRowFill, this);
        auto* column = new QVBoxLayout(m_waitingBand);
        column->setContentsMargins(bandPadding, bandPadding, bandPadding, bandPadding);
        column->setSpacing(10);

        m_summary = new QWidget(m_waitingBand);
        m_summary->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        m_summary->setToolTip(
            QStringLiteral("Check the destination app to confirm each item appears before continuing."));
        auto* summaryRow = new QHBoxLayout(m_summary);
        summaryRow->setContentsMargins(0, 0, 0, 0);
        summaryRow->setSpacing(9);
        summaryRow->addWidget(new TolviSymbolMark(QStringLiteral("list.number"), ColorToken::electricBlue, bodySymbol,
                                                  m_summary),
                              0, Qt::AlignVCenter);
        auto* counts = new QWidget(m_summary);
        auto* countStack = textStack(counts);
        m_remaining = makeText(TolviDesign::font(Typography::bodyStrong), false, counts);
        countStack->addWidget(m_remaining);
        m_sent = makeText(TolviDesign::font(Typography::meta), false, counts, true);
        countStack->addWidget(m_sent);
        summaryRow->addWidget(counts, 0, Qt::AlignVCenter);

        m_actions = new QWidget(m_waitingBand);
        m_actions->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        auto* actionRow = new QHBoxLayout(m_actions);
        actionRow->setContentsMargins(0, 0, 0, 0);
        actionRow->setSpacing(8);
        m_pasteNext = new TolviPrimaryButton(QStringLiteral("Paste Next"), m_actions);
        m_pasteNext->setAutoDefault(false);
        m_pasteNext->setFocusPolicy(Qt::StrongFocus);
        m_pasteNext->setToolTip(QStringLiteral(
            "Send the next item to the destination app. Check that it appears before continuing."));
        connect(m_pasteNext, &QPushButton::clicked, this, &PasteQueueNotice::pasteNext);
        actionRow->addWidget(m_pasteNext, 0, Qt::AlignVCenter);
        m_waitingCancel = makeCancelButton(m_actions);
        connect(m_waitingCancel, &QPushButton::clicked, this, &PasteQueueNotice::cancelQueue);
        actionRow->addWidget(m_waitingCancel, 0, Qt::AlignVCenter);

        m_arrangement = new FirstFittingArrangement(m_waitingBand);
        m_arrangement->addArrangement(new OneRowArrangement(m_summary, m_actions, nullptr));
        m_arrangement->addArrangement(new TwoRowArrangement(m_summary, m_actions, nullptr));
        placeWaitingPieces(m_arrangement->currentIndex());
        connect(m_arrangement, &FirstFittingArrangement::arrangementChanged, this,
                &PasteQueueNotice::placeWaitingPieces);
        column->addWidget(m_arrangement);

        m_warningLine = new QWidget(m_waitingBand);
        auto* warningRow = new QHBoxLayout(m_warningLine);
        warningRow->setContentsMargins(0, 0, 0, 0);
        warningRow->setSpacing(7);
        // Lowered so that the symbol sits on the first line of the warning.
        warningRow->addWidget(TolviSymbolMark::onFirstLine(QStringLiteral("exclamationmark.circle"), ColorToken::amber,
                                                           metaSymbol, TolviDesign::font(Typography::meta),
                                                           m_warningLine),
                              0, Qt::AlignTop);
        m_warning = makeText(TolviDesign::font(Typography::meta), true, m_warningLine);
        warningRow->addWidget(m_warning, 1);
        column->addWidget(m_warningLine);
        root->addWidget(m_waitingBand);
    }

    // Stopped: why, and a way to put the notice away.
    {
        m_stoppedBand = new NoticeBand(ColorToken::surface, this);
        auto* row = new QHBoxLayout(m_stoppedBand);
        row->setContentsMargins(bandPadding, bandPadding, bandPadding, bandPadding);
        row->setSpacing(10);
        row->addWidget(new TolviSymbolMark(QStringLiteral("exclamationmark.circle"), ColorToken::amber, bodySymbol, 2,
                                           m_stoppedBand),
                       0, Qt::AlignTop);
        auto* texts = new QWidget(m_stoppedBand);
        auto* stack = textStack(texts);
        m_stoppedText = makeText(TolviDesign::font(Typography::bodyStrong), false, texts);
        m_stoppedText->setText(QStringLiteral("Paste stopped"));
        stack->addWidget(m_stoppedText);
        m_reason = makeText(TolviDesign::font(Typography::meta), true, texts);
        stack->addWidget(m_reason);
        row->addWidget(texts, 1, Qt::AlignTop);
        m_dismiss = new DismissButton(m_stoppedBand);
        connect(m_dismiss, &QAbstractButton::clicked, this, &PasteQueueNotice::dismiss);
        row->addWidget(m_dismiss, 0, Qt::AlignTop);
        root->addWidget(m_stoppedBand);
    }

    m_preparingBand->hide();
    m_waitingBand->hide();
    m_stoppedBand->hide();

    // What is on screen when the notice appears is not news: only later changes are spoken.
    startAnnouncing(announcement(service.queueStatus(), service.queueDestinationWarning()));
    connect(&service, &PasteService::queueStatusChanged, this, &PasteQueueNotice::scheduleRender);
    connect(&service, &PasteService::queueDestinationWarningChanged, this, &PasteQueueNotice::scheduleRender);
    render();
}

PasteQueueNotice::~PasteQueueNotice() = default;

int PasteQueueNotice::remainingCount(int completed, int total)
{
    return std::max(total - completed, 0);
}

int PasteQueueNotice::nextItemNumber(int completed, int total)
{
    return std::min(completed + 1, total);
}

std::optional<QString> PasteQueueNotice::announcement(const Status& status, const std::optional<QString>& warning)
{
    const QString completed = QString::number(status.completed);
    const QString total = QString::number(status.total);
    switch (status.kind) {
    case Status::Kind::preparing:
        return QStringLiteral("Preparing paste. ") + completed + QStringLiteral(" of ") + total +
               QStringLiteral(" sent. Cancel paste queue is available.");
    case Status::Kind::ready: {
        QString message = QStringLiteral("Paste queue ready. ") + completed + QStringLiteral(" of ") + total +
                          QStringLiteral(" sent, ") + QString::number(remainingCount(status.completed, status.total)) +
                          QStringLiteral(" remaining.");
        if (warning)
            message += QLatin1Char(' ') + *warning;
        return message;
    }
    case Status::Kind::completed:
        return QStringLiteral("Paste queue finished. ") + total + QStringLiteral(" items sent.");
    case Status::Kind::cancelled:
        return QStringLiteral("Paste stopped. ") + status.reason;
    case Status::Kind::idle:
        return std::nullopt;
    }
    return std::nullopt;
}

QPushButton* PasteQueueNotice::pasteNextButton() const
{
    return m_band == Band::waiting ? m_pasteNext : nullptr;
}

QPushButton* PasteQueueNotice::cancelButton() const
{
    switch (m_band) {
    case Band::preparing:
        return m_preparingCancel;
    case Band::waiting:
        return m_waitingCancel;
    case Band::stopped:
    case Band::none:
        break;
    }
    return nullptr;
}

QAbstractButton* PasteQueueNotice::dismissButton() const
{
    return m_band == Band::stopped ? m_dismiss : nullptr;
}

void PasteQueueNotice::scheduleRender()
{
    if (m_renderPending)
        return;
    m_renderPending = true;
    QMetaObject::invokeMethod(this, &PasteQueueNotice::render, Qt::QueuedConnection);
}

void PasteQueueNotice::render()
{
    m_renderPending = false;
    const Status status = m_service ? m_service->queueStatus() : Status::idle();
    const std::optional<QString> warning = m_service ? m_service->queueDestinationWarning() : std::nullopt;
    const std::optional<QString> message = announcement(status, warning);

    Band band = Band::none;
    switch (status.kind) {
    case Status::Kind::preparing:
        band = Band::preparing;
        m_preparingCount->setText(sentText(status.completed, status.total));
        break;
    case Status::Kind::ready: {
        band = Band::waiting;
        const int remaining = remainingCount(status.completed, status.total);
        m_remaining->setText(QStringLiteral("%1 remaining").arg(remaining));
        m_sent->setText(sentText(status.completed, status.total));
        m_summary->setAccessibleName(QStringLiteral("Paste queue. %1 of %2 sent, %3 remaining.")
                                         .arg(status.completed)
                                         .arg(status.total)
                                         .arg(remaining));
        m_pasteNext->setAccessibleName(QStringLiteral("Paste next item, %1 of %2")
                                           .arg(nextItemNumber(status.completed, status.total))
                                           .arg(status.total));
        m_warning->setText(warning.value_or(QString()));
        m_warningLine->setVisible(warning.has_value());
        break;
    }
    case Status::Kind::cancelled:
        band = Band::stopped;
        m_reason->setText(status.reason);
        break;
    case Status::Kind::completed:
    case Status::Kind::idle:
        break;
    }

    // A finished queue is still spoken before the notice hides.
    present(band != Band::none, message, [this, band] { showBand(band); });
}

void PasteQueueNotice::showBand(Band band)
{
    const bool changed = band != m_band;
    m_band = band;
    // The band that goes away may hold the keyboard focus; the one that comes gets it back
    // unless the focus lies elsewhere by then.
    const bool hadFocus = QApplication::focusWidget() && isAncestorOf(QApplication::focusWidget());
    m_preparingBand->setVisible(band == Band::preparing);
    m_waitingBand->setVisible(band == Band::waiting);
    m_stoppedBand->setVisible(band == Band::stopped);
    applyVisibility();
    if (changed && hadFocus && !(QApplication::focusWidget() && isAncestorOf(QApplication::focusWidget()))) {
        QWidget* next = band == Band::waiting   ? static_cast<QWidget*>(m_pasteNext)
                        : band == Band::preparing ? static_cast<QWidget*>(m_preparingCancel)
                        : band == Band::stopped   ? static_cast<QWidget*>(m_dismiss)
                                                  : nullptr;
        if (next)
            next->setFocus(Qt::OtherFocusReason);
    }
    updateGeometry();
}

void PasteQueueNotice::placeWaitingPieces(int arrangement)
{
    QWidget* focused = QApplication::focusWidget();
    const bool keepFocus = focused && (m_summary->isAncestorOf(focused) || m_actions->isAncestorOf(focused));
    if (arrangement == 0)
        static_cast<OneRowArrangement*>(m_arrangement->currentArrangement())->adopt();
    else if (arrangement == 1)
        static_cast<TwoRowArrangement*>(m_arrangement->currentArrangement())->adopt();
    // A widget moved to another parent is hidden until shown again, and loses the focus.
    m_summary->show();
    m_actions->show();
    if (keepFocus)
        focused->setFocus(Qt::OtherFocusReason);
}

void PasteQueueNotice::pasteNext()
{
    // Copies: closing the window before the paste may take this notice with it.
    const QPointer<PasteService> service = m_service;
    if (const std::function<void()> beforePaste = m_beforePaste)
        beforePaste();
    if (service)
        service->pasteNextQueuedItem();
}

void PasteQueueNotice::cancelQueue()
{
    if (m_service)
        m_service->cancelPendingPaste(cancelReason);
}

void PasteQueueNotice::dismiss()
{
    // Only a stopped paste is put away; a queue that waits or an item being prepared stays.
    // Nothing is queued or prepared while the service has no active destination and no items.
    if (!m_service || m_service->queueStatus().kind != Status::Kind::cancelled)
        return;
    if (!m_service->queuedContents().isEmpty() || m_service->activeTargetPID())
        return;
    m_service->resetPendingPaste();
}

} // namespace tolvi
