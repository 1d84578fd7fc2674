#include "Tolvi/panels/PanelKeyboardRouting.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>

namespace tolvi {

namespace {

constexpr const char* identifierProperty = "tolviAccessibilityIdentifier";

bool isControl(const QWidget* widget)
{
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractSlider*>(widget)
        || qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QComboBox*>(widget)
        || qobject_cast<const QTabBar*>(widget);
}

bool takesNoKeys(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::NoRole:
    case QAccessible::Window:
    case QAccessible::Dialog:
    case QAccessible::Application:
    case QAccessible::Grouping:
    case QAccessible::Pane:
    case QAccessible::Client:
    case QAccessible::ScrollBar:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::Canvas:
        return true;
    default:
        return false;
    }
}

} // namespace

void PanelKeyboardRouting::setAccessibilityIdentifier(QWidget* widget, const QString& identifier)
{
    widget->setProperty(identifierProperty, identifier);
}

QString PanelKeyboardRouting::accessibilityIdentifier(const QWidget* widget)
{
    if (!widget)
        return {};
    if (auto* view = qobject_cast<const QAbstractItemView*>(widget)) {
        const QModelIndex current = view->currentIndex();
        return current.isValid() ? current.data(accessibilityIdentifierRole).toString() : QString();
    }
    return widget->property(identifierProperty).toString();
}

PanelKeyboardRouting::Focus PanelKeyboardRouting::focus(const QWidget* panel)
{
    if (!panel)
        return Focus::none;
    const QWidget* responder = panel->focusWidget();
    if (!responder || responder == panel)
        return focus(nullptr, std::nullopt, QString());
    std::optional<QAccessible::Role> role;
    if (QAccessibleInterface* element = QAccessible::queryAccessibleInterface(const_cast<QWidget*>(responder)))
        role = element->role();
    return focus(responder, role, accessibilityIdentifier(responder));
}

PanelKeyboardRouting::Focus PanelKeyboardRouting::focus(const QWidget* responder, std::optional<QAccessible::Role> role,
                                                        const QString& identifier)
{
    if (qobject_cast<const QLineEdit*>(responder))
        return Focus::searchField;
    if (qobject_cast<const QTextEdit*>(responder) || qobject_cast<const QPlainTextEdit*>(responder))
        return Focus::textEditor;
    if (identifier.startsWith(clipRowIdentifierPrefix))
        return Focus::clipRow;
    if (isControl(responder))
        return Focus::otherControl;
    if (!role)
        return Focus::none;
    if (*role == QAccessible::EditableText) {
        // Qt gives single- and multi-line text the same role: a text widget that
        // is none of Qt's own keeps all its keys.
        return Focus::textEditor;
    }
    if (takesNoKeys(*role))
        return Focus::none;
    return Focus::otherControl;
}

Qt::KeyboardModifiers PanelKeyboardRouting::tableModifiers(Qt::KeyboardModifiers modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

std::optional<PanelKeyboardCommand> PanelKeyboardRouting::historyCommand(int key, Qt::KeyboardModifiers modifiers,
                                                                         Focus focus)
{
    modifiers = tableModifiers(modifiers);
    const bool noModifiers = modifiers == Qt::NoModifier;

    if (focus == Focus::textEditor)
        return std::nullopt;
    if (focus == Focus::searchField) {
        if (noModifiers && key == Qt::Key_Up)
            return PanelKeyboardCommand::selectPreviousClip;
        if (noModifiers && key == Qt::Key_Down)
            return PanelKeyboardCommand::selectNextClip;
        return std::nullopt;
    }
    // none, clipRow, otherControl
    if (modifiers == Qt::ControlModifier && key == Qt::Key_N)
        return PanelKeyboardCommand::createSnippet;
    if (!noModifiers)
        return std::nullopt;
    if (focus == Focus::otherControl)
        return std::nullopt;
    // none, clipRow, no modifiers
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return PanelKeyboardCommand::pasteSelectedClip;
    case Qt::Key_Space: return PanelKeyboardCommand::toggleClipPreview;
    case Qt::Key_Down: return PanelKeyboardCommand::selectNextClip;
    case Qt::Key_Up: return PanelKeyboardCommand::selectPreviousClip;
    default: return std::nullopt;
    }
}

std::optional<PanelKeyboardCommand> PanelKeyboardRouting::historyCommand(const QKeyEvent& event, Focus focus)
{
    return historyCommand(event.key(), event.modifiers(), focus);
}

} // namespace tolvi
