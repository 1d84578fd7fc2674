#pragma once

#include "Tolvi/inspector/LooksLikeCode.h"

#include <QList>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace tolvi {

class ClipTextEditor;
class CompactPanelState;

// What the compact panel shows while editing a clip's text before pasting it: the "Original" /
// "Edited" switch over the text, the status line, the AI actions (when they are on), Save,
// Copy and Paste. Ctrl+S saves and Ctrl+Return pastes while anything of the page has focus. A
// text too long to edit here is not laid out: a note stands in its place.
class CompactEditorPage : public QWidget {
    Q_OBJECT
public:
    explicit CompactEditorPage(CompactPanelState& state, QWidget* parent = nullptr);

    // The editor gives back the text as stored where the user did not touch it: read it with
    // storedText().
    ClipTextEditor* editor() const { return m_editor; }
    ClipTextEditor* originalText() const { return m_original; }
    QLabel* longTextNote() const { return m_longTextNote; }
    QLabel* statusLabel() const { return m_status; }
    QAbstractButton* saveButton() const { return m_save; }
    QAbstractButton* copyButton() const { return m_copy; }
    QPushButton* pasteButton() const { return m_paste; }
    QList<QAbstractButton*> aiButtons() const { return m_aiButtons; }
    QAbstractButton* editedTabButton() const { return m_editedTab; }
    QAbstractButton* originalTabButton() const { return m_originalTab; }

    // The state's draft was replaced, its tab or its status changed.
    void showDraft();
    void showEditorTab();
    void showEditorStatus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CompactPanelState& m_state;
    QAbstractButton* m_originalTab = nullptr;
    QAbstractButton* m_editedTab = nullptr;
    QStackedWidget* m_textStack = nullptr;
    ClipTextEditor* m_editor = nullptr;
    ClipTextEditor* m_original = nullptr;
    QLabel* m_longTextNote = nullptr;
    LooksLikeCodeTracker m_editedLooksLikeCode;
    QLabel* m_status = nullptr;
    QList<QAbstractButton*> m_aiButtons;
    QAbstractButton* m_save = nullptr;
    QAbstractButton* m_copy = nullptr;
    QPushButton* m_paste = nullptr;
};

} // namespace tolvi
