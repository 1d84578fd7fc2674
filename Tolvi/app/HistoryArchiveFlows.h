#pragma once

class QWidget;

namespace tolvi {

class Alerts;
class ClipboardStore;
class DesktopWorkspace;
class FilePanels;

// Saving the whole history to an archive file the user picks. The archive is encoded and written
// on a thread of its own, with its progress (and Cancel) in a sheet over `parent`, the window that
// asked; the call returns once it is over, the program's events going on meanwhile.
namespace HistoryExporter {
void exportHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts, DesktopWorkspace& workspace,
                   QWidget* parent = nullptr);
}

// Merging an archive file into the history after showing what it would add. The archive is read
// and parsed on a thread of its own (cancellable), and the merged history written on another;
// progress shows in a sheet over `parent`. The history is unchanged until the merge is on disk.
namespace HistoryImporter {
// Files over this size are refused before they are read.
inline constexpr long long maximumFileBytes = 100'000'000;
void importHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts, QWidget* parent = nullptr);
}

} // namespace tolvi
