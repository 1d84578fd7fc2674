#include "Tolvi/history/ClipboardPanelController.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/NewSnippetOverlay.h"
#include "Tolvi/panels/ClipTransfers.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "Tolvi/panels/PanelKeyboardRouting.h"
#include "Tolvi/platform/settings/KeyValueSettings.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UnsavedDrafts.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/ai/AIService.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcHistoryWindow, "tolvi.history")
} // namespace

ClipboardPanelController::ClipboardPanelController(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      m_dependencies(std::move(dependencies))
{
    if (!m_dependencies.now)
        m_dependencies.now = [] { return ReferenceDate::now(); };
    hideWhenDeactivated(
        this, [this] { return isWindowVisible(); }, [this] { orderOut(); });
    joinUnsavedDrafts();
}

namespace {

// Brings the window forward and lets the card ask its own question about its typed text; calls
// `answered` with whether the card dropped the text, once the question was answered and acted on.
template <typename Card>
void askCardToDiscard(QObject* context, Card* card, const std::function<void()>& bringForward,
                      std::function<void(bool)> answered, const std::function<bool(Card*)>& holdsText)
{
    if (!card || card->isClosed()) {
        answered(true);
        return;
    }
    bringForward();
    card->requestClose();
    QPointer<Card> alive(card);
    auto settle = [alive, answered, holdsText] { answered(!alive || alive->isClosed() || !holdsText(alive)); };
    QMessageBox* question = card->openQuestion();
    if (!question) {
        settle();
        return;
    }
    auto done = std::make_shared<bool>(false);
    auto finish = [context, done, settle] {
        if (*done)
            return;
        *done = true;
        QTimer::singleShot(0, context, settle);
    };
    QObject::connect(question, &QMessageBox::finished, context, finish);
    QObject::connect(question, &QObject::destroyed, context, finish);
}

} // namespace

void ClipboardPanelController::joinUnsavedDrafts()
{
    if (!m_dependencies.drafts)
        return;
    auto quickEditHolds = [](ClipTextEditorOverlay* card) { return card->draft().hasUnsavedChanges(); };
    auto snippetHolds = [](NewSnippetOverlay* card) { return card->canUseText(); };

    UnsavedDrafts::Editor quickEdit;
    quickEdit.kind = UnsavedDraft::quickEdit;
    quickEdit.unsaved = [this, quickEditHolds]() -> std::optional<UnsavedDraft> {
        ClipTextEditorOverlay* card = m_view ? m_view->quickEditOverlay() : nullptr;
        if (!card || card->isClosed() || !quickEditHolds(card))
            return std::nullopt;
        return UnsavedDraft{UnsavedDraft::quickEdit, card->item().id(), card->draft().originalText,
                            card->draft().editedText};
    };
    quickEdit.askToDiscard = [this, quickEditHolds](std::function<void(bool)> answered) {
        askCardToDiscard<ClipTextEditorOverlay>(this, m_view ? m_view->quickEditOverlay() : nullptr,
                                                [this] { show(false); }, std::move(answered), quickEditHolds);
    };
    quickEdit.offer = [this](const UnsavedDraft& draft) {
        if (!draft.clipID)
            return;
        show(false);
        if (ClipTextEditorOverlay* open = m_view->quickEditOverlay(); open && !open->isClosed()
            && open->draft().hasUnsavedChanges())
            return; // never over text typed now
        // The clip as it is now; one that left the history is edited as it was, and Save then
        // keeps the text as a new clip.
        const ClipboardItem clip = m_dependencies.store.item(*draft.clipID)
                                       .value_or(ClipboardItem(*draft.clipID, draft.originalText, m_dependencies.now()));
        m_state->setEditingItem(clip);
        if (ClipTextEditorOverlay* card = m_view->quickEditOverlay())
            card->restoreEditedText(draft.editedText);
    };
    m_dependencies.drafts->add(this, std::move(quickEdit));

    UnsavedDrafts::Editor snippet;
    snippet.kind = UnsavedDraft::newSnippet;
    snippet.unsaved = [this, snippetHolds]() -> std::optional<UnsavedDraft> {
        NewSnippetOverlay* card = m_view ? m_view->newSnippetOverlay() : nullptr;
        if (!card || card->isClosed() || !snippetHolds(card))
            return std::nullopt;
        return UnsavedDraft{UnsavedDraft::newSnippet, std::nullopt, QString(), card->text()};
    };
    snippet.askToDiscard = [this, snippetHolds](std::function<void(bool)> answered) {
        askCardToDiscard<NewSnippetOverlay>(this, m_view ? m_view->newSnippetOverlay() : nullptr,
                                            [this] { show(false); }, std::move(answered), snippetHolds);
    };
    snippet.offer = [this](const UnsavedDraft& draft) {
        show(false);
        m_state->setCreatingSnippet(true);
        NewSnippetOverlay* card = m_view->newSnippetOverlay();
        if (card && !card->canUseText())
            card->restoreText(draft.editedText);
    };
    m_dependencies.drafts->add(this, std::move(snippet));
}

ClipboardPanelController::~ClipboardPanelController()
{
    saveSize();
    delete m_panel;
}

bool ClipboardPanelController::hasWindow() const
{
    return m_panel != nullptr;
}

bool ClipboardPanelController::isWindowVisible() const
{
    return m_panel && m_panel->isVisible();
}

void ClipboardPanelController::orderOut()
{
    if (!m_panel || !m_panel->isVisible())
        return;
    saveSize();
    m_panel->hide();
}

void ClipboardPanelController::toggle()
{
    if (!isWindowVisible())
        show(false);
    else
        orderOut();
}

void ClipboardPanelController::show(bool opensNewSnippet)
{
    m_dependencies.pasteService.captureTarget();
    if (!m_panel)
        m_panel = makePanel();
    if (!m_hasInstalledContent) {
        installContent(opensNewSnippet);
        m_hasInstalledContent = true;
    } else {
        // Clips may have aged past a date filter's day while the window was away.
        m_state->refresh();
        if (opensNewSnippet)
            PanelCommandBus::shared().post(PanelKeyboardCommand::createSnippet, m_panel);
    }
    position();
    const bool firstAppearance = !m_panel->property("tolviAppeared").toBool();
    m_panel->makeKeyAndOrderFront();
    if (firstAppearance) {
        m_panel->setProperty("tolviAppeared", true);
        m_state->appear();
    } else if (m_state->isSearchFocused()) {
        m_view->searchField()->setFocus(Qt::ActiveWindowFocusReason);
    }
}

EscapeClosingPanel* ClipboardPanelController::makePanel()
{
    auto* panel = new EscapeClosingPanel();
    panel->setWindowTitle(windowTitle);
    panel->setAttribute(Qt::WA_TranslucentBackground);
    panel->setMinimumSize(minimumSize);
    panel->setMaximumSize(maximumSize);
    QSize size = initialSize;
    if (m_dependencies.settings) {
        const std::optional<QString> saved = m_dependencies.settings->string(QStringLiteral("tolvi.windowFrame.") + frameAutosaveName);
        if (saved) {
            const QStringList parts = saved->split(QLatin1Char(' '));
            bool widthOK = false;
            bool heightOK = false;
            const int width = parts.value(0).toInt(&widthOK);
            const int height = parts.value(1).toInt(&heightOK);
            if (parts.size() == 2 && widthOK && heightOK)
                size = QSize(width, height).expandedTo(minimumSize).boundedTo(maximumSize);
        }
    }
    panel->resize(size);
    if (m_dependencies.theme)
        tolviConsoleAppearance(panel, m_dependencies.theme);

    QPointer<EscapeClosingPanel> weakPanel(panel);
    panel->setEscapeHandler([weakPanel] {
        PanelCommandBus::shared().post(PanelKeyboardCommand::historyEscape, weakPanel.data());
    });
    QPointer<ClipboardPanelController> self(this);
    panel->setKeyDownHandler([self](QKeyEvent* event) { return self && self->handleKey(event); });
    return panel;
}

void ClipboardPanelController::installContent(bool opensNewSnippet)
{
    m_state = new HistoryWindowState(m_dependencies.store, &m_dependencies.usageMetrics, m_dependencies.featureFlags,
                                     opensNewSnippet, makeActions(), this);
    m_state->setClock(m_dependencies.now);
    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new TolviWindowBackdrop(false, m_panel);
    layout->addWidget(backdrop);
    auto* backdropLayout = new QVBoxLayout(backdrop);
    // Room for the rounded corners and the resize edge.
    constexpr int edge = TolviWindowBackdrop::resizeMargin;
    backdropLayout->setContentsMargins(edge, edge + 8, edge, edge + 4);
    m_view = new ClipboardHistoryPanel(*m_state, m_dependencies.thumbnails, m_panel, m_dependencies.preferences, backdrop);
    backdropLayout->addWidget(m_view);

    HistoryStorageNotice::Actions storage = HistoryStorageNotice::actionsFor(
        m_panel, m_dependencies.historyFilePath, m_dependencies.openUrl, m_dependencies.exportHistory);
    m_view->installNotices(m_dependencies.pasteService, std::move(storage));
    m_view->setOpenUrl(m_dependencies.openUrl);
}

bool ClipboardPanelController::handleKey(QKeyEvent* event)
{
    if (!m_panel || m_blocksHistoryShortcuts || m_panel->hasOpenModalDialog())
        return false;
    const std::optional<PanelKeyboardCommand> command =
        PanelKeyboardRouting::historyCommand(*event, PanelKeyboardRouting::focus(m_panel));
    if (!command)
        return false;
    PanelCommandBus::shared().post(*command, m_panel);
    return true;
}

QSize ClipboardPanelController::fittedSize(const QRect& visible, const QSize& current)
{
    const int targetWidth = std::max(std::min(visible.width() - 24, maximumSize.width()), minimumSize.width());
    const int targetHeight = std::max(std::min(visible.height() - 24, maximumSize.height()), minimumSize.height());
    return {std::min(targetWidth, std::max(current.width(), minimumSize.width())),
            std::min(targetHeight, std::max(current.height(), minimumSize.height()))};
}

QPoint ClipboardPanelController::origin(const QRect& visible, const QSize& size)
{
    const int x = visible.x() + (visible.width() - size.width()) / 2;
    // The top edge 92 pixels under the top of the usable area, but the bottom edge no closer
    // than 24 pixels to its bottom.
    const int gapBelow = std::max(24, visible.height() - size.height() - 92);
    const int y = visible.y() + visible.height() - size.height() - gapBelow;
    return {x, y};
}

void ClipboardPanelController::position()
{
    // The screen the user is working on: the one under the pointer.
    const QPoint pointer = m_dependencies.pointerPosition ? m_dependencies.pointerPosition() : QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect();
    const QSize size = fittedSize(visible, m_panel->size());
    if (size != m_panel->size())
        m_panel->resize(size);
    m_panel->move(origin(visible, size));
}

void ClipboardPanelController::saveSize() const
{
    if (!m_panel || !m_dependencies.settings || !m_hasInstalledContent)
        return;
    const QSize size = m_panel->size();
    m_dependencies.settings->setString(QStringLiteral("tolvi.windowFrame.") + frameAutosaveName,
                                       QStringLiteral("%1 %2").arg(size.width()).arg(size.height()));
}

HistoryWindowActions ClipboardPanelController::makeActions()
{
    QPointer<ClipboardPanelController> self(this);
    HistoryWindowActions actions;
    ClipTransfers{this, &m_dependencies.pasteService, &m_dependencies.usageMetrics, [this] { orderOut(); },
                  m_dependencies.aiService}
        .fill(actions);
    actions.editText = [self](const ClipboardItem& item, const QString& text) {
        if (!self || !self->m_dependencies.store.updateText(text, item))
            return false;
        self->m_dependencies.usageMetrics.record(UsageMetricEvent::quickEditSaved);
        return true;
    };
    actions.createSnippet = [self](const QString& text) {
        if (!self)
            return false;
        Dependencies& d = self->m_dependencies;
        const std::optional<QString> identifier =
            d.bundleIdentifier.isEmpty() ? std::nullopt : std::optional(d.bundleIdentifier);
        if (!d.store.record(text, d.now(), ClipboardSourceApp(QStringLiteral("Tolvi"), identifier), std::nullopt))
            return false;
        d.usageMetrics.recordWithMilestone(UsageMetricEvent::snippetCreated);
        return true;
    };
    actions.deleteItem = [self](const ClipboardItem& item) {
        if (self)
            self->m_dependencies.store.remove(item);
    };
    actions.togglePinned = [self](const ClipboardItem& item) {
        if (self)
            self->m_dependencies.store.togglePinned(item);
    };
    actions.togglePinboard = [self](const Pinboard& board, const ClipboardItem& item) {
        if (!self)
            return;
        try {
            self->m_dependencies.store.togglePinboard(board, item);
        } catch (const std::exception& error) {
            // The board change was not written, so it did not happen: say so.
            qCWarning(lcHistoryWindow) << "Tolvi could not change a clip's board";
            if (self->m_panel) {
                auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tolvi"),
                                            QStringLiteral("The board could not be changed."), QMessageBox::Ok,
                                            self->m_panel);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setWindowModality(Qt::WindowModal);
                if (self->m_dependencies.describeError)
                    box->setInformativeText(self->m_dependencies.describeError(error));
                box->setTextFormat(Qt::PlainText);
                box->open();
            }
            return;
        }
        self->m_dependencies.usageMetrics.record(UsageMetricEvent::boardAssignmentChanged);
    };
    actions.clearHistory = [self] {
        if (self)
            self->m_dependencies.store.clear();
    };
    actions.retryOCR = m_dependencies.retryOCR;
    actions.showSetup = [self] {
        if (self && self->m_dependencies.showSetup)
            self->m_dependencies.showSetup();
    };
    actions.closePanel = [self] {
        if (self)
            self->orderOut();
    };
    actions.setHistoryInteractionBlocked = [self](bool blocked) {
        if (self)
            self->m_blocksHistoryShortcuts = blocked;
    };
    return actions;
}

} // namespace tolvi
