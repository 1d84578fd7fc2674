#pragma once

#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/inspector/IncrementalCharacterCount.h"
#include "Tolvi/inspector/LooksLikeCode.h"
#include "TolviCore/ai/AIAction.h"
#include "TolviCore/ai/AIResult.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ClipboardTextDraft.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <optional>

class QAbstractButton;
class QStackedWidget;

namespace tolvi {

class ClipTextEditor;
class ClipboardStore;

namespace EditorOverlayParts {
class AIActionButton;
class FooterButton;
class NoticeLine;
class SegmentButton;
class StatusLine;
class SymbolButton;
class TextPlate;
} // namespace EditorOverlayParts

// "Quick Edit": a card over the history window in which the user rewrites the text of one
// clip, then saves it into that clip, copies or pastes it, or runs one of the two AI writing
// actions on it. The text lives in a ClipboardTextDraft (the text as last saved beside the
// text being edited); the editor gives back exactly what it was given where the user did not
// touch it. Everything that leaves the card goes through the host's closures.
//
// The card follows its clip in the history, looked up by id whenever the history changes:
//  - a clip recorded again (copied anew from the editor, or another clip edited to the same
//    text) has a new id; the card takes that clip as its own;
//  - a clip whose text changed elsewhere is shown anew while nothing was typed; otherwise the
//    card says so, and Save asks before it replaces that text;
//  - a clip that left the history (deleted, evicted) is said to be gone; Save then keeps the
//    text as a new clip. Typed text is never lost without the user's word.
// A save the history refuses says why (the history's own message), keeping the text.
//
// An AI result is applied only while the text it was asked for is unchanged and the card is
// open; a result of an earlier request, or one that arrives after the card closed, is dropped.
class ClipTextEditorOverlay : public TolviCardOverlay {
    Q_OBJECT
public:
    // Runs an action on a text; `done` is called on the receiver's thread, never after the
    // receiver is gone.
    using RunAIAction = std::function<void(const AIAction&, const QString&, QObject* receiver,
                                           std::function<void(AIResult)> done)>;

    struct Actions {
        // Replaces the text of that clip; true when the history stored it.
        std::function<bool(const ClipboardItem&, const QString&)> saveText;
        // Records the text as a new clip; true when the history took it.
        std::function<bool(const QString&)> saveAsNewClip;
        std::function<void(const QString&)> pasteText;
        std::function<void(const QString&)> copyText;
        RunAIAction runAIAction;
        // Removes the card (the host stops editing).
        std::function<void()> close;
    };

    enum class TextEditorTab { original, edited };

    // `store` is only read (the clip and the reasons of a refusal); `dialogOwner` is the window
    // the questions are modal to; `now` is the clock of the header's time (seconds since
    // 2001-01-01 UTC), the system clock when empty.
    ClipTextEditorOverlay(const ClipboardItem& item, const ClipboardStore& store, Actions actions,
                          bool showsAIControls, QWidget* dialogOwner, QWidget* host,
                          std::function<double()> now = {});
    ~ClipTextEditorOverlay() override;

    // State.
    const ClipboardItem& item() const { return m_item; }
    const ClipboardTextDraft& draft() const { return m_draft; }
    TextEditorTab editorTab() const { return m_tab; }
    const std::optional<QString>& runningAIActionID() const { return m_runningAIActionID; }
    const std::optional<QString>& aiErrorMessage() const { return m_aiErrorMessage; }
    QString editorStatus() const;
    bool isClipGone() const { return m_clipGone; }
    bool isClipChangedElsewhere() const { return m_changedElsewhere; }
    // The sentence under the text about the clip or a refused save; empty when none.
    QString notice() const;
    bool isClosed() const { return m_closed; }
    // The question open over the window (discard, or replace a changed clip), if any.
    QMessageBox* openQuestion() const { return m_question; }

    // Parts, for the host and for tests.
    ClipTextEditor* editor() const { return m_editor; }
    ClipTextEditor* originalView() const { return m_original; }
    QAbstractButton* saveButton() const;
    QAbstractButton* copyButton() const;
    QAbstractButton* pasteButton() const;
    QAbstractButton* closeButton() const;
    QList<QAbstractButton*> aiButtons() const;

    // Actions.
    void save();
    void copy();
    void paste();
    void runAI(const AIAction& action);
    void setEditorTab(TextEditorTab tab);
    // The one close request of the close button, Escape, the dismiss command and the backdrop.
    void requestClose();
    // Takes back text typed in an earlier run as the edited text, against the clip's text.
    void restoreEditedText(const QString& text);
    // The host takes the card away (it goes out, then goes): from now on nothing reaches the
    // text, a late AI result least of all, and an open question goes unanswered.
    void endSession();

    static constexpr QSize minimumCardSize{430, 380};
    static constexpr QSize idealCardSize{620, 520};
    static constexpr QSize maximumCardSize{780, 720};

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildCard();
    void loadText(const QString& text);
    void showInEditor(const QString& text);
    // The text's character count, or -1 while it is counted off the main thread.
    qsizetype countOf(const QString& text);
    void editorEdited();
    void followStore();
    std::optional<ClipboardItem> successor() const;
    void writeToClip();
    void writeAsNewClip();
    // The text just saved is the one the card starts from now.
    void markSaved(const QString& text);
    QString refusalReason() const;
    void finishAI(const QUuid& request, const QString& input, const AIResult& result);
    void finishClose();
    void render();
    void fitFooter();
    void showTab();

    ClipboardItem m_item;
    const ClipboardStore& m_store;
    Actions m_actions;
    bool m_showsAIControls;
    QPointer<QWidget> m_dialogOwner;
    std::function<double()> m_now;

    ClipboardTextDraft m_draft;
    TextEditorTab m_tab = TextEditorTab::edited;
    std::optional<QString> m_runningAIActionID;
    std::optional<QString> m_aiErrorMessage;
    QUuid m_aiRequestID = QUuid::createUuid();
    bool m_closed = false;
    // The history is being written by this card: its change is this card's own.
    bool m_saving = false;
    bool m_clipGone = false;
    bool m_changedElsewhere = false;
    std::optional<QString> m_refusal;
    // The Original tab shows the saved text once it is looked at.
    bool m_originalLoaded = false;
    // Counted anew from the stretch that changed, on every look at the status.
    mutable IncrementalCharacterCount m_editedCount;
    qsizetype m_originalCount = 0;
    LooksLikeCodeTracker m_editedLooksLikeCode;
    QPointer<QMessageBox> m_question;

    EditorOverlayParts::StatusLine* m_subtitle = nullptr;
    EditorOverlayParts::SymbolButton* m_close = nullptr;
    EditorOverlayParts::SegmentButton* m_originalTab = nullptr;
    EditorOverlayParts::SegmentButton* m_editedTab = nullptr;
    EditorOverlayParts::TextPlate* m_plate = nullptr;
    QStackedWidget* m_stack = nullptr;
    ClipTextEditor* m_editor = nullptr;
    ClipTextEditor* m_original = nullptr;
    EditorOverlayParts::NoticeLine* m_notice = nullptr;
    // The status when it is too long for the footer: above it, wrapped.
    EditorOverlayParts::NoticeLine* m_statusOverflow = nullptr;
    EditorOverlayParts::StatusLine* m_status = nullptr;
    QList<EditorOverlayParts::AIActionButton*> m_aiButtons;
    EditorOverlayParts::FooterButton* m_save = nullptr;
    EditorOverlayParts::FooterButton* m_copy = nullptr;
    QAbstractButton* m_paste = nullptr;
};

} // namespace tolvi
