#pragma once

#include <QListView>

#include <functional>

namespace tolvi {

// The history window's clip list: a click selects, nothing activates, and the bare digits 1 to
// 9 select the first nine rows. A press on a row's multi-paste mark toggles the clip's place in
// the choice. Typing never searches inside the list (the search field does that).
class HistoryListView : public QListView {
    Q_OBJECT
public:
    std::function<void(int row)> selectRow;
    // A press on a row's multi-paste mark.
    std::function<void(int row)> toggleMark;

    explicit HistoryListView(QWidget* parent = nullptr);

    static constexpr int layoutBatchSize = 2000;

    void keyboardSearch(const QString&) override {}
    // A row further down than the batches laid out so far is shown after all rows are laid out.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tolvi
