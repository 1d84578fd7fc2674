#pragma once

#include "Tolvi/panels/PanelKeyboardCommand.h"

#include <QAccessible>
#include <QString>
#include <Qt>

#include <optional>

class QKeyEvent;
class QWidget;

namespace tolvi {

// Turns a key press in the history window into one of its commands, taking into
// account what has keyboard focus.
class PanelKeyboardRouting {
public:
    // What has keyboard focus in a panel.
    enum class Focus {
        none,         // nothing that takes keys: the window, a container, a list or table itself
        clipRow,      // a clip row: its accessibility identifier begins with "tolvi.row."
        searchField,  // a single-line text field
        textEditor,   // a multi-line text editor
        otherControl, // any other control
    };

    // Item data role under which item views give a row's accessibility identifier.
    static constexpr int accessibilityIdentifierRole = Qt::UserRole + 0x7458;
    static inline const QString clipRowIdentifierPrefix = QStringLiteral("tolvi.row.");

    // Gives a widget (a row widget, say) its accessibility identifier.
    static void setAccessibilityIdentifier(QWidget* widget, const QString& identifier);
    // The identifier of a focused widget: for an item view, its current row's.
    static QString accessibilityIdentifier(const QWidget* widget);

    // Classifies the panel's current focus.
    static Focus focus(const QWidget* panel);
    // The classification itself, from the focused widget (if any), its accessibility
    // role (if known) and its accessibility identifier. First match wins:
    // a line edit; a text editor; a clip-row identifier; a control; then by role.
    static Focus focus(const QWidget* responder, std::optional<QAccessible::Role> role, const QString& identifier);

    // The modifiers the key table looks at: Shift, Control, Alt and Meta. Control
    // plays the part of the command key inside the program.
    static Qt::KeyboardModifiers tableModifiers(Qt::KeyboardModifiers modifiers);

    // The history window's key table. key is a Qt::Key; modifiers are reduced
    // with tableModifiers() first (keypad and group switches never count).
    static std::optional<PanelKeyboardCommand> historyCommand(int key, Qt::KeyboardModifiers modifiers, Focus focus);
    static std::optional<PanelKeyboardCommand> historyCommand(const QKeyEvent& event, Focus focus);
};

} // namespace tolvi
