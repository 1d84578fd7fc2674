// ClipLensView showing its input: only what a change of the input touches is redone.

#include "Tolvi/inspector/ClipLensView.h"

#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/inspector/ClipLensViewParts.h"
#include "Tolvi/inspector/ClipPreviewSurface.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "Tolvi/inspector/SelectablePlainText.h"
#include "Tolvi/inspector/ShownText.h"
#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using OCRStatus = ClipboardStore::OCRStatus;
using lensview::buttonRow;
using lensview::fileURLsOf;
using lensview::hasFileReferences;
using lensview::plainLabel;

namespace {

// The recognised text of an image when it has any (blanks count).
const QString* recognizedTextOf(const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image || !image->recognizedText() || image->recognizedText()->isEmpty())
        return nullptr;
    return &*image->recognizedText();
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
    return imageA.hasSameFingerprint(imageB) && imageA.recognizedText() == imageB.recognizedText()
        && imageA.pixelWidth() == imageB.pixelWidth() && imageA.pixelHeight() == imageB.pixelHeight();
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

struct BadgeSpec {
    QString title;
    QString systemImage;
    ColorToken tint;
    friend bool operator==(const BadgeSpec&, const BadgeSpec&) = default;
};

} // namespace

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
