#include "Tolvi/history/ClipboardHistoryPanel.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/ClipListModel.h"
#include "Tolvi/history/ClipRowDelegate.h"
#include "Tolvi/history/ClipRowMenu.h"
#include "Tolvi/history/ClipboardFooter.h"
#include "Tolvi/history/HistoryContentSplit.h"
#include "Tolvi/history/HistoryDivider.h"
#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/history/HistoryFilterBars.h"
#include "Tolvi/history/HistoryHeader.h"
#include "Tolvi/history/HistoryInspector.h"
#include "Tolvi/history/HistoryListView.h"
#include "Tolvi/history/HistoryOverlayPresenter.h"
#include "Tolvi/history/NarrowClipActions.h"
#include "Tolvi/history/PowerSearchMenu.h"
#include "Tolvi/clipviews/PasteQueueNotice.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

namespace {

using TolviDesign::ColorToken;

// The search field's rounded canvas with its hairline edge.
class SearchFieldFrame final : public QWidget {
public:
    explicit SearchFieldFrame(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath path;
        path.addRoundedRect(body, 6, 6);
        painter.fillPath(path, context.color(ColorToken::canvas));
        painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
        painter.drawPath(path);
    }
};

} // namespace

ClipboardHistoryPanel::ClipboardHistoryPanel(HistoryWindowState& state, ThumbnailCache* thumbnails, QWidget* panel,
                                             PreferencesStore* preferences, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_thumbnails(thumbnails),
      m_panel(panel ? panel : this)
{
    setMinimumSize(minimumWidth, minimumHeight);
    m_state.setOverlayAvailability([this](HistoryOverlay overlay) {
        if (overlay == HistoryOverlay::preview)
            return true;
        // The window shows the clear-history confirmation itself; the other overlays come from
        // the inspector and editors once they are in place.
        if (overlay == HistoryOverlay::boardManagement)
            return true;
        return (overlay == HistoryOverlay::clearHistoryConfirmation && m_panel)
            || overlay == HistoryOverlay::quickEdit
            || overlay == HistoryOverlay::newSnippet;
    });

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    m_body = new QWidget(this);
    auto* layout = new QVBoxLayout(m_body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    root->addWidget(m_body);

    m_headerPlace = new QWidget(m_body);
    m_headerPlace->setObjectName(QStringLiteral("headerPlace"));
    m_noticePlace = new QWidget(m_body);
    m_noticePlace->setObjectName(QStringLiteral("noticePlace"));
    for (QWidget* place : {m_headerPlace, m_noticePlace}) {
        auto* placeLayout = new QVBoxLayout(place);
        placeLayout->setContentsMargins(0, 0, 0, 0);
        placeLayout->setSpacing(0);
        layout->addWidget(place);
    }
    m_headerPlace->layout()->addWidget(new HistoryHeader(m_state, preferences, m_headerPlace));
    buildSearchSection(layout);
    layout->addWidget(new HistoryDivider(Qt::Horizontal, m_body));

    m_model = new ClipListModel(this);
    m_model->setClock([this] { return m_state.now(); });
    m_model->setRowInputProvider([this](int row, const ClipboardItem& item) {
        ClipRowInput input;
        if (row < 9)
            input.shortcutNumber = row + 1;
        input.isFocused = row == m_state.lensRow();
        input.isSelectedForBatch = m_state.isQueued(item.id());
        const ClipRecognitionState recognition = ClipRecognitionState::of(m_state.store(), item);
        input.isRecognizingText = recognition.isRecognizingText;
        input.ocrStatus = recognition.ocrStatus;
        return input;
    });

    auto* list = new HistoryListView(this);
    m_list = list;
    m_list->setObjectName(QStringLiteral("clipList"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new ClipRowDelegate(*m_model, m_thumbnails, m_list));
    // Rows are all of one height, so even a list of 100,000 clips lays out without measuring.
    m_list->setUniformItemSizes(true);
    // The inspected row is the list's one selected row, as assistive technologies read it; the
    // rows draw their own highlight.
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->verticalScrollBar()->setSingleStep(24);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setMouseTracking(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAutoFillBackground(false);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAttribute(Qt::WA_TranslucentBackground);
    m_list->viewport()->setAttribute(Qt::WA_TranslucentBackground);
    m_list->setAccessibleName(QStringLiteral("Clipboard history"));
    list->toggleMark = [this](int row) {
        if (const ClipboardItem* item = m_model->itemAt(row))
            m_state.toggleQueueFromRowMark(item->id());
    };
    list->selectRow = [this](int row) {
        if (const ClipboardItem* item = m_model->itemAt(row))
            m_state.selectItem(item->id());
    };

    m_split = new HistoryContentSplit(m_list, this);
    m_split->setNarrowStrip(new NarrowClipActions(m_state, m_split->narrowActionsPlace()));
    new HistoryInspector(m_state, m_thumbnails, m_split->inspectorPlace());
    // The strip's height follows what it shows for the inspected clip.
    connect(&m_state, &HistoryWindowState::lensChanged, m_split, [this] { m_split->relayoutNow(); });
    connect(&m_state.store(), &ClipboardStore::ocrStatusesChanged, m_split, [this] { m_split->relayoutNow(); });
    m_empty = new EmptyHistoryView(QString(), QString());
    m_content = new QStackedWidget(m_body);
    m_content->addWidget(m_split);
    m_content->addWidget(m_empty);
    layout->addWidget(m_content, 1);

    m_footerDivider = new HistoryDivider(Qt::Horizontal, m_body);
    layout->addWidget(m_footerDivider);
    m_footerPlace = new QWidget(m_body);
    m_footerPlace->setObjectName(QStringLiteral("footerPlace"));
    auto* footerLayout = new QVBoxLayout(m_footerPlace);
    footerLayout->setContentsMargins(0, 0, 0, 0);
    footerLayout->addWidget(new ClipboardFooter(m_state, m_footerPlace));
    layout->addWidget(m_footerPlace);

    m_overlays = new HistoryOverlayPresenter(m_state, m_thumbnails, this, m_panel, m_list);

    // Clicks select; keys the list handles itself (page up and down, home, end) select too.
    connect(m_list, &QListView::pressed, this, [this](const QModelIndex& index) {
        if (const ClipboardItem* item = m_model->itemAt(index.row()))
            m_state.selectItem(item->id());
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (m_syncingCurrent || !current.isValid())
                    return;
                if (const ClipboardItem* item = m_model->itemAt(current.row()))
                    m_state.selectItem(item->id());
            });
    connect(m_list, &QWidget::customContextMenuRequested, this, &ClipboardHistoryPanel::openRowMenu);
    if (m_thumbnails) {
        connect(m_thumbnails, &ThumbnailCache::thumbnailReady, m_list->viewport(),
                qOverload<>(&QWidget::update));
    }

    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, &ClipboardHistoryPanel::showFilteredItems);
    connect(&m_state, &HistoryWindowState::lensChanged, this, &ClipboardHistoryPanel::showLens);
    connect(&m_state, &HistoryWindowState::queueChanged, m_model, &ClipListModel::decorationsChanged);
    connect(&m_state.store(), &ClipboardStore::ocrStatusesChanged, m_model, &ClipListModel::decorationsChanged);
    connect(&m_state.store(), &ClipboardStore::ocrInProgressChanged, m_model, &ClipListModel::decorationsChanged);
    connect(&m_state, &HistoryWindowState::searchFocusChanged, this, &ClipboardHistoryPanel::applySearchFocus);
    connect(&m_state, &HistoryWindowState::overlaysChanged, this, &ClipboardHistoryPanel::applyOverlays);
    connect(&m_state, &HistoryWindowState::pendingScrollChanged, this, &ClipboardHistoryPanel::scrollToPending);
    connect(&m_state, &HistoryWindowState::criteriaChanged, this, [this] {
        if (m_search->text() != m_state.query())
            m_search->setText(m_state.query());
    });
    connect(&m_state, &HistoryWindowState::dismissOverlayRequested, this,
            [] { PanelCommandBus::shared().post(PanelKeyboardCommand::dismissHistoryOverlay, nullptr); });
    connect(qApp, &QApplication::focusChanged, this, &ClipboardHistoryPanel::focusChanged);

    for (PanelKeyboardCommand command : allPanelKeyboardCommands) {
        if (command == PanelKeyboardCommand::dismissHistoryOverlay)
            continue;
        PanelCommandBus::shared().subscribe(command, m_panel, this,
                                            [this, command] { m_state.handleCommand(command); });
    }

    showFilteredItems();
    showLens();
    updatePlaces();
    styleScrollBar();
    // Tab goes from the search field straight to the clips (Return there pastes nothing).
    setTabOrder(m_search, m_list);
}

void ClipboardHistoryPanel::installNotices(PasteService& pasteService, HistoryStorageNotice::Actions storageActions)
{
    if (m_storageNotice)
        return;
    m_storageNotice = new HistoryStorageNotice(m_state.store(), std::move(storageActions), m_noticePlace);
    m_noticePlace->layout()->addWidget(m_storageNotice);
    // The queue notice shows itself whenever the queue has news: a holder keeps it out of sight
    // while the window is blocked.
    m_queueNoticeHolder = new QWidget(m_noticePlace);
    auto* holderLayout = new QVBoxLayout(m_queueNoticeHolder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    m_queueNotice = new PasteQueueNotice(
        pasteService,
        [this] {
            if (m_state.actions().closePanel)
                m_state.actions().closePanel();
        },
        m_queueNoticeHolder);
    holderLayout->addWidget(m_queueNotice);
    m_noticePlace->layout()->addWidget(m_queueNoticeHolder);
    m_queueNoticeHolder->setVisible(!m_state.isHistoryInteractionBlocked());
    connect(&m_state, &HistoryWindowState::interactionBlockedChanged, m_queueNoticeHolder,
            [this](bool blocked) { m_queueNoticeHolder->setVisible(!blocked); });
    updatePlaces();
}

void ClipboardHistoryPanel::updatePlaces()
{
    // A place shows (with its divider) once something has been put in it.
    const bool hasFooter = m_footerPlace->layout() && m_footerPlace->layout()->count() > 0;
    m_footerPlace->setVisible(hasFooter);
    m_footerDivider->setVisible(hasFooter);
    for (QWidget* place : {m_headerPlace, m_noticePlace})
        place->setVisible(place->layout() && place->layout()->count() > 0);
}

void ClipboardHistoryPanel::styleScrollBar()
{
    // A slim handle in the theme's muted ink, without arrows or a track.
    m_list->verticalScrollBar()->setStyleSheet(slimScrollBarStyleSheet(DesignContext::of(this), QStringLiteral("2px 2px 2px 0")));
}

void ClipboardHistoryPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_list)
        styleScrollBar();
}

void ClipboardHistoryPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_state.setInSight(true);
    updatePlaces();
}

// The window went away (closed or minimised): the list and everything beside it wait for it to
// come back before they follow the history.
void ClipboardHistoryPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_state.setInSight(false);
}

ClipboardHistoryPanel::~ClipboardHistoryPanel() = default;

void ClipboardHistoryPanel::buildSearchSection(QVBoxLayout* layout)
{
    auto* section = new QWidget(m_body);
    auto* rows = new QVBoxLayout(section);
    rows->setContentsMargins(8 + 22, 8, 8 + 22, 8 + 6);
    rows->setSpacing(8);

    rows->addWidget(new ScopeBar(m_state, section));

    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(10);
    searchRow->addWidget(new TolviSymbolMark(QStringLiteral("magnifyingglass"), ColorToken::electricBlue, 18, section));

    auto* frame = new SearchFieldFrame(section);
    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(12, 10, 12, 10);
    m_search = new QLineEdit(frame);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setFrame(false);
    m_search->setPlaceholderText(QStringLiteral("Search history"));
    m_search->setAccessibleName(QStringLiteral("Search clipboard history"));
    m_search->setAccessibleDescription(QStringLiteral("Type to filter clips. Use arrow keys to select a result."));
    m_search->setFont(TolviDesign::systemFont(15));
    m_search->setAttribute(Qt::WA_MacShowFocusRect, false);
    // The frame draws the field's background; the text colours come from the theme.
    QPalette transparentBase;
    transparentBase.setColor(QPalette::Base, Qt::transparent);
    m_search->setPalette(transparentBase);
    frameLayout->addWidget(m_search);
    searchRow->addWidget(frame, 1);
    searchRow->addWidget(new PowerSearchButton(m_state, section));
    rows->addLayout(searchRow);
    rows->addWidget(new CategoryBar(m_state, section));

    m_filterBarPlace = new QWidget(section);
    m_filterBarPlace->setObjectName(QStringLiteral("filterBarPlace"));
    auto* filterLayout = new QVBoxLayout(m_filterBarPlace);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    filterLayout->setSpacing(8);
    filterLayout->addWidget(new ActiveFilterBar(m_state, m_filterBarPlace));
    rows->addWidget(m_filterBarPlace);

    layout->addWidget(section);
    setFocusProxy(m_search);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.setQuery(text); });
}

bool ClipboardHistoryPanel::isShowingList() const
{
    return m_content->currentWidget() == m_split;
}

bool ClipboardHistoryPanel::isWideLayout() const
{
    return m_split->isWide();
}

QWidget* ClipboardHistoryPanel::inspectorPlace() const
{
    return m_split->inspectorPlace();
}

QWidget* ClipboardHistoryPanel::narrowActionsPlace() const
{
    return m_split->narrowActionsPlace();
}

void ClipboardHistoryPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_overlays->fitHost();
}

void ClipboardHistoryPanel::showFilteredItems()
{
    m_syncingCurrent = true;
    m_model->setItems(m_state.filteredItems());
    m_syncingCurrent = false;
    if (m_state.store().itemCount() == 0) {
        m_empty->setContent(QStringLiteral("No clipboard history"), QStringLiteral("Copied text and images will appear here."),
                            QStringLiteral("Show Quick Start"), QStringLiteral("sparkles"), [this] {
                                if (m_state.actions().showSetup)
                                    m_state.actions().showSetup();
                            });
        m_content->setCurrentWidget(m_empty);
    } else if (m_state.filteredItems().isEmpty()) {
        m_empty->setContent(QStringLiteral("No matches"), QStringLiteral("Clear the search and filters to see all clips."),
                            QStringLiteral("Show All Clips"), QStringLiteral("xmark.circle"),
                            [this] { m_state.showAllClips(); });
        m_content->setCurrentWidget(m_empty);
    } else {
        m_content->setCurrentWidget(m_split);
    }
    showLens();
}

void ClipboardHistoryPanel::showLens()
{
    const int row = m_state.lensRow();
    m_model->setFocusedRow(row);
    m_split->setHasLens(row >= 0);
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row);
    if (m_list->currentIndex() != index || !m_list->selectionModel()->isSelected(index)) {
        m_syncingCurrent = true;
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_syncingCurrent = false;
    }
    m_list->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void ClipboardHistoryPanel::applySearchFocus(bool focused)
{
    if (focused) {
        if (!m_search->hasFocus())
            m_search->setFocus(Qt::OtherFocusReason);
    } else if (m_search->hasFocus()) {
        m_list->setFocus(Qt::OtherFocusReason);
    }
}

void ClipboardHistoryPanel::focusChanged(QWidget* old, QWidget* now)
{
    if (now == m_search)
        m_state.setSearchFocused(true);
    else if (old == m_search && now && now->window() == window())
        m_state.setSearchFocused(false);
}

void ClipboardHistoryPanel::applyOverlays()
{
    // The content under an open preview or editor takes no input.
    const bool covered = m_state.isCreatingSnippet() || m_state.editingItem() || m_state.previewedItem()
        || m_state.isManagingBoards();
    m_body->setEnabled(!covered);
    m_overlays->apply();
}

void ClipboardHistoryPanel::scrollToPending()
{
    const std::optional<QUuid> id = m_state.pendingScrollItemID();
    if (!id)
        return;
    const int row = m_model->rowOf(*id);
    if (row >= 0)
        m_list->scrollTo(m_model->index(row), QAbstractItemView::PositionAtCenter);
    m_state.setPendingScrollItemID(std::nullopt);
}

QMenu* ClipboardHistoryPanel::makeRowMenu(const QUuid& itemID, QWidget* parent)
{
    return ClipRowMenu::make(m_state, itemID, parent, this);
}

void ClipboardHistoryPanel::openRowMenu(const QPoint& position)
{
    if (m_state.isHistoryInteractionBlocked())
        return;
    QModelIndex index = m_list->indexAt(position);
    QPoint at = position;
    if (!index.isValid()) {
        // The menu key: the inspected row's menu, at that row.
        index = m_model->index(m_state.lensRow());
        if (!index.isValid())
            return;
        at = m_list->visualRect(index).center();
    }
    const ClipboardItem* item = m_model->itemAt(index.row());
    if (!item)
        return;
    if (QMenu* menu = makeRowMenu(item->id(), this))
        menu->popup(m_list->viewport()->mapToGlobal(at));
}

} // namespace tolvi
