#include "Tolvi/compact/CompactClipboardPanel.h"

#include "Tolvi/compact/CompactActionList.h"
#include "Tolvi/compact/CompactClipPreview.h"
#include "Tolvi/compact/CompactEditorPage.h"
#include "Tolvi/compact/CompactFilterMenu.h"
#include "Tolvi/compact/CompactPanelParts.h"
#include "Tolvi/compact/CompactResultList.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>


namespace tolvi {

using TolviDesign::withOpacity;

namespace {

using CompactPanelParts::LineLabel;
using CompactPanelParts::SymbolButton;
using TolviDesign::ColorToken;

// The "Return" key hint: a capsule lightly tinted with the ink colour.
class ReturnHint final : public QWidget {
public:
    explicit ReturnHint(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        const QFontMetrics metrics(font12());
        setFixedSize(metrics.horizontalAdvance(text()) + 16, metrics.height() + 8);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body(rect());
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(context.color(ColorToken::ink), 0.08));
        painter.drawRoundedRect(body, body.height() / 2, body.height() / 2);
        painter.setFont(font12());
        painter.setPen(context.color(ColorToken::muted));
        painter.drawText(body, Qt::AlignCenter, text());
    }

private:
    static QString text() { return QStringLiteral("Return"); }
    static const QFont& font12()
    {
        static const QFont font = TolviDesign::systemFont(12, QFont::Bold);
        return font;
    }
};

// A hairline under the top bar, at half the usual strength.
class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(1);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), withOpacity(DesignContext::of(this).color(ColorToken::glassStroke), 0.5));
    }
};

QLayout* clearedPlaceLayout(QWidget* place)
{
    auto* layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// The top bar of the actions and the editor: the back button, then what the caller adds.
QHBoxLayout* barWithBackButton(QWidget* row, const QString& backLabel, QObject* context, std::function<void()> back)
{
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(11);
    auto* button = new SymbolButton(QStringLiteral("chevron.left"), 14, 26, row);
    button->setAccessibleName(backLabel);
    button->setToolTip(QStringLiteral("Back"));
    QObject::connect(button, &QToolButton::clicked, context, std::move(back));
    layout->addWidget(button);
    return layout;
}

} // namespace

CompactClipboardPanel::CompactClipboardPanel(CompactPanelState& state, ThumbnailCache* thumbnails, QWidget* panel,
                                             QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_thumbnails(thumbnails),
      m_panel(panel ? panel : this)
{
    setMinimumSize(420, 220);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    m_body = new QWidget(this);
    root->addWidget(m_body);
    auto* layout = new QVBoxLayout(m_body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_topBar = new QStackedWidget(m_body);
    m_topBar->addWidget(buildSearchRow());
    m_topBar->addWidget(buildActionHeader());
    m_topBar->addWidget(buildEditorHeader());
    m_topBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout->addWidget(m_topBar);

    m_storageNoticePlace = new QWidget(m_body);
    m_storageNoticePlace->setObjectName(QStringLiteral("storageNoticePlace"));
    clearedPlaceLayout(m_storageNoticePlace);
    layout->addWidget(m_storageNoticePlace);
    m_queueNoticePlace = new QWidget(m_body);
    m_queueNoticePlace->setObjectName(QStringLiteral("queueNoticePlace"));
    clearedPlaceLayout(m_queueNoticePlace);
    layout->addWidget(m_queueNoticePlace);
    layout->addWidget(new Divider(m_body));

    m_content = new QStackedWidget(m_body);
    m_results = new CompactResultList(m_state, m_thumbnails, this);
    m_actions = new CompactActionList(m_state, this);
    m_editorPage = new CompactEditorPage(m_state, this);
    m_content->addWidget(m_results);
    m_content->addWidget(m_actions);
    m_content->addWidget(m_editorPage);
    layout->addWidget(m_content, 1);

    PanelCommandBus& bus = PanelCommandBus::shared();
    for (CompactKeyboardCommand command : allCompactKeyboardCommands)
        bus.subscribe(command, m_panel, this, [this, command] { m_state.handleCommand(command); });

    connect(&m_state, &CompactPanelState::modeChanged, this, &CompactClipboardPanel::showMode);
    connect(&m_state, &CompactPanelState::filteredItemsChanged, this, &CompactClipboardPanel::showFilteredItems);
    connect(&m_state, &CompactPanelState::selectionChanged, this, &CompactClipboardPanel::showSelection);
    connect(&m_state, &CompactPanelState::scrollTargetChanged, m_results, &CompactResultList::scrollToTarget);
    connect(&m_state, &CompactPanelState::actionsChanged, m_actions, &CompactActionList::showActions);
    connect(&m_state, &CompactPanelState::draftReplaced, this, &CompactClipboardPanel::showEditorTitle);
    connect(&m_state, &CompactPanelState::previewChanged, this, &CompactClipboardPanel::showPreview);
    connect(&m_state, &CompactPanelState::criteriaChanged, this, &CompactClipboardPanel::showFilterState);
    connect(&m_state, &CompactPanelState::discardConfirmationChanged, this,
            &CompactClipboardPanel::presentDiscardConfirmation);
    connect(&m_state, &CompactPanelState::searchFocusRequested, this, [this] {
        if (m_state.mode() == CompactPanelMode::results)
            m_search->setFocus(Qt::OtherFocusReason);
    });

    showFilteredItems();
    showMode();
    m_editorPage->showDraft();
    showEditorTitle();
    m_editorPage->showEditorStatus();
    showFilterState();
}

CompactClipboardPanel::~CompactClipboardPanel()
{
    if (m_confirmation)
        m_confirmation->deleteLater();
}

void CompactClipboardPanel::setPreviewFactory(PreviewFactory factory)
{
    m_previewFactory = std::move(factory);
    m_state.setPreviewAvailable(bool(m_previewFactory));
}

// ---- Building ---------------------------------------------------------------------------

QWidget* CompactClipboardPanel::buildSearchRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(30, 24, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(new TolviSymbolMark(QStringLiteral("magnifyingglass"), ColorToken::muted,
                                     SymbolCatalog::pixelSizeForPointSize(15), row));

    m_search = new QLineEdit(row);
    m_search->setObjectName(QStringLiteral("compactSearchField"));
    m_search->setFrame(false);
    m_search->setPlaceholderText(QStringLiteral("Search Tolvi..."));
    m_search->setAccessibleName(QStringLiteral("Search clipboard history"));
    m_search->setAccessibleDescription(
        QStringLiteral("Type to filter clips. Use arrow keys to select and Return to open actions."));
    m_search->setFont(TolviDesign::systemFont(18, QFont::Medium));
    QPalette transparentBase = m_search->palette();
    transparentBase.setColor(QPalette::Base, Qt::transparent);
    m_search->setPalette(transparentBase);
    layout->addWidget(m_search, 1);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.setQuery(text); });
    // Return reaches the panel's key handler first; a submit that gets here opens the actions too.
    connect(m_search, &QLineEdit::returnPressed, this, [this] { m_state.openActions(); });

    m_filterMenu = new CompactFilterMenu(m_state, row);
    layout->addWidget(m_filterMenu);

    m_returnHint = new ReturnHint(row);
    layout->addWidget(m_returnHint);
    setFocusProxy(m_search);
    return row;
}

QWidget* CompactClipboardPanel::buildActionHeader()
{
    auto* row = new QWidget(this);
    QHBoxLayout* layout = barWithBackButton(row, QStringLiteral("Back to search results"), this,
                                            [this] { m_state.showResults(); });
    m_actionPreview = new CompactClipPreview(m_thumbnails, row);
    layout->addWidget(m_actionPreview);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_actionEyebrow = new QLabel(QStringLiteral("Smart Paste"), row);
    m_actionEyebrow->setTextFormat(Qt::PlainText);
    column->addWidget(m_actionEyebrow);
    m_actionSummary = new LineLabel(TolviDesign::systemFont(16, QFont::DemiBold), ColorToken::ink, row);
    column->addWidget(m_actionSummary);
    layout->addLayout(column, 1);
    return row;
}

QWidget* CompactClipboardPanel::buildEditorHeader()
{
    auto* row = new QWidget(this);
    QHBoxLayout* layout = barWithBackButton(row, QStringLiteral("Back to actions"), this,
                                            [this] { m_state.requestLeaveEditor(); });
    layout->addWidget(new TolviIconTile(QStringLiteral("pencil.line"), ColorToken::mint, row));
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    auto* eyebrow = new LineLabel(TolviDesign::systemFont(13, QFont::Bold), ColorToken::mint, row);
    eyebrow->setText(QStringLiteral("Quick Edit"));
    column->addWidget(eyebrow);
    m_editorTitle = new LineLabel(TolviDesign::systemFont(16, QFont::DemiBold), ColorToken::ink, row);
    column->addWidget(m_editorTitle);
    layout->addLayout(column, 1);
    return row;
}

// ---- Showing the state ------------------------------------------------------------------

bool CompactClipboardPanel::isShowingResultList() const
{
    return m_content->currentWidget() == m_results && m_results->isShowingList();
}

bool CompactClipboardPanel::isShowingActionList() const
{
    return m_content->currentWidget() == m_actions && m_actions->isShowingList();
}

void CompactClipboardPanel::showMode()
{
    const CompactPanelMode mode = m_state.mode();
    const int page = mode == CompactPanelMode::results ? 0 : mode == CompactPanelMode::actions ? 1 : 2;
    m_topBar->setCurrentIndex(page);
    m_content->setCurrentIndex(page);
    m_actions->showActions();
    showSelection();
    showNotices();
    if (mode == CompactPanelMode::editor) {
        showEditorTitle();
    } else if (mode == CompactPanelMode::actions) {
        // No field has focus here: E and Space reach the panel.
        m_actions->list()->setFocus(Qt::OtherFocusReason);
    }
}

void CompactClipboardPanel::showFilteredItems()
{
    m_results->showFilteredItems();
    if (m_state.mode() == CompactPanelMode::editor)
        showEditorTitle();
    showSelection();
}

void CompactClipboardPanel::showSelection()
{
    m_results->showSelection();
    const std::optional<ClipboardItem> item = m_state.selectedItem();
    m_returnHint->setVisible(item.has_value());
    // The header is out of sight while finding a clip; it follows when the actions open.
    if (m_state.mode() != CompactPanelMode::results)
        showActionHeader(item);
}

void CompactClipboardPanel::showEditorTitle()
{
    m_editorTitle->setText(m_state.editorTitle());
}

void CompactClipboardPanel::showActionHeader(const std::optional<ClipboardItem>& item)
{
    // Only a different clip changes the header, so moving through the list relays nothing out.
    const bool same = item.has_value() == m_headerItem.has_value()
        && (!item || item->sharesDataWith(*m_headerItem));
    if (same)
        return;
    m_headerItem = item;
    m_actionPreview->setItem(item);
    m_actionPreview->setVisible(item.has_value());
    m_actionSummary->setVisible(item.has_value());
    if (item) {
        m_actionSummary->setText(CompactPanelState::summary(*item));
        m_actionEyebrow->setFont(TolviDesign::systemFont(13, QFont::Bold));
        QPalette palette = m_actionEyebrow->palette();
        palette.setColor(QPalette::WindowText, DesignContext::of(this).color(ColorToken::electricBlue));
        m_actionEyebrow->setPalette(palette);
    } else {
        m_actionEyebrow->setFont(TolviDesign::systemFont(16, QFont::DemiBold));
        m_actionEyebrow->setPalette(QPalette());
    }
}

void CompactClipboardPanel::showNotices()
{
    const bool hasStorageNotice = m_storageNoticePlace->layout()->count() > 0;
    m_storageNoticePlace->setVisible(hasStorageNotice);
    const bool hasQueueNotice = m_queueNoticePlace->layout()->count() > 0;
    m_queueNoticePlace->setVisible(hasQueueNotice && m_state.mode() != CompactPanelMode::editor
                                   && !m_state.previewedItem());
}

void CompactClipboardPanel::showFilterState()
{
    if (m_search->text() != m_state.query())
        m_search->setText(m_state.query());
    m_filterMenu->showState();
}

void CompactClipboardPanel::showPreview()
{
    const std::optional<ClipboardItem>& item = m_state.previewedItem();
    if (m_preview && (!item || m_preview->property("tolviPreviewID").toUuid() != item->id())) {
        // A card goes out with its transition.
        if (auto* card = qobject_cast<TolviCardOverlay*>(m_preview.data()))
            card->dismiss([card] { card->deleteLater(); });
        else
            m_preview->deleteLater();
        m_preview = nullptr;
    }
    if (item && !m_preview) {
        QWidget* focused = QApplication::focusWidget();
        m_focusBeforePreview = focused && isAncestorOf(focused) ? focused : nullptr;
    }
    // The content under the preview takes no input.
    m_body->setEnabled(!item);
    showNotices();
    if (!item && m_focusBeforePreview) {
        m_focusBeforePreview->setFocus(Qt::OtherFocusReason);
        m_focusBeforePreview = nullptr;
    }
    if (!item || m_preview || !m_previewFactory)
        return;
    QPointer<CompactClipboardPanel> self(this);
    m_preview = m_previewFactory(*item, [self] {
        if (self)
            self->m_state.closePreview();
    }, this);
    if (!m_preview)
        return;
    m_preview->setProperty("tolviPreviewID", item->id());
    m_preview->setGeometry(rect());
    m_preview->raise();
    m_preview->show();
    m_preview->setFocus(Qt::OtherFocusReason);
}

void CompactClipboardPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_preview)
        m_preview->setGeometry(rect());
}

void CompactClipboardPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_state.setInSight(true);
}

// Out of sight, the results wait for the panel to come back before they follow the history.
void CompactClipboardPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_state.setInSight(false);
}

void CompactClipboardPanel::presentDiscardConfirmation(bool presented)
{
    if (!presented) {
        if (m_confirmation) {
            QMessageBox* box = m_confirmation;
            m_confirmation = nullptr;
            box->close();
        }
        return;
    }
    if (m_confirmation)
        return;
    // Window-modal on the panel, so it is never behind the always-on-top panel it blocks.
    QWidget* owner = m_panel ? m_panel.data() : window();
    QMessageBox* box = makeThemedWarningBox(owner);
    box->setText(QStringLiteral("Discard unsaved changes?"));
    box->setInformativeText(QStringLiteral("Your edited text has not been saved."));
    // Action roles keep the buttons in this order on every desktop.
    QPushButton* discard = box->addButton(QStringLiteral("Discard Changes"), QMessageBox::ActionRole);
    QPushButton* keep = box->addButton(QStringLiteral("Keep Editing"), QMessageBox::ActionRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    m_confirmation = box;
    connect(box, &QMessageBox::finished, this, [this, box, discard] {
        if (m_confirmation != box)
            return; // closed by the state itself
        m_confirmation = nullptr;
        if (box->clickedButton() == discard)
            m_state.discardChanges();
        else
            m_state.keepEditing();
    });
    box->open();
}

void CompactClipboardPanel::panelHidden()
{
    if (m_state.isDiscardConfirmationPresented())
        m_state.keepEditing();
}

} // namespace tolvi
