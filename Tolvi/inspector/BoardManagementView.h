#pragma once

#include "TolviCore/model/Pinboard.h"

#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QToolButton;

namespace tolvi {

class BoardListModel;
class ClipboardStore;
class TolviAccessibilityAnnouncement;

// One board's controls in the sheet's list: its name field, "Save", the two arrows and the
// trash button. The list's delegate draws the row around them (the surface and the symbol).
class BoardRowEditor final : public QWidget {
    Q_OBJECT
public:
    enum class Control { name, save, up, down, remove };

    explicit BoardRowEditor(QWidget* parent = nullptr);

    // Shows the board with the field's text and which controls take input.
    void showBoard(const Pinboard& board, const QString& fieldText, bool canSave, bool canMoveUp, bool canMoveDown,
              bool canRemove);

    const QUuid& boardID() const { return m_boardID; }
    QLineEdit* nameField() const { return m_name; }
    QPushButton* saveButton() const { return m_save; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }
    QToolButton* removeButton() const { return m_remove; }
    QWidget* control(Control control) const;
    // Which of the controls the widget is, if any.
    std::optional<Control> controlOf(const QWidget* widget) const;

signals:
    void nameEdited(const QUuid& boardID, const QString& text);
    void saveRequested(const QUuid& boardID);
    void moveRequested(const QUuid& boardID, int offset);
    void removeRequested(const QUuid& boardID);

protected:
    void changeEvent(QEvent* event) override;

private:
    void paintIcons();

    QUuid m_boardID;
    QString m_shownName;
    QLineEdit* m_name;
    QPushButton* m_save;
    QToolButton* m_up;
    QToolButton* m_down;
    QToolButton* m_remove;
};

// The sheet in which the user creates, renames, reorders and removes boards. It keeps no board
// data of its own: every change goes to the store, which checks it, writes the history (off the
// main thread) and publishes the new board list, and the rows follow the store's list. The sheet
// adds the editing buffer for names (the new board's name and names typed for existing boards),
// the rules for which controls take input, the confirmations, the guard against closing with
// unsaved names and the store's refusal messages. While the store writes a change the sheet shows
// that it is saving and takes no other change.
class BoardManagementView final : public QWidget {
    Q_OBJECT
public:
    explicit BoardManagementView(ClipboardStore& store, QWidget* parent = nullptr);
    ~BoardManagementView() override;

    // Done, Escape and the window's dismiss command: asks before unsaved names are dropped,
    // closes at once otherwise. Nothing while a change is being saved.
    void requestClose();
    // A click beside the sheet: closes it only when that loses nothing (no unsaved names and no
    // change being saved).
    void requestInteractiveDismissal();

    bool hasUnsavedChanges() const;
    // A change of this sheet's is being written.
    bool isBusy() const;
    const std::optional<QString>& error() const { return m_error; }
    // The open discard or removal dialog, if any.
    QMessageBox* confirmation() const { return m_confirmation; }

    QLineEdit* newNameField() const { return m_newName; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* doneButton() const { return m_done; }
    QLabel* errorLabel() const { return m_errorText; }
    QLabel* savingLabel() const { return m_saving; }
    QListView* list() const { return m_list; }
    int rowCount() const;
    BoardRowEditor* row(int index) const;

    static constexpr QSize minimumSheetSize{480, 360};
    static constexpr QSize idealSheetSize{620, 420};
    static constexpr int maximumSheetHeight = 600;
    static constexpr qreal cornerRadius = 18;

signals:
    // The sheet closed itself (Done with nothing unsaved, or "Discard Changes"): the presenter
    // takes it away.
    void finished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct FocusSpot {
        QUuid boardID;
        BoardRowEditor::Control control;
    };
    using Operation = std::function<void(std::function<void(const std::optional<QString>&)>)>;

    void render();
    void styleScrollBar();
    void syncRows();
    void editorCreated(BoardRowEditor* editor);
    QString fieldText(const Pinboard& board) const;
    bool canSave(const Pinboard& board) const;

    void create();
    void save(const QUuid& boardID);
    void move(const QUuid& boardID, int offset);
    void confirmRemoval(const QUuid& boardID);
    void remove(const QUuid& boardID);
    void perform(const Operation& operation, std::function<void()> succeeded = {});
    void confirmDiscard();
    QMessageBox* makeConfirmation(const QString& text);
    void keepFocusWhileSaving();
    void restoreFocus();
    void scrollToFocusedRow(QWidget* focused);

    ClipboardStore& m_store;
    QHash<QUuid, QString> m_names;
    std::optional<QString> m_error;
    std::optional<Pinboard> m_deleting;
    bool m_waitingForWrite = false;
    std::optional<FocusSpot> m_rowFocus;
    QPointer<QWidget> m_focus;

    QLineEdit* m_newName = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_done = nullptr;
    QLabel* m_saving = nullptr;
    QWidget* m_errorLine = nullptr;
    QLabel* m_errorText = nullptr;
    QListView* m_list = nullptr;
    BoardListModel* m_model = nullptr;
    TolviAccessibilityAnnouncement* m_announcement = nullptr;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace tolvi
