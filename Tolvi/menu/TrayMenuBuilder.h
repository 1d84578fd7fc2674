#pragma once

#include "Tolvi/menu/MenuBarContent.h"

#include <functional>

class QMenu;

namespace tolvi {

// Fills a QMenu from menu entries. Titles are shown as plain text (an '&' in a clip or app
// name stays an '&', never a mnemonic). `activate` receives every chosen entry.
void fillTrayMenu(QMenu& menu, const QList<MenuBarEntry>& entries,
                  const std::function<void(const MenuBarEntry&)>& activate);

// A title for a menu item with '&' doubled, so it shows verbatim, on one line, with its
// bidirectional controls as their visible marks.
QString menuTitleText(const QString& title);

} // namespace tolvi
