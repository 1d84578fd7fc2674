#include "Tolvi/menu/TrayMenuBuilder.h"

#include "TolviCore/text/TextCharacters.h"

#include <QAction>
#include <QFont>
#include <QMenu>

namespace tolvi {

QString menuTitleText(const QString& title)
{
    QString text = title;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    // A tab would split the title into a shortcut column; line breaks would break the row;
    // bidirectional controls would reorder what the row shows against what it pastes.
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
        else if (const char16_t mark = TextCharacters::bidiControlMark(c.unicode()))
            c = QChar(mark);
    }
    return text;
}

void fillTrayMenu(QMenu& menu, const QList<MenuBarEntry>& entries,
                  const std::function<void(const MenuBarEntry&)>& activate)
{
    for (const MenuBarEntry& entry : entries) {
        switch (entry.kind) {
        case MenuBarEntry::Kind::Separator:
            menu.addSeparator();
            break;
        case MenuBarEntry::Kind::Section: {
            // A section title is an inert row of its own: most styles, and menus that trays show
            // for us over D-Bus, draw a Qt menu section as a bare separator and drop its title.
            QAction* action = menu.addAction(menuTitleText(entry.title));
            action->setEnabled(false);
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
            break;
        }
        case MenuBarEntry::Kind::Text: {
            // Status texts are inert rows; menus draw them in the muted (disabled) colour.
            QAction* action = menu.addAction(menuTitleText(entry.title));
            action->setEnabled(false);
            break;
        }
        case MenuBarEntry::Kind::Submenu: {
            QMenu* submenu = menu.addMenu(menuTitleText(entry.title));
            fillTrayMenu(*submenu, entry.children, activate);
            break;
        }
        case MenuBarEntry::Kind::Button: {
            QAction* action = menu.addAction(menuTitleText(entry.title));
            action->setEnabled(entry.enabled);
            QObject::connect(action, &QAction::triggered, &menu, [activate, entry] { activate(entry); });
            break;
        }
        }
    }
}

} // namespace tolvi
