#include "Tolvi/compact/CompactPanelState.h"

#include "Tolvi/inspector/EditorStatusText.h"
#include "Tolvi/inspector/LooksLikeCode.h"
#include "Tolvi/inspector/ShownText.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/ai/AIError.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QPointer>
#include <QTimer>

namespace tolvi {

namespace {

const QString changedWhileRunning =
    QStringLiteral("Your text changed while the rewrite was running. Run it again to use your latest text.");
const QString editedClipGone =
    QStringLiteral("This clip is no longer in the history, so the edit was not saved. Copy or paste it instead.");
const QString editNotSaved = QStringLiteral("The edit could not be saved.");
const QString tooLongForAI = QStringLiteral("This text is too long to send for a rewrite.");
} // namespace

// ---- Editor state -----------------------------------------------------------------------

void CompactPanelState::setEditedText(const QString& text)
{
    if (text == m_draft.editedText)
        return;
    m_draft.editedText = text;
    emit editorStatusChanged();
}

void CompactPanelState::setEditorTab(CompactEditorTab tab)
{
    if (tab == m_editorTab)
        return;
    m_editorTab = tab;
    emit editorTabChanged();
}

QString CompactPanelState::editorTitle() const
{
    if (m_editedItemID) {
        if (const std::optional<ClipboardItem> item = m_store.item(*m_editedItemID))
            return summary(*item);
    }
    return QStringLiteral("Text clip");
}

std::optional<AIAction> CompactPanelState::runningAIAction() const
{
    if (!m_runningAIActionID)
        return std::nullopt;
    for (const AIAction& action : AIAction::textActions()) {
        if (action.id == *m_runningAIActionID)
            return action;
    }
    return std::nullopt;
}

QString CompactPanelState::editorStatus() const
{
    if (m_aiErrorMessage)
        return *m_aiErrorMessage;
    if (const std::optional<AIAction> running = runningAIAction()) {
        if (running->id == AIAction::draftReply().id)
            return QStringLiteral("Drafting reply...");
        if (running->id == AIAction::fixWriting().id)
            return QStringLiteral("Fixing writing...");
        return QStringLiteral("Running AI...");
    }
    if (m_saveIssue)
        return *m_saveIssue;
    if (m_draftTooLongToEdit)
        return QStringLiteral("Long text");
    return EditorStatusText::characterStatus(m_editedCount.count(m_draft.editedText), m_originalCount,
                                             m_draft.hasUnsavedChanges());
}

bool CompactPanelState::editorStatusIsError() const
{
    return m_aiErrorMessage.has_value() || (!m_runningAIActionID && m_saveIssue.has_value());
}

bool CompactPanelState::canRunAIInEditor() const
{
    // A text too long to edit here is too long to send for a rewrite too.
    return m_draft.canUseEditedText() && !m_runningAIActionID && !m_draftTooLongToEdit;
}

bool CompactPanelState::canSaveEditedText() const
{
    return m_draft.canUseEditedText() && m_draft.hasUnsavedChanges();
}

bool CompactPanelState::looksLikeCode(const QString& text)
{
    return ::tolvi::looksLikeCode(QStringView(text));
}

// ---- Entering and leaving the editor ----------------------------------------------------

void CompactPanelState::openEditor()
{
    std::optional<ClipboardItem> item;
    if (m_mode == CompactPanelMode::editor) {
        // Opening again re-reads the clip, but never over unsaved text.
        if (m_draft.hasUnsavedChanges())
            return;
        if (m_editedItemID)
            item = m_store.item(*m_editedItemID);
    } else {
        item = selectedItem();
    }
    if (!item || !item->content().isText())
        return;
    invalidateAIRequest();
    m_editedItemID = item->id();
    m_aiErrorMessage.reset();
    m_editorTab = CompactEditorTab::edited;
    replaceDraft(item->content().textValue());
    setSelectedItemID(item->id());
    setMode(CompactPanelMode::editor);
    requestEditorFocus();
}

bool CompactPanelState::isTooLongToEdit(const QString& text)
{
    return text.size() > maximumEditableLength || ShownText::hasTooManyLines(text);
}

void CompactPanelState::editedTextReplaced()
{
    m_draftTooLongToEdit = isTooLongToEdit(m_draft.editedText);
    m_editedCount.reset();
}

void CompactPanelState::replaceDraft(const QString& text, const std::optional<QString>& editedText)
{
    m_draft = ClipboardTextDraft(text);
    m_draftTooLongToEdit = isTooLongToEdit(text);
    m_editedCount.reset();
    m_originalCount = m_draftTooLongToEdit ? 0 : m_editedCount.count(text);
    if (editedText) {
        m_draft.editedText = *editedText;
        editedTextReplaced();
    }
    m_saveIssue.reset();
    emit draftReplaced();
    emit editorTabChanged();
    emit editorStatusChanged();
}

bool CompactPanelState::restoreDraft(const std::optional<QUuid>& clipID, const QString& originalText,
                                     const QString& editedText)
{
    if (holdsUnsavedText())
        return false;
    closePreview();
    invalidateAIRequest();
    m_editedItemID = clipID;
    m_aiErrorMessage.reset();
    m_editorTab = CompactEditorTab::edited;
    replaceDraft(originalText, editedText);
    if (clipID && m_store.item(*clipID))
        setSelectedItemID(clipID);
    setMode(CompactPanelMode::editor);
    requestEditorFocus();
    return true;
}

bool CompactPanelState::holdsUnsavedText() const
{
    return m_mode == CompactPanelMode::editor && m_draft.hasUnsavedChanges();
}

void CompactPanelState::requestLeaveEditor()
{
    if (m_draft.editedText != m_draft.originalText) {
        setDiscardConfirmation(true);
        return;
    }
    leaveEditorToActions();
}

void CompactPanelState::leaveEditorToActions()
{
    invalidateAIRequest();
    setMode(CompactPanelMode::actions);
    normalizeActionSelection();
    emit actionsChanged();
}

void CompactPanelState::discardChanges()
{
    setDiscardConfirmation(false);
    leaveEditorToActions();
}

void CompactPanelState::keepEditing()
{
    setDiscardConfirmation(false);
}

void CompactPanelState::setDiscardConfirmation(bool presented)
{
    if (presented == m_isDiscardConfirmationPresented)
        return;
    m_isDiscardConfirmationPresented = presented;
    emit discardConfirmationChanged(presented);
    updateModalInteraction();
}

void CompactPanelState::requestEditorFocus()
{
    QPointer<CompactPanelState> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->m_mode == CompactPanelMode::editor)
            emit self->editorFocusRequested();
    });
}

void CompactPanelState::invalidateAIRequest()
{
    m_aiRequestID = QUuid::createUuid();
    if (m_runningAIActionID) {
        m_runningAIActionID.reset();
        emit editorStatusChanged();
    }
}

// ---- AI runs ----------------------------------------------------------------------------

void CompactPanelState::runAIFromActions(const AIAction& action, const ClipboardItem& item, const QString& text)
{
    if (!m_featureFlags.aiRewriteEnabled())
        return;
    // Never over an unsaved draft of another run.
    if (m_mode == CompactPanelMode::editor && m_draft.hasUnsavedChanges())
        return;
    setSelectedItemID(item.id());
    invalidateAIRequest();
    m_editedItemID = item.id();
    m_aiErrorMessage.reset();
    m_editorTab = CompactEditorTab::edited;
    replaceDraft(text);
    setMode(CompactPanelMode::editor);
    requestEditorFocus();
    if (m_draftTooLongToEdit) {
        // Nothing this long is sent for a rewrite; the editor says why nothing runs.
        m_aiErrorMessage = tooLongForAI;
        emit editorStatusChanged();
        return;
    }
    runAIInEditor(action);
}

void CompactPanelState::runAIInEditor(const AIAction& action)
{
    if (!m_featureFlags.aiRewriteEnabled() || !canRunAIInEditor() || !m_actions.runAIAction)
        return;
    invalidateAIRequest();
    m_aiErrorMessage.reset();
    m_runningAIActionID = action.id;
    emit editorStatusChanged();

    const QUuid token = m_aiRequestID;
    const std::optional<QUuid> itemID = m_editedItemID;
    const QString input = m_draft.editedText;
    QPointer<CompactPanelState> self(this);
    m_actions.runAIAction(action, input, this, [self, token, itemID, input](AIResult result) {
        // A result belongs to the run that is still current, in the editor, on the same clip.
        if (!self || self->m_aiRequestID != token || self->m_mode != CompactPanelMode::editor
            || self->m_editedItemID != itemID)
            return;
        self->m_runningAIActionID.reset();
        if (!result.isSuccess()) {
            const AIErrorPtr error = result.error();
            self->m_aiErrorMessage = error ? error->errorDescription() : QStringLiteral("AI returned an empty result.");
            emit self->editorStatusChanged();
            return;
        }
        if (self->m_draft.editedText != input) {
            self->m_aiErrorMessage = changedWhileRunning;
            emit self->editorStatusChanged();
            return;
        }
        self->m_draft.applyAIResult(result.text());
        self->editedTextReplaced();
        self->m_editorTab = CompactEditorTab::edited;
        emit self->draftReplaced();
        emit self->editorTabChanged();
        emit self->editorStatusChanged();
        emit self->editorFocusRequested();
    });
}

// ---- Using the edited text --------------------------------------------------------------

void CompactPanelState::saveEditedText()
{
    if (!m_editedItemID || !m_draft.canUseEditedText() || !m_draft.hasUnsavedChanges())
        return;
    const std::optional<ClipboardItem> item = m_store.item(*m_editedItemID);
    if (!item) {
        // Evicted or removed meanwhile: saving must not bring it back, nor land on another clip.
        m_saveIssue = editedClipGone;
        emit editorStatusChanged();
        return;
    }
    if (!m_store.updateText(m_draft.editedText, *item)) {
        m_saveIssue = m_store.lastCaptureIssue().value_or(editNotSaved);
        emit editorStatusChanged();
        return;
    }
    m_saveIssue.reset();
    m_draft.markSaved();
    m_originalCount = m_editedCount.count(m_draft.editedText);
    setSelectedItemID(item->id());
    if (m_usageMetrics)
        m_usageMetrics->record(UsageMetricEvent::quickEditSaved);
    emit editorStatusChanged();
}

void CompactPanelState::copyEditedText()
{
    if (m_draft.canUseEditedText() && m_actions.copyText)
        m_actions.copyText(m_draft.editedText);
}

void CompactPanelState::pasteEditedText()
{
    if (m_draft.canUseEditedText() && m_actions.pasteText)
        m_actions.pasteText(m_draft.editedText);
}

} // namespace tolvi
