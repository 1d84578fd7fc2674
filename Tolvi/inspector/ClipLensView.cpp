#include "Tolvi/inspector/ClipLensView.h"

#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/inspector/LooksLikeCode.h"

#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/inspector/ClipPreviewSurface.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "Tolvi/inspector/SelectablePlainText.h"
#include "Tolvi/inspector/ShownText.h"
#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <array>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using OCRStatus = ClipboardStore::OCRStatus;

namespace {

bool hasFileReferences(const ClipboardItem& item)
{
    return item.originalPayload() && !item.originalPayload()->fileURLs().isEmpty();
}

// The recognised text of an image when it has any (blanks count).
const QString* recognizedTextOf(const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image || !image->recognizedText() || image->recognizedText()->isEmpty())
        return nullptr;
    return &*image->recognizedText();
}

QStringList fileURLsOf(const ClipboardItem& item)
{
    return hasFileReferences(item) ? item.originalPayload()->fileURLs() : QStringList();
}

// Whether two versions of a clip hold what the preview, the kind and the tools are made from.
bool sameContent(const ClipboardItem& a, const ClipboardItem& b)
{
    if (a.sharesDataWith(b))
        return true;
    if (fileURLsOf(a) != fileURLsOf(b))
        return false;
    const QString* textA = a.content().textIf();
    const QString* textB = b.content().textIf();
    if (textA || textB)
        return textA && textB && *textA == *textB;
    const ClipboardImage& imageA = a.content().imageValue();
    const ClipboardImage& imageB = b.content().imageValue();
    return imageA.fingerprint() == imageB.fingerprint() && imageA.recognizedText() == imageB.recognizedText()
        && imageA.pixelWidth() == imageB.pixelWidth() && imageA.pixelHeight() == imageB.pixelHeight();
}

QLabel* plainLabel(Typography style, QPalette::ColorRole role, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TolviDesign::font(style));
    label->setForegroundRole(role);
    label->setWordWrap(true);
    return label;
}

QFont previewFont(const QString& text)
{
    if (!ClipLensView::looksLikeCode(text))
        return TolviDesign::systemFont(13);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(TolviDesign::fontPointsFromLayoutPoints(13));
    font.setWeight(QFont::Normal);
    return font;
}

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

// A row of buttons at their own widths whose bodies line up with the row's edges.
QWidget* buttonRow(QWidget* parent, int spacing)
{
    auto* row = new QWidget(parent);
    new ButtonGridLayout(0, spacing, row);
    return row;
}

struct BadgeSpec {
    QString title;
    QString systemImage;
    ColorToken tint;
    friend bool operator==(const BadgeSpec&, const BadgeSpec&) = default;
};

} // namespace

// ---- Derived values ---------------------------------------------------------------------

bool ClipLensView::canRetryOCR(const Input& input, bool canRetry)
{
    if (!canRetry)
        return false;
    const ClipboardImage* image = input.item.content().imageIf();
    if (!image)
        return false;
    if (input.ocrStatus) {
        switch (*input.ocrStatus) {
        case OCRStatus::noText:
        case OCRStatus::failed:
        case OCRStatus::timedOut:
        case OCRStatus::busy:
        case OCRStatus::cancelled:
            return true;
        case OCRStatus::processing:
        case OCRStatus::unsupportedImage:
            return false;
        }
        return false;
    }
    if (input.isRecognizingText)
        return false;
    return !image->recognizedText() || image->recognizedText()->trimmed().isEmpty();
}

std::optional<QString> ClipLensView::ocrExplanation(const Input& input)
{
    if (!input.item.content().isImage())
        return std::nullopt;
    const std::optional<OCRStatus> status =
        input.ocrStatus ? input.ocrStatus : (input.isRecognizingText ? std::optional(OCRStatus::processing) : std::nullopt);
    if (!status)
        return std::nullopt;
    switch (*status) {
    case OCRStatus::processing:
        return QStringLiteral("The first scan can take up to a minute. This image is still available to copy or paste.");
    case OCRStatus::noText:
        return std::nullopt;
    case OCRStatus::failed:
        return QStringLiteral("Try reading the text again. The image is still available to copy or paste.");
    case OCRStatus::unsupportedImage:
        return QStringLiteral("This image format or size cannot be processed.");
    case OCRStatus::timedOut:
        return QStringLiteral("Text recognition took too long. The image is still available to copy or paste.");
    case OCRStatus::busy:
        return QStringLiteral("Text recognition is still finishing another image. Try again shortly.");
    case OCRStatus::cancelled:
        return QStringLiteral("The recognition request was cancelled. The image is still available to copy or paste.");
    }
    return std::nullopt;
}

std::optional<QString> ClipLensView::ocrAnnouncement(const Input& input)
{
    if (!input.item.content().isImage())
        return std::nullopt;
    if (input.ocrStatus)
        return OCRStatusLabel::presentation(*input.ocrStatus).message;
    if (input.isRecognizingText)
        return OCRStatusLabel::presentation(OCRStatus::processing).message;
    return std::nullopt;
}

bool ClipLensView::looksLikeCode(const QString& text)
{
    return ::tolvi::looksLikeCode(QStringView(text));
}

QList<TextTransform> ClipLensView::prioritizedTransforms(const QString& text)
{
    // The most specific first; case changes, sorting, quoting and numbering stay in the menus.
    static constexpr std::array<TextTransform::Case, 10> priority{
        TextTransform::cleanURL,       TextTransform::markdownLink,   TextTransform::prettyJSON,
        TextTransform::emailDraft,     TextTransform::codeBlock,      TextTransform::trimWhitespace,
        TextTransform::collapseSpaces, TextTransform::checklist,      TextTransform::bulletList,
        TextTransform::slugify,
    };
    constexpr qsizetype shown = 6;
    const QList<TextTransform> available = TextTransform::available(text);
    QList<TextTransform> result;
    for (TextTransform::Case candidate : priority) {
        if (result.size() == shown)
            break;
        if (available.contains(TextTransform(candidate)))
            result.append(candidate);
    }
    return result;
}

QString ClipLensView::systemImage(TextTransform transform)
{
    // The Paste As menu lists every transform with the same symbol.
    return PasteAsMenu::systemImage(transform);
}

QList<ClipLensView::BoardEntry> ClipLensView::boardEntries(const ClipboardItem& item, const QList<Pinboard>& boards)
{
    QList<BoardEntry> entries;
    entries.reserve(boards.size());
    for (const Pinboard& board : boards) {
        const bool holds = item.pinboardIDs().contains(board.id());
        QString text = board.name();
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        entries.append({board, text, holds ? QStringLiteral("checkmark.circle.fill") : board.systemName(), holds});
    }
    return entries;
}

QString ClipLensView::copiedPaths(const ClipboardItem& item)
{
    QStringList paths;
    for (const QString& url : fileURLsOf(item))
        paths.append(ClipFileList::path(url));
    return paths.join(QLatin1Char('\n'));
}

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

// ---- Showing the input ------------------------------------------------------------------

void ClipLensView::setInput(const Input& input)
{
    const bool otherClip = !m_input || m_input->item.id() != input.item.id();
    if (!otherClip && m_input->item.sharesDataWith(input.item) && m_input->isQueued == input.isQueued
        && m_input->isRecognizingText == input.isRecognizingText && m_input->ocrStatus == input.ocrStatus
        && m_input->canEdit == input.canEdit && m_input->canOpenPreview == input.canOpenPreview) {
        // Nothing shown changes; the boards are read when the Board menu opens.
        m_input->pinboards = input.pinboards;
        return;
    }
    const bool contentChanged = otherClip || !sameContent(m_input->item, input.item);
    m_input = input;
    if (contentChanged)
        m_kind = ClipDetectedKind::of(input.item);
    showHeader();
    showPrimaryActions();
    showOCRControls(otherClip);
    if (contentChanged) {
        showPreview();
        showTools();
    }
    showBadges();
    const bool queued = m_input->isQueued;
    m_select->setContent(queued ? QStringLiteral("Selected") : QStringLiteral("Select"),
                         queued ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"));
    // Another clip starts at the top of the column.
    if (otherClip)
        m_scroll->verticalScrollBar()->setValue(0);
}

void ClipLensView::showHeader()
{
    const ClipboardItem& item = m_input->item;
    if (m_iconTile->systemImage() != m_kind.systemImage() || m_iconTile->tint().token() != m_kind.tint()) {
        auto* tile = new TolviIconTile(m_kind.systemImage(), m_kind.tint(), this);
        if (QLayoutItem* replaced = m_iconTile->parentWidget()->layout()->replaceWidget(m_iconTile, tile,
                                                                                         Qt::FindChildrenRecursively))
            delete replaced;
        delete m_iconTile;
        m_iconTile = tile;
    }
    m_title->setText(m_kind.title());
    m_metadata->setText(ClipboardFormatter::metadata(item, m_now ? m_now() : 0));
    m_quickLook->setEnabled(m_input->canOpenPreview);
}

void ClipLensView::showPrimaryActions()
{
    const ClipboardItem& item = m_input->item;
    const bool files = hasFileReferences(item);
    m_pasteAs->setVisible(!files);
    m_edit->setVisible(item.content().isText());
    m_edit->setContent(files ? QStringLiteral("Edit Paths") : QStringLiteral("Edit"), QStringLiteral("pencil.line"));
    m_edit->setEnabled(m_input->canEdit);
    m_pin->setContent(item.isPinned() ? QStringLiteral("Unpin") : QStringLiteral("Pin"),
                      item.isPinned() ? QStringLiteral("pin.slash") : QStringLiteral("pin"));
}

void ClipLensView::showOCRControls(bool otherClip)
{
    const Input& input = *m_input;
    const bool image = input.item.content().isImage();
    const bool canRetry = canRetryOCR(input, bool(m_actions.retryOCR));
    std::optional<OCRStatus> shown = input.ocrStatus;
    if (!shown && input.isRecognizingText)
        shown = OCRStatus::processing;
    const bool card = image && (shown || canRetry);
    m_ocrCard->setVisible(card);
    m_ocrStatusRow->setVisible(card && shown);
    if (shown)
        m_ocrStatus->setStatus(*shown);
    m_ocrProgress->setVisible(shown == OCRStatus::processing);
    const std::optional<QString> explanation = card ? ocrExplanation(input) : std::nullopt;
    m_ocrExplanation->setVisible(explanation.has_value());
    m_ocrExplanation->setText(explanation.value_or(QString()));
    m_ocrButtonRow->setVisible(card && canRetry);
    if (input.ocrStatus) {
        m_ocrButton->setContent(QStringLiteral("Retry"), QString());
        m_ocrButton->setAccessibleName(QStringLiteral("Retry text recognition for this image"));
    } else {
        m_ocrButton->setContent(QStringLiteral("Read Image Text"), QString());
        m_ocrButton->setAccessibleName(QStringLiteral("Read text in this image"));
    }

    // Made anew for another clip, so that a state the clip already had is not spoken.
    const std::optional<QString> message = card ? ocrAnnouncement(input) : std::nullopt;
    if (otherClip || !m_announcement) {
        delete m_announcement;
        m_announcement = tolviAccessibilityAnnouncement(m_ocrCard, message);
    } else {
        m_announcement->setMessage(message);
    }
}

void ClipLensView::showPreview()
{
    const ClipboardItem& item = m_input->item;
    const bool files = hasFileReferences(item);
    const QString* text = files ? nullptr : item.content().textIf();
    const ClipboardImage* image = files ? nullptr : item.content().imageIf();
    m_fileNote->setVisible(files);
    // What is not shown lets go of its clip.
    m_fileList->setFileURLs(files ? item.originalPayload()->fileURLs() : QStringList());
    m_fileList->setVisible(files);
    const QString shown = text ? ShownText::shownPart(*text) : QString();
    m_textPreview->setText(shown, text ? previewFont(shown) : m_textPreview->textFont());
    m_textPreview->setVisible(text != nullptr);
    m_cutNote->setVisible(text && ShownText::isCut(*text));
    if (image)
        m_imagePreview->setImage(*image);
    m_imagePreview->setVisible(image != nullptr);
}

void ClipLensView::showBadges()
{
    const ClipboardItem& item = m_input->item;
    QList<BadgeSpec> specs{{m_kind.badge(), m_kind.systemImage(), m_kind.tint()}};
    if (item.isPinned())
        specs.append({QStringLiteral("Pinned"), QStringLiteral("pin.fill"), ColorToken::amber});
    if (const qsizetype boards = item.pinboardIDs().size(); boards > 0) {
        specs.append({QString::number(boards) + (boards == 1 ? QStringLiteral(" board") : QStringLiteral(" boards")),
                      QStringLiteral("square.grid.2x2"), ColorToken::violet});
    }
    if (recognizedTextOf(item))
        specs.append({QStringLiteral("Searchable"), QStringLiteral("text.viewfinder"), ColorToken::mint});

    QList<BadgeSpec> current;
    for (const TolviBadge* badge : std::as_const(m_badges))
        current.append({badge->title(), badge->systemImage().value_or(QString()), *badge->tint().token()});
    if (current == specs)
        return;
    qDeleteAll(m_badges);
    m_badges.clear();
    auto* row = static_cast<QHBoxLayout*>(m_badgeRow->layout());
    for (const BadgeSpec& spec : specs) {
        auto* badge = new TolviBadge(spec.title, spec.systemImage, spec.tint, m_badgeRow);
        row->insertWidget(int(m_badges.size()), badge, 0, Qt::AlignVCenter);
        m_badges.append(badge);
    }
}

InspectorButton* ClipLensView::addTool(QWidget* container, const QString& title, const QString& systemImage,
                                       std::function<void()> act)
{
    auto* button = new InspectorButton(title, systemImage, InspectorButton::Look::bordered, container);
    container->layout()->addWidget(button);
    connect(button, &QPushButton::clicked, this, std::move(act));
    m_tools.append(button);
    return button;
}

void ClipLensView::showTools()
{
    // The buttons of the clip before may be the sender of what brought this clip: they go
    // once the event loop is back.
    if (m_toolArea) {
        m_toolArea->hide();
        m_toolArea->deleteLater();
    }
    m_tools.clear();
    m_noActions = nullptr;
    m_recognizedPreview = nullptr;
    QWidget* cardContent = m_cardLayout->parentWidget();
    m_toolArea = new QWidget(cardContent);
    auto* area = new QVBoxLayout(m_toolArea);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(8);
    m_cardLayout->addWidget(m_toolArea);

    auto copy = [this](const QString& text) {
        if (m_actions.copyText)
            m_actions.copyText(text);
    };
    const ClipboardItem& item = m_input->item;
    if (hasFileReferences(item)) {
        QWidget* row = buttonRow(m_toolArea, 8);
        area->addWidget(row);
        InspectorButton* paths = addTool(row, QStringLiteral("Copy Paths"), QStringLiteral("text.alignleft"), [this, copy] {
            if (m_input && hasFileReferences(m_input->item))
                copy(copiedPaths(m_input->item));
        });
        paths->setToolTip(QStringLiteral("Copy the file locations as text instead of copying the files."));
        return;
    }
    if (const QString* text = item.content().textIf()) {
        const QList<TextTransform> transforms = prioritizedTransforms(*text);
        if (transforms.isEmpty()) {
            m_noActions = plainLabel(Typography::meta, QPalette::PlaceholderText, m_toolArea);
            m_noActions->setText(QStringLiteral("No actions for this clip"));
            area->addWidget(m_noActions);
            return;
        }
        auto* grid = new QWidget(m_toolArea);
        new ButtonGridLayout(112, 8, grid);
        area->addWidget(grid);
        for (TextTransform transform : transforms) {
            InspectorButton* button = addTool(grid, transform.title(), systemImage(transform), [this, copy, transform] {
                if (const QString* current = m_input ? m_input->item.content().textIf() : nullptr)
                    copy(transform.apply(*current));
            });
            button->setToolTip(transform.title());
        }
        return;
    }

    QWidget* row = buttonRow(m_toolArea, 8);
    area->addWidget(row);
    addTool(row, QStringLiteral("Size"), QStringLiteral("ruler"), [this, copy] {
        if (const ClipboardImage* image = m_input ? m_input->item.content().imageIf() : nullptr)
            copy(QStringLiteral("Image ") + image->pixelDescription());
    });
    addTool(row, QStringLiteral("Bytes"), QStringLiteral("externaldrive"), [this, copy] {
        if (const ClipboardImage* image = m_input ? m_input->item.content().imageIf() : nullptr)
            copy(ByteCountFormatter::fileStyle(image->byteCount()));
    });
    if (const QString* recognized = recognizedTextOf(item)) {
        addTool(row, QStringLiteral("Extract Text (OCR)"), QStringLiteral("text.viewfinder"), [this, copy] {
            if (const QString* current = m_input ? recognizedTextOf(m_input->item) : nullptr)
                copy(*current);
        });
        m_recognizedPreview = new LineLimitedLabel(Typography::meta, ColorToken::muted, 2, m_toolArea);
        m_recognizedPreview->setText(ClipboardFormatter::singleLinePreview(*recognized, 140));
        area->addWidget(m_recognizedPreview);
    }
}

void ClipLensView::fillPasteAsMenu()
{
    m_pasteAsMenu->clear();
    if (!m_input)
        return;
    const Actions actions = m_actions;
    PasteAsMenu::populate(
        *m_pasteAsMenu, m_input->item,
        [this, lookUp = actions.lookUp](const QUuid& id) -> std::optional<ClipboardItem> {
            if (lookUp)
                return lookUp(id);
            if (m_input && m_input->item.id() == id)
                return m_input->item;
            return std::nullopt;
        },
        [pasteItem = actions.pasteItem](const ClipboardItem& item) {
            if (pasteItem)
                pasteItem(item);
        },
        [pasteText = actions.pasteText](const QString& text) {
            if (pasteText)
                pasteText(text);
        });
}

void ClipLensView::fillBoardMenu()
{
    m_boardMenu->clear();
    if (!m_input)
        return;
    const QUuid itemID = m_input->item.id();
    for (const BoardEntry& entry : boardEntries(m_input->item, m_input->pinboards)) {
        QAction* action = m_boardMenu->addAction(PasteAsMenu::menuIcon(entry.systemImage, m_boardMenu), entry.menuText);
        const QUuid boardID = entry.board.id();
        connect(action, &QAction::triggered, this, [this, itemID, boardID] {
            // The board and the clip as they are now: either may have changed or gone.
            if (!m_input || !m_actions.togglePinboard)
                return;
            std::optional<ClipboardItem> item;
            if (m_actions.lookUp)
                item = m_actions.lookUp(itemID);
            else if (m_input->item.id() == itemID)
                item = m_input->item;
            if (!item)
                return;
            for (const Pinboard& board : m_input->pinboards) {
                if (board.id() == boardID) {
                    m_actions.togglePinboard(board, *item);
                    return;
                }
            }
        });
    }
}

} // namespace tolvi
