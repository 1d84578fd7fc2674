#pragma once

#include <QWidget>

class QListView;

namespace tolvi {

class HistoryDivider;
class NarrowClipActions;

// The clip list with the inspector's place beside it when the window is wide, or the narrow
// action strip's place under it when it is narrow. Beside the inspector the rows sit on a
// slightly darker band. Neither place shows while no clip is inspected.
class HistoryContentSplit : public QWidget {
    Q_OBJECT
public:
    HistoryContentSplit(QListView* list, QWidget* parent = nullptr);

    // From this width on the inspector stands beside the list.
    static constexpr int wideLayoutWidth = 760;
    // Width of the list beside the inspector.
    static int wideListWidth(int width);

    bool isWide() const { return width() >= wideLayoutWidth; }
    QWidget* inspectorPlace() const { return m_inspector; }
    QWidget* narrowActionsPlace() const { return m_narrowActions; }
    void setNarrowStrip(NarrowClipActions* strip);
    void setHasLens(bool hasLens);
    // Lays the parts out again now (the strip's height may have changed).
    void relayoutNow() { relayout(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void relayout();

    QListView* m_list;
    HistoryDivider* m_divider;
    HistoryDivider* m_bottomDivider;
    QWidget* m_inspector;
    QWidget* m_narrowActions;
    NarrowClipActions* m_narrowStrip = nullptr;
    bool m_hasLens = false;
};

} // namespace tolvi
