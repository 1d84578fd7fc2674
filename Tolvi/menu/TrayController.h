#pragma once

#include "Tolvi/menu/MenuBarContent.h"

#include <QObject>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace tolvi {

// The program's tray icon ("Tolvi", our clipboard symbol) and its menu, rebuilt whenever
// what it shows changes.
class TrayController : public QObject {
    Q_OBJECT
public:
    using ContentSource = std::function<MenuBarContent()>;
    using ActionHandler = std::function<void(const MenuBarEntry&)>;

    // opening runs each time the menu is about to show, before the user can choose anything in
    // it (the program the user is in then is where its clips are pasted).
    TrayController(ContentSource content, ActionHandler handler, std::function<void()> opening = {},
                   QObject* parent = nullptr);
    ~TrayController() override;

    // Shows the icon; false when the desktop has no tray yet (the icon then appears once a
    // tray starts; until then the program stays reachable through its hot keys and by
    // launching it again).
    bool show();
    bool isVisible() const;
    void rebuildMenu();
    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* icon() const { return m_icon.get(); }

private:
    ContentSource m_content;
    ActionHandler m_handler;
    std::function<void()> m_opening;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    bool m_rebuildPending = false;
    bool m_staleWhileOpen = false;
};

} // namespace tolvi
