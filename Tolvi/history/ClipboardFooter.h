#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tolvi {

class ClipboardFooterFlowLayout;
class HistoryWindowState;
class TolviPrimaryButton;

// The history window's bottom strip: how many clips the list shows, the multi-paste controls
// (select or deselect every visible clip, how many are chosen, clear the choice, paste it) and
// "Show in All History" while a filter hides part of the history. Its items flow onto further
// rows when the window is narrow. It keeps no state of its own: everything it shows follows
// the window's state as it changes.
class ClipboardFooter : public QWidget {
    Q_OBJECT
public:
    ClipboardFooter(HistoryWindowState& state, QWidget* parent = nullptr);
    ~ClipboardFooter() override;

    // Its pieces, for the window and for tests.
    QLabel* countLabel() const { return m_count; }
    QPushButton* visibleSelectionButton() const { return m_visibleSelection; }
    QLabel* selectedCountLabel() const { return m_selectedCount; }
    QPushButton* clearSelectionButton() const { return m_clearSelection; }
    TolviPrimaryButton* pasteSelectedButton() const { return m_pasteSelected; }
    QPushButton* showInAllHistoryButton() const { return m_showInAllHistory; }
    ClipboardFooterFlowLayout* flowLayout() const { return m_layout; }

    // The count text for `filtered` of `total` clips ("24 clips", "1 clip", "3 of 24 clips").
    static QString countText(qsizetype filtered, qsizetype total);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    HistoryWindowState& m_state;
    ClipboardFooterFlowLayout* m_layout = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_visibleSelection = nullptr;
    QLabel* m_selectedCount = nullptr;
    QPushButton* m_clearSelection = nullptr;
    TolviPrimaryButton* m_pasteSelected = nullptr;
    QPushButton* m_showInAllHistory = nullptr;
};

} // namespace tolvi
