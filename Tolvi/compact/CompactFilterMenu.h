#pragma once

#include "Tolvi/compact/CompactPanelParts.h"

class QMenu;

namespace tolvi {

class CompactPanelState;

// The compact panel's filter button beside the search field and the menu it opens: the "Type"
// and "Date" pickers, "OCR Text Only" and, while any of them narrows the list, "Clear Filters".
// The button's symbol is filled in electric blue while a filter is active. The query never
// counts as a filter here.
class CompactFilterMenu : public CompactPanelParts::SymbolButton {
    Q_OBJECT
public:
    explicit CompactFilterMenu(CompactPanelState& state, QWidget* parent = nullptr);

    // The menu as it opens now (built from the state every time); it deletes itself on closing.
    QMenu* makeMenu(QWidget* parent);
    // The state's filters changed.
    void showState();

private:
    CompactPanelState& m_state;
};

} // namespace tolvi
