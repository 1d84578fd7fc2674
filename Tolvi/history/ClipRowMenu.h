#pragma once

#include <QUuid>

class QAction;
class QMenu;
class QWidget;

namespace tolvi {

class ClipboardItem;
class HistoryWindowState;

namespace ClipRowMenu {

// The context menu of a history row, as a right click or the menu key opens it: text
// recognition, Pin or Unpin, the board submenu, the multi-paste entry, "Paste As", "Tools",
// Edit, Copy and Delete. It takes its colours and symbols from `context`, and its actions run
// only while `context` is there; each finds the clip again when it runs. Nothing when the clip
// is not in the history. The menu deletes itself on closing.
QMenu* make(HistoryWindowState& state, const QUuid& itemID, QWidget* parent, QWidget* context);

} // namespace ClipRowMenu

// The per-clip entries of a history row's context menu that belong with the multi-paste
// choice, text recognition and the transforms. Each action finds the clip again by id when it
// runs and does nothing once the clip is gone.
namespace ClipRowMenuEntries {

enum class Part {
    // The recognition entry that heads the menu (only where a retry is offered).
    leading,
    // After the board submenu: the multi-paste entry, "Paste As" and "Tools".
    middle,
};

// Adds the entries of `part` for the clip; nothing when the clip is not in the history.
void add(QMenu& menu, HistoryWindowState& state, const QUuid& itemID, Part part);

// The single entries, for hosts that place them one by one. Each returns what it added.
// "Read Image Text" / "Retry Text Recognition", only where state.canRetryOCR(item).
QAction* addRetryOCR(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item);
// "Select for Multi-Paste" / "Remove from Multi-Paste Selection": toggles the choice only.
QAction* addQueueToggle(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item);
// The "Paste As" submenu with the window's paste actions.
QMenu* addPasteAs(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item);
// The "Tools" submenu: the transforms of a text (or of an image's recognised text) and the
// image's size and byte count, each copied, never pasted.
QMenu* addTools(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item);

} // namespace ClipRowMenuEntries

} // namespace tolvi
