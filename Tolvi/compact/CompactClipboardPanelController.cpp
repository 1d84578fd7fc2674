#include "Tolvi/compact/CompactClipboardPanelController.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/PasteQueueNotice.h"
#include "Tolvi/panels/ClipTransfers.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UnsavedDrafts.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/ai/AIService.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include "Tolvi/inspector/ClipTextEditor.h"
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace tolvi {

namespace {

constexpr int sideMargin = 16;
constexpr int pointerGap = 18;

} // namespace

CompactClipboardPanelController::CompactClipboardPanelController(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      m_dependencies(std::move(dependencies))
{
    if (!m_dependencies.now)
        m_dependencies.now = [] { return ReferenceDate::now(); };
    if (!m_dependencies.pointerPosition)
        m_dependencies.pointerPosition = [] { return QCursor::pos(); };
    hideWhenDeactivated(
        this, [this] { return isWindowVisible(); }, [this] { orderOut(); });
    joinUnsavedDrafts();
}

void CompactClipboardPanelController::joinUnsavedDrafts()
{
    if (!m_dependencies.drafts)
        return;
    UnsavedDrafts::Editor editor;
    editor.kind = UnsavedDraft::compactEditor;
    editor.unsaved = [this]() -> std::optional<UnsavedDraft> {
        if (!m_state || !m_state->holdsUnsavedText())
            return std::nullopt;
        const ClipboardTextDraft& draft = m_state->draft();
        return UnsavedDraft{UnsavedDraft::compactEditor, m_state->editedItemID(), draft.originalText, draft.editedText};
    };
    editor.askToDiscard = [this](std::function<void(bool)> answered) {
        if (!m_state || !m_state->holdsUnsavedText()) {
            answered(true);
            return;
        }
        // The panel in front with its own question; the answer is acted on by the next turn.
        show();
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = connect(m_state, &CompactPanelState::discardConfirmationChanged, this,
                        [this, once, answered](bool presented) {
                            if (presented)
                                return;
                            disconnect(*once);
                            QTimer::singleShot(0, this, [this, answered] { answered(!m_state->holdsUnsavedText()); });
                        });
        m_state->requestLeaveEditor();
        if (!m_state->isDiscardConfirmationPresented()) {
            disconnect(*once);
            answered(!m_state->holdsUnsavedText());
        }
    };
    editor.offer = [this](const UnsavedDraft& draft) {
        show();
        m_state->restoreDraft(draft.clipID, draft.originalText, draft.editedText);
    };
    m_dependencies.drafts->add(this, std::move(editor));
}

CompactClipboardPanelController::~CompactClipboardPanelController()
{
    delete m_panel;
}

bool CompactClipboardPanelController::hasWindow() const
{
    return m_panel != nullptr;
}

bool CompactClipboardPanelController::isWindowVisible() const
{
    return m_panel && m_panel->isVisible();
}

void CompactClipboardPanelController::orderOut()
{
    if (m_panel && m_panel->isVisible())
        m_panel->hide();
}

void CompactClipboardPanelController::toggle()
{
    if (!isWindowVisible())
        show();
    else
        orderOut();
}

void CompactClipboardPanelController::show()
{
    // The target is taken before the panel becomes active, so the paste goes where the user was.
    m_dependencies.pasteService.captureTarget();
    if (!m_panel)
        m_panel = makePanel();
    if (!m_hasInstalledContent) {
        installContent();
        m_hasInstalledContent = true;
    } else {
        // Clips may have aged past a date filter's day while the panel was away.
        m_state->refresh();
    }
    applyPanelHeight(m_state->panelHeight());
    position();
    m_panel->makeKeyAndOrderFront();
    if (!m_hasAppeared) {
        m_hasAppeared = true;
        m_state->appear();
    } else {
        restoreFocus();
    }
}

void CompactClipboardPanelController::restoreFocus()
{
    switch (m_state->mode()) {
    case CompactPanelMode::results:
        m_view->searchField()->setFocus(Qt::ActiveWindowFocusReason);
        break;
    case CompactPanelMode::actions:
        m_view->actionList()->setFocus(Qt::ActiveWindowFocusReason);
        break;
    case CompactPanelMode::editor:
        m_view->editor()->setFocus(Qt::ActiveWindowFocusReason);
        break;
    }
}

EscapeClosingPanel* CompactClipboardPanelController::makePanel()
{
    auto* panel = new EscapeClosingPanel();
    panel->setWindowTitle(windowTitle);
    panel->setAttribute(Qt::WA_TranslucentBackground);
    panel->setMinimumSize(minimumSize);
    panel->setMaximumSize(maximumSize);
    panel->resize(idealWidth, 236);
    if (m_dependencies.theme)
        tolviConsoleAppearance(panel, m_dependencies.theme);
    panel->installEventFilter(this);

    QPointer<EscapeClosingPanel> weakPanel(panel);
    panel->setEscapeHandler([weakPanel] {
        PanelCommandBus::shared().post(CompactKeyboardCommand::cancel, weakPanel.data());
    });
    QPointer<CompactClipboardPanelController> self(this);
    panel->setKeyDownHandler([self](QKeyEvent* event) { return self && self->handleKey(event); });
    return panel;
}

void CompactClipboardPanelController::installContent()
{
    m_state = new CompactPanelState(m_dependencies.store, &m_dependencies.usageMetrics, m_dependencies.featureFlags,
                                    makeActions(), this);
    m_state->setClock(m_dependencies.now);
    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new TolviWindowBackdrop(true, m_panel);
    layout->addWidget(backdrop);
    auto* backdropLayout = new QVBoxLayout(backdrop);
    backdropLayout->setContentsMargins(0, 0, 0, 0);
    m_view = new CompactClipboardPanel(*m_state, m_dependencies.thumbnails, m_panel, backdrop);
    backdropLayout->addWidget(m_view);
    if (m_dependencies.makePreview)
        m_view->setPreviewFactory(m_dependencies.makePreview);
    m_view->storageNoticePlace()->layout()->addWidget(new HistoryStorageNotice(
        m_dependencies.store,
        HistoryStorageNotice::actionsFor(m_panel, m_dependencies.historyFilePath, m_dependencies.openUrl,
                                         m_dependencies.exportHistory),
        m_view->storageNoticePlace()));
    QPointer<CompactClipboardPanelController> self(this);
    m_view->queueNoticePlace()->layout()->addWidget(new PasteQueueNotice(
        m_dependencies.pasteService,
        [self] {
            if (self)
                self->orderOut();
        },
        m_view->queueNoticePlace()));
    m_view->updateNoticePlaces();
    connect(m_state, &CompactPanelState::panelHeightChanged, this, &CompactClipboardPanelController::applyPanelHeight);
}

void CompactClipboardPanelController::applyPanelHeight(int height)
{
    if (!m_panel)
        return;
    // The panel takes the content's ideal height; a width the user gave it stays.
    const int clamped = std::clamp(height, minimumSize.height(), maximumSize.height());
    if (m_panel->height() == clamped)
        return;
    const QRect before = m_panel->geometry();
    m_panel->resize(m_panel->width(), clamped);
    if (!m_panel->isVisible())
        return; // placed when it is shown
    // A panel that opened above the pointer grows upward, one under it downward; either way it
    // stays inside the usable area of its screen.
    const int top = m_opensAbovePointer ? before.bottom() + 1 - clamped : before.y();
    m_panel->move(keptInside(QRect(QPoint(before.x(), top), m_panel->size()), availableArea(before.center())));
}

QRect CompactClipboardPanelController::availableArea(const QPoint& point) const
{
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen && m_panel)
        screen = m_panel->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QPoint CompactClipboardPanelController::keptInside(const QRect& frame, const QRect& available)
{
    // The margins of the placement under the pointer; centred along a side that is too short.
    auto along = [](int start, int length, int areaStart, int areaLength, int margin) {
        const int lo = areaStart + margin;
        const int hi = areaStart + areaLength - length - margin;
        if (lo > hi)
            return areaStart + (areaLength - length) / 2;
        return std::clamp(start, lo, hi);
    };
    return {along(frame.x(), frame.width(), available.x(), available.width(), sideMargin),
            along(frame.y(), frame.height(), available.y(), available.height(), pointerGap)};
}

QPoint CompactClipboardPanelController::placement(const QPoint& pointer, const QRect& available, const QSize& size)
{
    const int left = available.x();
    const int top = available.y();
    const int right = available.x() + available.width();
    const int bottom = available.y() + available.height();
    const int w = size.width();
    const int h = size.height();

    int x;
    const int loX = left + sideMargin;
    const int hiX = right - w - sideMargin;
    if (loX <= hiX)
        x = std::min(hiX, std::max(loX, pointer.x() - w / 2));
    else
        x = left + (available.width() - w) / 2;

    int y;
    const int loY = top + pointerGap;
    const int hiY = bottom - h - pointerGap;
    if (loY <= hiY) {
        // Under the pointer, or above it when the panel would reach into the bottom margin.
        y = pointer.y() + pointerGap;
        if (y + h > bottom - pointerGap)
            y = pointer.y() - pointerGap - h;
        y = std::clamp(y, loY, hiY);
    } else {
        y = top + (available.height() - h) / 2;
    }
    return {x, y};
}

void CompactClipboardPanelController::position()
{
    const QPoint pointer = m_dependencies.pointerPosition();
    const QPoint origin = placement(pointer, availableArea(pointer), m_panel->size());
    m_opensAbovePointer = origin.y() < pointer.y();
    m_panel->move(origin);
}

std::optional<CompactKeyboardCommand> CompactClipboardPanelController::keyCommand(int key,
                                                                                 Qt::KeyboardModifiers modifiers,
                                                                                 PanelKeyboardRouting::Focus focus,
                                                                                 CompactPanelMode mode,
                                                                                 bool modalInteractionActive)
{
    using Focus = PanelKeyboardRouting::Focus;
    if (mode == CompactPanelMode::editor || modalInteractionActive || focus == Focus::textEditor)
        return std::nullopt;
    modifiers = PanelKeyboardRouting::tableModifiers(modifiers);
    if (modifiers != Qt::NoModifier) {
        // Control plays the part of the command key.
        if (modifiers == Qt::ControlModifier && key == Qt::Key_E)
            return CompactKeyboardCommand::editSelectedClip;
        return std::nullopt;
    }
    if (focus == Focus::otherControl)
        return std::nullopt;
    switch (key) {
    case Qt::Key_E:
        if (focus != Focus::searchField && mode == CompactPanelMode::actions)
            return CompactKeyboardCommand::editSelectedClip;
        return std::nullopt;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return CompactKeyboardCommand::accept;
    case Qt::Key_Space:
        if (focus != Focus::searchField)
            return CompactKeyboardCommand::toggleClipPreview;
        return std::nullopt;
    case Qt::Key_Down:
        return CompactKeyboardCommand::selectNextClip;
    case Qt::Key_Up:
        return CompactKeyboardCommand::selectPreviousClip;
    default:
        return std::nullopt;
    }
}

bool CompactClipboardPanelController::handleKey(QKeyEvent* event)
{
    if (!m_panel)
        return false;
    const std::optional<CompactKeyboardCommand> command =
        keyCommand(event->key(), event->modifiers(), PanelKeyboardRouting::focus(m_panel), m_panelMode,
                   m_modalInteractionActive || m_panel->hasOpenModalDialog());
    if (!command)
        return false;
    PanelCommandBus::shared().post(*command, m_panel);
    return true;
}

bool CompactClipboardPanelController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_panel && event->type() == QEvent::Hide && m_view)
        m_view->panelHidden();
    return QObject::eventFilter(watched, event);
}

CompactPanelActions CompactClipboardPanelController::makeActions()
{
    QPointer<CompactClipboardPanelController> self(this);
    CompactPanelActions actions;
    // The panel goes before the paste service activates the target.
    ClipTransfers{this, &m_dependencies.pasteService, &m_dependencies.usageMetrics, [this] { orderOut(); },
                  m_dependencies.aiService}
        .fill(actions);
    actions.setPanelMode = [self](CompactPanelMode mode) {
        if (self)
            self->m_panelMode = mode;
    };
    actions.setModalInteraction = [self](bool active) {
        if (self)
            self->m_modalInteractionActive = active;
    };
    actions.closePanel = [self] {
        if (self)
            self->orderOut();
    };
    actions.retryOCR = m_dependencies.retryOCR;
    return actions;
}

} // namespace tolvi
