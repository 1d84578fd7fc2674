#include "Tolvi/history/NarrowClipActions.h"

#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/clipviews/SymbolPrimaryButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using OCRStatus = ClipboardStore::OCRStatus;

namespace {

int symbolSide(Typography style)
{
    return SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(style));
}

// A push button in the platform's look with a symbol in its text colour before the title, as
// tall as the primary button beside it (with the same margin around the drawn body).
class SymbolButton final : public QPushButton {
public:
    SymbolButton(const QString& title, QString systemImage, QWidget* parent)
        : QPushButton(title, parent), m_systemImage(std::move(systemImage))
    {
        setAutoDefault(false);
        const int side = symbolSide(Typography::body);
        setIconSize(QSize(side, side));
        updateIcon();
    }

    QSize sizeHint() const override
    {
        const int m = TolviPrimaryButtonStyle::ringMargin;
        const QSize body = TolviPrimaryButtonStyle::bodySize(text());
        return {iconSize().width() + symbolSpacing + fontMetrics().horizontalAdvance(text())
                    + 2 * TolviPrimaryButtonStyle::horizontalPadding + 2 * m,
                body.height() + 2 * m};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void changeEvent(QEvent* event) override
    {
        QPushButton::changeEvent(event);
        if (event->type() == QEvent::PaletteChange)
            updateIcon();
    }
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
    static constexpr int symbolSpacing = 6;

    QRect body() const
    {
        const int m = TolviPrimaryButtonStyle::ringMargin;
        return rect().adjusted(m, m, -m, -m);
    }

    void updateIcon()
    {
        const int side = iconSize().width();
        QIcon icon;
        icon.addPixmap(SymbolCatalog::pixmap(m_systemImage, side, palette().color(QPalette::Active, QPalette::ButtonText),
                                             devicePixelRatioF()),
                       QIcon::Normal);
        icon.addPixmap(SymbolCatalog::pixmap(m_systemImage, side,
                                             palette().color(QPalette::Disabled, QPalette::ButtonText),
                                             devicePixelRatioF()),
                       QIcon::Disabled);
        setIcon(icon);
    }

    QString m_systemImage;
};

// A bordered push button with room around its title.
class PaddedButton final : public QPushButton {
public:
    PaddedButton() { setAutoDefault(false); }

    QSize sizeHint() const override
    {
        const QSize hint = QPushButton::sizeHint();
        return {fontMetrics().horizontalAdvance(text()) + 2 * 10, std::max(hint.height(), fontMetrics().height() + 10)};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

// A small spinning arc: recognition is running. Still when the user asked for less motion.
class BusyIndicator final : public QWidget {
public:
    explicit BusyIndicator(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(12, 12);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override
    {
        if (DesignContext::of(this).animationDuration(1) > 0)
            m_timer.start();
    }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        QColor track = context.color(ColorToken::muted);
        track.setAlphaF(0.3f);
        const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(track, 2));
        painter.drawEllipse(ring);
        painter.setPen(QPen(context.color(ColorToken::muted), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, (90 - m_angle) * 16, -100 * 16);
    }

private:
    QTimer m_timer;
    int m_angle = 0;
};

// The recognition line: the status and the button side by side (centred on each other) while
// both fit the width, else the status above the button.
class OCRRowBox final : public QWidget {
public:
    OCRRowBox(QWidget* status, QWidget* button, QWidget* parent) : QWidget(parent), m_status(status), m_button(button)
    {
        m_status->setParent(this);
        m_button->setParent(this);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool sideBySide(int width) const
    {
        if (!shown(m_status) || !shown(m_button))
            return true;
        return m_status->sizeHint().width() + horizontalSpacing + m_button->sizeHint().width() <= width;
    }

    QSize sizeHint() const override
    {
        const QSize status = shown(m_status) ? m_status->sizeHint() : QSize();
        const QSize button = shown(m_button) ? m_button->sizeHint() : QSize();
        const int gap = status.isValid() && button.isValid() ? horizontalSpacing : 0;
        return {std::max(status.width(), 0) + gap + std::max(button.width(), 0),
                std::max(status.height(), button.height())};
    }
    QSize minimumSizeHint() const override
    {
        QSize size;
        if (shown(m_status))
            size = size.expandedTo(m_status->minimumSizeHint());
        if (shown(m_button))
            size = size.expandedTo(m_button->minimumSizeHint());
        return size;
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        if (sideBySide(width))
            return sizeHint().height();
        return statusHeight(width) + verticalSpacing + m_button->sizeHint().height();
    }

protected:
    void resizeEvent(QResizeEvent*) override { place(); }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::LayoutRequest)
            place();
        return QWidget::event(event);
    }

private:
    static constexpr int horizontalSpacing = 10;
    static constexpr int verticalSpacing = 6;

    static bool shown(const QWidget* widget) { return !widget->isHidden(); }

    int statusHeight(int width) const
    {
        const int w = std::min(width, m_status->sizeHint().width());
        return m_status->hasHeightForWidth() ? m_status->heightForWidth(w) : m_status->sizeHint().height();
    }

    void place()
    {
        const int w = width();
        const QSize status = m_status->sizeHint();
        const QSize button = m_button->sizeHint();
        if (!shown(m_status)) {
            m_button->setGeometry(QRect(QPoint(0, 0), button));
            return;
        }
        if (!shown(m_button)) {
            const int sw = std::min(w, status.width());
            m_status->setGeometry(0, 0, sw, statusHeight(sw));
            return;
        }
        if (sideBySide(w)) {
            const int rowHeight = std::max(status.height(), button.height());
            m_status->setGeometry(0, (rowHeight - status.height()) / 2, status.width(), status.height());
            m_button->setGeometry(status.width() + horizontalSpacing, (rowHeight - button.height()) / 2,
                                  button.width(), button.height());
            return;
        }
        const int sw = std::min(w, status.width());
        const int sh = statusHeight(sw);
        m_status->setGeometry(0, 0, sw, sh);
        m_button->setGeometry(0, sh + verticalSpacing, std::min(w, button.width()), button.height());
    }

    QWidget* m_status;
    QWidget* m_button;
};

QLabel* noteLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TolviDesign::font(Typography::meta));
    // The theme's palette carries the muted token as the placeholder colour.
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

bool hasFileReferences(const ClipboardItem& item)
{
    return item.originalPayload() && !item.originalPayload()->fileURLs().isEmpty();
}

} // namespace

// ---- Strip ------------------------------------------------------------------------------

NarrowClipActions::NarrowClipActions(HistoryWindowState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state)
{
    setObjectName(QStringLiteral("narrowClipActions"));
    setAccessibleName(QStringLiteral("Selected clip actions"));
    setFont(TolviDesign::font(Typography::body));

    auto* layout = new QVBoxLayout(this);
    // The buttons keep a focus-ring margin around what they draw: the layout leaves that much
    // less room around them, and indents the lines under them by as much, so that everything
    // drawn keeps the strip's padding and spacing.
    const int ring = TolviPrimaryButtonStyle::ringMargin;
    layout->setContentsMargins(14 - ring, 10 - ring, 14 - ring, 10 - ring);
    layout->setSpacing(8 - ring);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_paste = new SymbolPrimaryButton(QStringLiteral("Paste"), QStringLiteral("arrow.down.doc"), this);
    m_paste->setObjectName(QStringLiteral("narrowPaste"));
    m_paste->setAccessibleName(QStringLiteral("Paste selected clip"));
    m_copy = new SymbolButton(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), this);
    m_copy->setObjectName(QStringLiteral("narrowCopy"));
    m_copy->setAccessibleName(QStringLiteral("Copy selected clip"));
    m_inspect = new SymbolButton(QStringLiteral("Inspect"), QStringLiteral("rectangle.expand.vertical"), this);
    m_inspect->setObjectName(QStringLiteral("narrowInspect"));
    m_inspect->setAccessibleName(QStringLiteral("Inspect selected clip"));
    m_inspect->setToolTip(QStringLiteral("View the full clip and its details."));
    buttons->addWidget(m_paste, 0, Qt::AlignVCenter);
    buttons->addWidget(m_copy, 0, Qt::AlignVCenter);
    buttons->addWidget(m_inspect, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    auto* details = new QVBoxLayout;
    details->setContentsMargins(ring, 0, ring, ring);
    details->setSpacing(8);
    layout->addLayout(details);

    m_fileNote = noteLabel(this);
    m_fileNote->setObjectName(QStringLiteral("narrowFileNote"));
    m_fileNote->setText(QStringLiteral("Paste and Copy use the original file references."));
    details->addWidget(m_fileNote);

    m_ocrStatusRow = new QWidget;
    auto* statusLayout = new QHBoxLayout(m_ocrStatusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(6);
    m_ocrProgress = new BusyIndicator(m_ocrStatusRow);
    m_ocrStatus = new OCRStatusLabel(OCRStatus::processing, m_ocrStatusRow);
    statusLayout->addWidget(m_ocrProgress, 0, Qt::AlignVCenter);
    statusLayout->addWidget(m_ocrStatus, 0, Qt::AlignVCenter);
    m_ocrButton = new PaddedButton;
    m_ocrButton->setObjectName(QStringLiteral("narrowOCRButton"));
    m_ocrButton->setAutoDefault(false);
    m_ocrButton->setFont(TolviDesign::font(Typography::meta));
    m_ocrButton->setToolTip(QStringLiteral("Read text from this saved image. The image stays available to copy or paste."));
    m_ocrRow = new OCRRowBox(m_ocrStatusRow, m_ocrButton, this);
    m_ocrRow->setObjectName(QStringLiteral("narrowOCRRow"));
    details->addWidget(m_ocrRow);

    m_ocrNote = noteLabel(this);
    m_ocrNote->setObjectName(QStringLiteral("narrowOCRNote"));
    details->addWidget(m_ocrNote);

    connect(m_paste, &QPushButton::clicked, this, [this] {
        if (const std::optional<ClipboardItem> item = currentItem(); item && m_state.actions().pasteItem)
            m_state.actions().pasteItem(*item);
    });
    connect(m_copy, &QPushButton::clicked, this, [this] {
        if (const std::optional<ClipboardItem> item = currentItem(); item && m_state.actions().copyItem)
            m_state.actions().copyItem(*item);
    });
    connect(m_inspect, &QPushButton::clicked, this, [this] {
        if (const std::optional<ClipboardItem> item = currentItem())
            m_state.openPreview(*item);
    });
    connect(m_ocrButton, &QPushButton::clicked, this, [this] {
        const std::optional<ClipboardItem> item = currentItem();
        // Checked again: a click that arrives after recognition started again asks nothing.
        if (item && m_state.canRetryOCR(*item) && m_state.actions().retryOCR)
            m_state.actions().retryOCR(*item);
    });

    connect(&m_state, &HistoryWindowState::lensChanged, this, &NarrowClipActions::refresh);
    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, &NarrowClipActions::refresh);
    connect(&m_state, &HistoryWindowState::overlayAvailabilityChanged, this, &NarrowClipActions::refresh);
    connect(&m_state.store(), &ClipboardStore::ocrStatusesChanged, this, &NarrowClipActions::refresh);
    connect(&m_state.store(), &ClipboardStore::ocrInProgressChanged, this, &NarrowClipActions::refresh);
    refresh();
}

NarrowClipActions::~NarrowClipActions() = default;

std::optional<ClipboardItem> NarrowClipActions::currentItem() const
{
    if (!m_itemID)
        return std::nullopt;
    return m_state.store().item(*m_itemID);
}

bool NarrowClipActions::isOCRRowSideBySide() const
{
    return static_cast<const OCRRowBox*>(m_ocrRow)->sideBySide(m_ocrRow->width());
}

int NarrowClipActions::preferredHeight(int width) const
{
    // Without a wrapping note or recognition line shown, the height does not depend on the width.
    return hasHeightForWidth() ? heightForWidth(width) : sizeHint().height();
}

std::optional<ClipboardStore::OCRStatus> NarrowClipActions::ocrRowStatus(const ClipboardStore& store,
                                                                         const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return std::nullopt;
    if (const std::optional<OCRStatus> status = store.ocrStatusOf(*image))
        return status;
    if (store.isRecognizing(*image))
        return OCRStatus::processing;
    return std::nullopt;
}

QString NarrowClipActions::ocrButtonTitle(const ClipboardStore& store, const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (image && store.ocrStatusOf(*image))
        return QStringLiteral("Retry Text Recognition");
    return QStringLiteral("Read Image Text");
}

std::optional<QString> NarrowClipActions::ocrNoteText(ClipboardStore::OCRStatus status)
{
    switch (status) {
    case OCRStatus::failed:
    case OCRStatus::unsupportedImage:
    case OCRStatus::timedOut:
    case OCRStatus::cancelled:
        return QStringLiteral("The image is still available to copy or paste.");
    case OCRStatus::busy:
        return QStringLiteral("Text recognition is still finishing another image. Try again shortly.");
    case OCRStatus::processing:
    case OCRStatus::noText:
        break;
    }
    return std::nullopt;
}

void NarrowClipActions::refresh()
{
    const std::optional<ClipboardItem> item = m_state.lensItem();
    const std::optional<QUuid> id = item ? std::optional(item->id()) : std::nullopt;
    const bool otherClip = id != m_itemID;
    m_itemID = id;

    std::optional<OCRStatus> status;
    bool ocrRow = false;
    bool canRetry = false;
    if (item) {
        status = ocrRowStatus(m_state.store(), *item);
        canRetry = m_state.canRetryOCR(*item);
        ocrRow = item->content().isImage() && (status || canRetry);
    }

    m_paste->setEnabled(item.has_value());
    m_copy->setEnabled(item.has_value());
    // Only where the window can show the preview; elsewhere the button would do nothing.
    m_inspect->setEnabled(item && m_state.canPresent(HistoryOverlay::preview));
    m_fileNote->setVisible(item && hasFileReferences(*item));

    m_ocrRow->setVisible(ocrRow);
    m_ocrStatusRow->setVisible(status.has_value());
    if (status)
        m_ocrStatus->setStatus(*status);
    m_ocrProgress->setVisible(status == OCRStatus::processing);
    m_ocrButton->setVisible(canRetry);
    if (item && canRetry) {
        const QString title = ocrButtonTitle(m_state.store(), *item);
        m_ocrButton->setText(title);
        m_ocrButton->setAccessibleName(title + QStringLiteral(" for selected image"));
    }
    const std::optional<QString> note = ocrRow && status ? ocrNoteText(*status) : std::nullopt;
    m_ocrNote->setVisible(note.has_value());
    m_ocrNote->setText(note.value_or(QString()));
    m_ocrRow->updateGeometry();

    const std::optional<QString> message =
        ocrRow && status ? std::optional(OCRStatusLabel::presentation(*status).message) : std::nullopt;
    if (otherClip || !m_announcement) {
        delete m_announcement;
        m_announcement = tolviAccessibilityAnnouncement(this, message);
    } else {
        m_announcement->setMessage(message);
    }
    updateGeometry();
}

void NarrowClipActions::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void NarrowClipActions::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), DesignContext::of(this).color(ColorToken::surface));
}

} // namespace tolvi
