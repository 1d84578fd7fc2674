#pragma once

namespace tolvi {

class Alerts;
class ClipboardStore;
class DesktopWorkspace;
class FilePanels;

// Saving the whole history to an archive file the user picks.
namespace HistoryExporter {
void exportHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts, DesktopWorkspace& workspace);
}

// Merging an archive file into the history after showing what it would add.
namespace HistoryImporter {
// Files over this size are refused before they are read.
inline constexpr long long maximumFileBytes = 100'000'000;
void importHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts);
}

} // namespace tolvi
