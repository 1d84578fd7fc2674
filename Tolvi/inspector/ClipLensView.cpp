// ClipLensView's pane: its header, primary actions and scrolling column, built once.

#include "Tolvi/inspector/ClipLensView.h"

#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/inspector/ClipLensViewParts.h"
#include "Tolvi/inspector/ClipPreviewSurface.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "Tolvi/inspector/SelectablePlainText.h"
#include "Tolvi/inspector/ShownText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using OCRStatus = ClipboardStore::OCRStatus;

namespace lensview {

QLabel* plainLabel(Typography style, QPalette::ColorRole role, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TolviDesign::font(style));
    label->setForegroundRole(role);
    label->setWordWrap(true);
    return label;
}

// A row of buttons at their own widths whose bodies line up with the row's edges.
QWidget* buttonRow(QWidget* parent, int spacing)
{
    auto* row = new QWidget(parent);
    new ButtonGridLayout(0, spacing, row);
    return row;
}

} // namespace lensview

using lensview::buttonRow;
using lensview::plainLabel;

namespace {

// The recognition card's rounded surface.
class OCRCard final : public QWidget {
public:
    explicit OCRCard(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedShape(rect(), 10), DesignContext::of(this).color(ColorToken::surface));
    }
};

} // namespace

// ---- The pane ---------------------------------------------------------------------------

ClipLensView::ClipLensView(Actions actions, ThumbnailCache* thumbnails, std::function<double()> now, QWidget* parent)
    : QWidget(parent),
      m_actions(std::move(actions)),
      m_thumbnails(thumbnails),
      m_now(std::move(now))
{
    setObjectName(QStringLiteral("clipLens"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);
    buildHeader(layout);
    buildPrimaryActions(layout);
    buildColumn(layout);

    // Return is the Paste button's while the focus is in the pane (a keyboard user tabbed to
    // one of its buttons). In the list Return is the window's own paste, which also sends a
    // multi-paste choice; in the search field it pastes nothing. Both keep it.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, m_paste, &QAbstractButton::click);
    }
}

ClipLensView::~ClipLensView() = default;

void ClipLensView::withItem(const std::function<void(const Actions&, const ClipboardItem&)>& act) const
{
    if (m_input)
        act(m_actions, m_input->item);
}

void ClipLensView::buildHeader(QVBoxLayout* layout)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    m_iconTile = new TolviIconTile(m_kind.systemImage(), m_kind.tint(), this);
    row->addWidget(m_iconTile, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    m_title = new LineLimitedLabel(Typography::title, ColorToken::ink, 1, this);
    m_metadata = new LineLimitedLabel(Typography::meta, ColorToken::muted, 1, this);
    titles->addWidget(m_title);
    titles->addWidget(m_metadata);
    row->addLayout(titles, 1);
    m_quickLook = new InspectorButton(QString(), QStringLiteral("rectangle.expand.vertical"),
                                      InspectorButton::Look::plain, this);
    m_quickLook->setFixedSize(QSize(26, 26) + 2 * QSize(TolviPrimaryButtonStyle::ringMargin, TolviPrimaryButtonStyle::ringMargin));
    m_quickLook->setAccessibleName(QStringLiteral("Quick Look"));
    m_quickLook->setToolTip(QStringLiteral("Quick Look"));
    connect(m_quickLook, &QPushButton::clicked, this, [this] {
        withItem([](const Actions& a, const ClipboardItem& item) {
            if (a.openPreview)
                a.openPreview(item);
        });
    });
    row->addWidget(m_quickLook, 0, Qt::AlignVCenter);
    layout->addLayout(row);
}

void ClipLensView::buildPrimaryActions(QVBoxLayout* layout)
{
    using Look = InspectorButton::Look;
    auto* container = new QWidget(this);
    container->setObjectName(QStringLiteral("clipLensPrimaryActions"));
    auto* grid = new ButtonGridLayout(96, 6, container);
    auto button = [&](const QString& title, const QString& symbol, Look look,
                      void (*act)(const Actions&, const ClipboardItem&)) {
        auto* b = new InspectorButton(title, symbol, look, container);
        grid->addWidget(b);
        if (act) {
            connect(b, &QPushButton::clicked, this, [this, act] { withItem(act); });
        }
        return b;
    };
    m_paste = button(QStringLiteral("Paste"), QStringLiteral("arrow.down.doc"), Look::primary,
                     [](const Actions& a, const ClipboardItem& item) {
                         if (a.pasteItem)
                             a.pasteItem(item);
                     });
    m_paste->setMinimumBodyWidth(82 + 2 * 12);
    m_pasteAs = button(PasteAsMenu::title(), PasteAsMenu::systemImage(), Look::bordered, nullptr);
    m_pasteAsMenu = new QMenu(m_pasteAs);
    m_pasteAsMenu->setAttribute(Qt::WA_WindowPropagation);
    m_pasteAs->setMenu(m_pasteAsMenu);
    connect(m_pasteAsMenu, &QMenu::aboutToShow, this, &ClipLensView::fillPasteAsMenu);
    m_copy = button(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), Look::bordered,
                    [](const Actions& a, const ClipboardItem& item) {
                        if (a.copyItem)
                            a.copyItem(item);
                    });
    m_edit = button(QStringLiteral("Edit"), QStringLiteral("pencil.line"), Look::bordered,
                    [](const Actions& a, const ClipboardItem& item) {
                        if (a.editItem)
                            a.editItem(item);
                    });
    m_pin = button(QStringLiteral("Pin"), QStringLiteral("pin"), Look::bordered,
                   [](const Actions& a, const ClipboardItem& item) {
                       if (a.togglePinned)
                           a.togglePinned(item);
                   });
    m_board = button(QStringLiteral("Board"), QStringLiteral("square.grid.2x2"), Look::bordered, nullptr);
    m_boardMenu = new QMenu(m_board);
    m_boardMenu->setAttribute(Qt::WA_WindowPropagation);
    m_board->setMenu(m_boardMenu);
    connect(m_boardMenu, &QMenu::aboutToShow, this, &ClipLensView::fillBoardMenu);
    layout->addWidget(container);
}

void ClipLensView::buildColumn(QVBoxLayout* layout)
{
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("clipLensColumn"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // In a short window the column gives way first, down to nothing; the header and the
    // primary actions stay whole.
    m_scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    m_scroll->verticalScrollBar()->setSingleStep(24);
    m_scroll->setAccessibleName(QStringLiteral("Clip content and tools"));
    m_scroll->setToolTip(QStringLiteral("Scroll to see the full clip and its tools."));
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    styleScrollBar();

    auto* column = new QWidget;
    column->setAutoFillBackground(false);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 4, 12);
    columnLayout->setSpacing(14);

    buildOCRCard(columnLayout);

    m_fileNote = plainLabel(Typography::meta, QPalette::WindowText, column);
    m_fileNote->setText(QStringLiteral("Copy and Paste use the original files. Keep their locations available."));
    columnLayout->addWidget(m_fileNote);

    auto copyText = [this](const QString& text) {
        if (m_actions.copyText)
            m_actions.copyText(text);
    };
    SelectablePlainText::Appearance preview;
    preview.padding = 14;
    preview.lineSpacing = 3;
    preview.minimumHeight = 100;
    preview.drawsBackground = true;
    m_textPreview = new SelectablePlainText(preview, column);
    m_textPreview->setObjectName(QStringLiteral("clipLensText"));
    m_textPreview->setAccessibleName(QStringLiteral("Clip text"));
    m_textPreview->setCopyHandler(copyText);
    columnLayout->addWidget(m_textPreview);
    m_cutNote = plainLabel(Typography::meta, QPalette::WindowText, column);
    m_cutNote->setText(ShownText::note());
    m_cutNote->setVisible(false);
    columnLayout->addWidget(m_cutNote);
    m_imagePreview = new ClipImagePreview(m_thumbnails, column);
    columnLayout->addWidget(m_imagePreview);
    m_fileList = new ClipFileList(column);
    m_fileList->setCopyHandler(copyText);
    columnLayout->addWidget(m_fileList);

    m_badgeRow = new QWidget(column);
    auto* badges = new QHBoxLayout(m_badgeRow);
    badges->setContentsMargins(0, 0, 0, 0);
    badges->setSpacing(6);
    badges->addStretch(1);
    columnLayout->addWidget(m_badgeRow);

    buildActionsCard(columnLayout);
    columnLayout->addStretch(1);
    m_scroll->setWidget(column);
    layout->addWidget(m_scroll, 1);
}

void ClipLensView::buildOCRCard(QVBoxLayout* column)
{
    m_ocrCard = new OCRCard(column->parentWidget());
    m_ocrCard->setObjectName(QStringLiteral("clipLensRecognition"));
    auto* card = new QVBoxLayout(m_ocrCard);
    card->setContentsMargins(10, 10, 10, 10);
    card->setSpacing(8);

    m_ocrStatusRow = new QWidget(m_ocrCard);
    auto* status = new QHBoxLayout(m_ocrStatusRow);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(8);
    m_ocrProgress = new InspectorBusyIndicator(m_ocrStatusRow);
    m_ocrStatus = new OCRStatusLabel(OCRStatus::processing, m_ocrStatusRow);
    status->addWidget(m_ocrProgress, 0, Qt::AlignVCenter);
    status->addWidget(m_ocrStatus, 1);
    card->addWidget(m_ocrStatusRow);

    m_ocrExplanation = plainLabel(Typography::meta, QPalette::WindowText, m_ocrCard);
    card->addWidget(m_ocrExplanation);

    m_ocrButtonRow = buttonRow(m_ocrCard, 8);
    m_ocrButton = new InspectorButton(QStringLiteral("Read Image Text"), QString(), InspectorButton::Look::bordered,
                                      m_ocrButtonRow);
    m_ocrButton->setToolTip(
        QStringLiteral("Try reading text from this saved image. The image stays available to copy or paste."));
    m_ocrButtonRow->layout()->addWidget(m_ocrButton);
    connect(m_ocrButton, &QPushButton::clicked, this, [this] {
        // Asked again: a click that arrives after recognition started again asks nothing.
        if (m_input && canRetryOCR(*m_input, bool(m_actions.retryOCR)))
            m_actions.retryOCR(m_input->item);
    });
    card->addWidget(m_ocrButtonRow);
    column->addWidget(m_ocrCard);
}

void ClipLensView::buildActionsCard(QVBoxLayout* column)
{
    auto* surface = new TolviGlassSurface(12, ColorToken::softFill, false, column->parentWidget());
    surface->setObjectName(QStringLiteral("clipLensActions"));
    auto* content = new QWidget;
    m_cardLayout = new QVBoxLayout(content);
    m_cardLayout->setContentsMargins(12, 12, 12, 12);
    m_cardLayout->setSpacing(10);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("Actions").toUpper(), content);
    title->setTextFormat(Qt::PlainText);
    title->setFont(TolviDesign::font(Typography::eyebrow));
    title->setForegroundRole(QPalette::PlaceholderText);
    title->setAccessibleName(QStringLiteral("Actions"));
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    m_select = new InspectorButton(QStringLiteral("Select"), QStringLiteral("circle"), InspectorButton::Look::borderless,
                                   content);
    connect(m_select, &QPushButton::clicked, this, [this] {
        withItem([](const Actions& a, const ClipboardItem& item) {
            if (a.toggleQueue)
                a.toggleQueue(item);
        });
    });
    header->addWidget(m_select, 0, Qt::AlignVCenter);
    m_cardLayout->addLayout(header);
    surface->setContentWidget(content);
    column->addWidget(surface);
}

void ClipLensView::styleScrollBar()
{
    // A slim handle in the theme's muted ink, without arrows or a track, as beside the list.
    m_scroll->verticalScrollBar()->setStyleSheet(slimScrollBarStyleSheet(DesignContext::of(this), QStringLiteral("2px 0 2px 0")));
}

void ClipLensView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_scroll)
        styleScrollBar();
}

void ClipLensView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The clip's age moved on while the pane was away.
    if (m_input)
        showHeader();
}

} // namespace tolvi
