#pragma once

#include "Tolvi/inspector/ClipLensView.h"

#include <QObject>

namespace tolvi {

class HistoryWindowState;
class ThumbnailCache;

// The history window's inspector pane: a ClipLensView in the inspector's place showing the
// window's inspected clip, given again (the clip looked up anew) whenever the clip, the
// store's recognition bookkeeping, the boards, the multi-paste choice or the overlays the
// window can open change. Its actions are the window's own.
class HistoryInspector final : public QObject {
    Q_OBJECT
public:
    HistoryInspector(HistoryWindowState& state, ThumbnailCache* thumbnails, QWidget* place);

    ClipLensView* view() const { return m_view; }

    // What the pane shows of a clip, as the window's state and store have it now.
    static ClipLensView::Input input(const HistoryWindowState& state, const ClipboardItem& item);
    // The pane's actions, bound to the window's state (and doing nothing once it is gone).
    static ClipLensView::Actions actions(HistoryWindowState& state);

private:
    void refresh();

    HistoryWindowState& m_state;
    ClipLensView* m_view = nullptr;
};

} // namespace tolvi
