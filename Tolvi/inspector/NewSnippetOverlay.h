#pragma once

#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/inspector/IncrementalCharacterCount.h"
#include "Tolvi/inspector/LooksLikeCode.h"

#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <optional>

class QAbstractButton;

namespace tolvi {

class ClipTextEditor;

namespace EditorOverlayParts {
class FooterButton;
class NoticeLine;
class StatusLine;
class SymbolButton;
} // namespace EditorOverlayParts

// "New Snippet": a card over the history window in which the user writes a reusable text clip
// from scratch, then saves it to the history, copies it, or saves and pastes it at once. It
// starts empty each time; everything that leaves it goes through the host's closures.
class NewSnippetOverlay : public TolviCardOverlay {
    Q_OBJECT
public:
    struct Actions {
        // Records the text as a new text clip; true when the history took it.
        std::function<bool(const QString&)> saveSnippet;
        std::function<void(const QString&)> pasteText;
        std::function<void(const QString&)> copyText;
        // Removes the card (the host stops creating a snippet).
        std::function<void()> close;
    };

    // `dialogOwner` is the window the discard question is modal to.
    NewSnippetOverlay(Actions actions, QWidget* dialogOwner, QWidget* host);
    ~NewSnippetOverlay() override;

    // The snippet as typed.
    QString text() const;
    bool canUseText() const;
    const std::optional<QString>& statusMessage() const { return m_statusMessage; }
    QString statusText() const;
    bool isClosed() const { return m_closed; }
    QMessageBox* openQuestion() const { return m_question; }

    ClipTextEditor* editor() const { return m_editor; }
    QAbstractButton* saveButton() const;
    QAbstractButton* copyButton() const;
    QAbstractButton* saveAndPasteButton() const;
    QAbstractButton* closeButton() const;

    void save();
    void copy();
    void saveAndPaste();
    // The one close request of the close button, Escape, the dismiss command and the backdrop.
    void requestClose();
    // Takes back text typed in an earlier run as the snippet being written.
    void restoreText(const QString& text);
    // The host takes the card away: an open question goes unanswered.
    void endSession();

    static constexpr QSize minimumCardSize{430, 360};
    static constexpr QSize idealCardSize{620, 500};
    static constexpr QSize maximumCardSize{780, 700};

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildCard();
    bool store();
    void finishClose();
    void render();

    Actions m_actions;
    QPointer<QWidget> m_dialogOwner;
    QString m_text;
    std::optional<QString> m_statusMessage;
    bool m_closed = false;
    mutable IncrementalCharacterCount m_count;
    LooksLikeCodeTracker m_looksLikeCode;
    QPointer<QMessageBox> m_question;

    EditorOverlayParts::SymbolButton* m_close = nullptr;
    ClipTextEditor* m_editor = nullptr;
    EditorOverlayParts::StatusLine* m_status = nullptr;
    EditorOverlayParts::NoticeLine* m_statusOverflow = nullptr;
    EditorOverlayParts::FooterButton* m_save = nullptr;
    EditorOverlayParts::FooterButton* m_copy = nullptr;
    QAbstractButton* m_saveAndPaste = nullptr;
};

} // namespace tolvi
