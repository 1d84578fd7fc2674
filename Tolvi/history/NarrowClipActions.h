#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace tolvi {

class HistoryWindowState;
class OCRStatusLabel;
class TolviAccessibilityAnnouncement;
class TolviPrimaryButton;

// The action strip under the clip list of a narrow history window, for the inspected clip:
// Paste, Copy and Inspect; a note for clips kept as file references; and for images where text
// recognition stands, with a button that starts or repeats it. It follows the window's
// inspected clip and the store's recognition bookkeeping; every action finds the clip again
// by id when it runs.
class NarrowClipActions : public QWidget {
    Q_OBJECT
public:
    NarrowClipActions(HistoryWindowState& state, QWidget* parent = nullptr);
    ~NarrowClipActions() override;

    // The clip the strip shows; none while the list is empty.
    const std::optional<QUuid>& itemID() const { return m_itemID; }

    // Its pieces, for the window and for tests.
    TolviPrimaryButton* pasteButton() const { return m_paste; }
    QPushButton* copyButton() const { return m_copy; }
    QPushButton* inspectButton() const { return m_inspect; }
    QLabel* fileNote() const { return m_fileNote; }
    QWidget* ocrRow() const { return m_ocrRow; }
    OCRStatusLabel* ocrStatusLabel() const { return m_ocrStatus; }
    QWidget* ocrProgress() const { return m_ocrProgress; }
    QPushButton* ocrButton() const { return m_ocrButton; }
    QLabel* ocrNote() const { return m_ocrNote; }
    // Whether the recognition status and its button share one line at the strip's width.
    bool isOCRRowSideBySide() const;

    // The strip's height at a width (its notes and recognition line wrap when narrow).
    int preferredHeight(int width) const;

    // Where recognition stands for the strip's status line: the stored status, else
    // "processing" while the image is being read, else none (always none for text clips).
    static std::optional<ClipboardStore::OCRStatus> ocrRowStatus(const ClipboardStore& store,
                                                                 const ClipboardItem& item);
    // The title of both recognition buttons: "Retry Text Recognition" once the image has a
    // stored status, else "Read Image Text".
    static QString ocrButtonTitle(const ClipboardStore& store, const ClipboardItem& item);
    // The reassurance shown under the status line, if the status has one.
    static std::optional<QString> ocrNoteText(ClipboardStore::OCRStatus status);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    std::optional<ClipboardItem> currentItem() const;

    HistoryWindowState& m_state;
    std::optional<QUuid> m_itemID;
    TolviPrimaryButton* m_paste = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_inspect = nullptr;
    QLabel* m_fileNote = nullptr;
    QWidget* m_ocrRow = nullptr;
    QWidget* m_ocrStatusRow = nullptr;
    QWidget* m_ocrProgress = nullptr;
    OCRStatusLabel* m_ocrStatus = nullptr;
    QPushButton* m_ocrButton = nullptr;
    QLabel* m_ocrNote = nullptr;
    // Speaks status changes of the shown clip; made anew for every other clip, so a status
    // already there when a clip is first shown is not spoken.
    QPointer<TolviAccessibilityAnnouncement> m_announcement;
};

} // namespace tolvi
