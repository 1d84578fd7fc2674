#include "Tolvi/history/HistoryOverlayPresenter.h"

#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/BoardManagementView.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/NewSnippetOverlay.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace tolvi {

HistoryOverlayPresenter::HistoryOverlayPresenter(HistoryWindowState& state, ThumbnailCache* thumbnails,
                                                 QWidget* content, QPointer<QWidget> dialogOwner, QWidget* list)
    : QObject(content),
      m_state(state),
      m_thumbnails(thumbnails),
      m_content(content),
      m_dialogOwner(std::move(dialogOwner)),
      m_list(list)
{
    // Overlays lie over the whole content; nothing is there until an overlay is shown.
    m_host = new QWidget(content);
    m_host->setObjectName(QStringLiteral("overlayHost"));
    m_host->hide();
}

HistoryOverlayPresenter::~HistoryOverlayPresenter()
{
    if (m_confirmation)
        m_confirmation->deleteLater();
}

QWidget* HistoryOverlayPresenter::dialogOwner() const
{
    return m_dialogOwner ? m_dialogOwner.data() : m_content->window();
}

void HistoryOverlayPresenter::focusList()
{
    if (m_list)
        m_list->setFocus(Qt::OtherFocusReason);
}

void HistoryOverlayPresenter::fitHost()
{
    m_host->setGeometry(m_content->rect());
}

void HistoryOverlayPresenter::apply()
{
    applyPreview();
    if (m_state.isConfirmingClearHistory() && !m_confirmation)
        presentClearHistoryConfirmation();
    applyBoardSheet();
    applyEditorOverlays();
}

BoardManagementView* HistoryOverlayPresenter::boardSheet() const
{
    return m_boardSheet ? qobject_cast<BoardManagementView*>(m_boardSheet->card()) : nullptr;
}

// The board sheet comes in over the window while the state manages boards and goes out when it
// stops; the sheet itself asks to stop (Done, "Discard Changes", a click beside it).
void HistoryOverlayPresenter::applyBoardSheet()
{
    if (m_state.isManagingBoards() && (!m_boardSheet || m_boardSheet->isDismissing())) {
        if (m_boardSheet)
            m_boardSheet->deleteLater();
        auto* sheet = new BoardManagementView(m_state.store());
        TolviCardOverlay::Geometry geometry;
        geometry.minimum = BoardManagementView::minimumSheetSize;
        geometry.ideal = BoardManagementView::idealSheetSize;
        geometry.maximum = QSize(QWIDGETSIZE_MAX, BoardManagementView::maximumSheetHeight);
        geometry.backdropOpacity = 0.18;
        geometry.shadowCornerRadius = BoardManagementView::cornerRadius;
        m_boardSheet = new TolviCardOverlay(sheet, geometry, m_host);
        connect(sheet, &BoardManagementView::finished, this, [this] { m_state.setManagingBoards(false); });
        connect(m_boardSheet, &TolviCardOverlay::backdropClicked, sheet, &BoardManagementView::requestInteractiveDismissal);
        // Escape reaches the sheet as the window's dismiss command.
        PanelCommandBus::shared().subscribe(PanelKeyboardCommand::dismissHistoryOverlay, nullptr, sheet,
                                            [sheet] { sheet->requestClose(); });
        presentCard(m_boardSheet);
        sheet->newNameField()->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!m_state.isManagingBoards() && m_boardSheet && !m_boardSheet->isDismissing()) {
        dismissCard(m_boardSheet, [this] {
            if (!m_state.isHistoryInteractionBlocked())
                focusList();
        });
    }
}

void HistoryOverlayPresenter::presentCard(TolviCardOverlay* card)
{
    fitHost();
    m_host->show();
    m_host->raise();
    card->present();
}

void HistoryOverlayPresenter::dismissCard(TolviCardOverlay* card, std::function<void()> afterwards)
{
    // A card goes out, then goes; the overlay host hides once nothing is left in it.
    card->dismiss([card, host = QPointer<QWidget>(m_host), afterwards = std::move(afterwards)] {
        card->hide();
        card->deleteLater();
        if (host) {
            const QList<QWidget*> children = host->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            if (std::none_of(children.cbegin(), children.cend(), [](const QWidget* child) { return child->isVisible(); }))
                host->hide();
        }
        if (afterwards)
            afterwards();
    });
}

void HistoryOverlayPresenter::setOpenUrl(std::function<bool(const QUrl&)> openUrl)
{
    m_openUrl = std::move(openUrl);
}

ClipQuickLookOverlay* HistoryOverlayPresenter::previewOverlay() const
{
    return m_preview;
}

void HistoryOverlayPresenter::applyPreview()
{
    const std::optional<ClipboardItem>& item = m_state.previewedItem();
    if (m_preview && item) {
        m_preview->setItem(*item);
        return;
    }
    if (!item) {
        if (!m_preview)
            return;
        ClipQuickLookOverlay* closing = m_preview;
        m_preview = nullptr;
        dismissCard(closing);
        focusList();
        return;
    }
    ClipQuickLookOverlay::Actions actions;
    const HistoryWindowActions& window = m_state.actions();
    actions.pasteItem = window.pasteItem;
    actions.copyItem = window.copyItem;
    actions.copyText = window.copyText;
    actions.close = [this] { m_state.setPreviewedItem(std::nullopt); };
    actions.openUrl = m_openUrl ? m_openUrl : [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    ClipQuickLookOverlay::Environment environment;
    // No store: the window's state follows the clip through changes of the history and hands it on.
    environment.thumbnails = m_thumbnails;
    environment.now = [this] { return m_state.now(); };
    m_preview = new ClipQuickLookOverlay(*item, std::move(actions), std::move(environment), m_host);
    presentCard(m_preview);
    m_preview->takeFocus();
}

ClipTextEditorOverlay* HistoryOverlayPresenter::quickEditOverlay() const
{
    return m_quickEdit;
}

NewSnippetOverlay* HistoryOverlayPresenter::newSnippetOverlay() const
{
    return m_newSnippet;
}

void HistoryOverlayPresenter::applyEditorOverlays()
{
    const HistoryWindowActions& actions = m_state.actions();
    QWidget* owner = dialogOwner();

    const std::optional<ClipboardItem>& editing = m_state.editingItem();
    if (m_quickEdit && !m_quickEdit->isDismissing() && (!editing || editing->id() != m_quickEditRequest)) {
        m_quickEdit->endSession();
        dismissCard(m_quickEdit);
    }
    if (editing && (!m_quickEdit || m_quickEdit->isDismissing())) {
        ClipTextEditorOverlay::Actions editor;
        editor.saveText = actions.editText;
        // A clip that left the history is saved again as a clip of its own.
        editor.saveAsNewClip = actions.createSnippet;
        editor.pasteText = actions.pasteText;
        editor.copyText = actions.copyText;
        editor.runAIAction = actions.runAIAction;
        editor.close = [this] { m_state.setEditingItem(std::nullopt); };
        m_quickEditRequest = editing->id();
        m_quickEdit = new ClipTextEditorOverlay(*editing, m_state.store(), std::move(editor),
                                                m_state.featureFlags().aiRewriteEnabled(), owner, m_host,
                                                [this] { return m_state.now(); });
        presentCard(m_quickEdit);
    }

    if (m_newSnippet && !m_newSnippet->isDismissing() && !m_state.isCreatingSnippet()) {
        m_newSnippet->endSession();
        dismissCard(m_newSnippet);
    }
    if (m_state.isCreatingSnippet() && (!m_newSnippet || m_newSnippet->isDismissing())) {
        NewSnippetOverlay::Actions snippet;
        snippet.saveSnippet = [this](const QString& text) { return m_state.saveSnippet(text); };
        snippet.pasteText = actions.pasteText;
        snippet.copyText = actions.copyText;
        snippet.close = [this] { m_state.setCreatingSnippet(false); };
        m_newSnippet = new NewSnippetOverlay(std::move(snippet), owner, m_host);
        presentCard(m_newSnippet);
    }
}

void HistoryOverlayPresenter::presentClearHistoryConfirmation()
{
    QWidget* owner = dialogOwner();
    QMessageBox* box = makeThemedWarningBox(owner);
    box->setText(QStringLiteral("Clear all clipboard history?"));
    box->setInformativeText(QStringLiteral(
        "This removes saved clips, including pinned clips. Export a copy from Settings first if you want to keep them."));
    // Action roles keep the buttons in this order on every desktop.
    QPushButton* clear = box->addButton(QStringLiteral("Clear History"), QMessageBox::ActionRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::ActionRole);
    // Room for the message on a few lines, not a narrow column.
    reserveMessageWidth(box, 440);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    m_confirmation = box;
    connect(box, &QMessageBox::finished, this, [this, box, clear] {
        const bool confirmed = box->clickedButton() == clear;
        m_confirmation = nullptr;
        m_state.setConfirmingClearHistory(false);
        if (confirmed && m_state.actions().clearHistory)
            m_state.actions().clearHistory();
    });
    box->open();
}

} // namespace tolvi
