#include "Tolvi/panels/PanelKeyboardRouting.h"

#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using Focus = PanelKeyboardRouting::Focus;
using Cmd = PanelKeyboardCommand;

std::optional<Cmd> route(int key, Qt::KeyboardModifiers mods, Focus focus)
{
    return PanelKeyboardRouting::historyCommand(key, mods, focus);
}

// The history key table, row by row.
TEST(HistoryKeyTable, TextEditorTakesEveryKey)
{
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Up, Qt::Key_Down, Qt::Key_N, Qt::Key_A})
        for (Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ControlModifier),
                                           Qt::KeyboardModifiers(Qt::ShiftModifier)})
            EXPECT_EQ(route(key, mods, Focus::textEditor), std::nullopt);
}

TEST(HistoryKeyTable, SearchFieldLetsOnlyBareArrowsLeave)
{
    EXPECT_EQ(route(Qt::Key_Up, {}, Focus::searchField), Cmd::selectPreviousClip);
    EXPECT_EQ(route(Qt::Key_Down, {}, Focus::searchField), Cmd::selectNextClip);
    EXPECT_EQ(route(Qt::Key_Up, Qt::ShiftModifier, Focus::searchField), std::nullopt);
    EXPECT_EQ(route(Qt::Key_Down, Qt::AltModifier, Focus::searchField), std::nullopt);
    EXPECT_EQ(route(Qt::Key_Return, {}, Focus::searchField), std::nullopt);
    EXPECT_EQ(route(Qt::Key_Enter, {}, Focus::searchField), std::nullopt);
    EXPECT_EQ(route(Qt::Key_Space, {}, Focus::searchField), std::nullopt);
    EXPECT_EQ(route(Qt::Key_N, Qt::ControlModifier, Focus::searchField), std::nullopt);
    EXPECT_EQ(route(Qt::Key_A, {}, Focus::searchField), std::nullopt);
}

TEST(HistoryKeyTable, CommandNCreatesASnippetOutsideTextButNotWithOtherModifiers)
{
    for (Focus focus : {Focus::none, Focus::clipRow, Focus::otherControl}) {
        SCOPED_TRACE(int(focus));
        EXPECT_EQ(route(Qt::Key_N, Qt::ControlModifier, focus), Cmd::createSnippet);
        EXPECT_EQ(route(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, focus), std::nullopt);
        EXPECT_EQ(route(Qt::Key_N, Qt::AltModifier, focus), std::nullopt);
        EXPECT_EQ(route(Qt::Key_N, Qt::MetaModifier, focus), std::nullopt);
        EXPECT_EQ(route(Qt::Key_N, {}, focus), std::nullopt);
        // Any other non-empty modifier set stops the table.
        EXPECT_EQ(route(Qt::Key_Return, Qt::ShiftModifier, focus), std::nullopt);
        EXPECT_EQ(route(Qt::Key_Down, Qt::ControlModifier, focus), std::nullopt);
        EXPECT_EQ(route(Qt::Key_Space, Qt::AltModifier, focus), std::nullopt);
    }
}

TEST(HistoryKeyTable, OtherControlKeepsUnmodifiedKeys)
{
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Up, Qt::Key_Down})
        EXPECT_EQ(route(key, {}, Focus::otherControl), std::nullopt);
}

TEST(HistoryKeyTable, ListKeysActOnTheListWithNothingOrARowFocused)
{
    // The "any other modifier set" row means a non-empty set: these rows are reachable.
    for (Focus focus : {Focus::none, Focus::clipRow}) {
        SCOPED_TRACE(int(focus));
        EXPECT_EQ(route(Qt::Key_Return, {}, focus), Cmd::pasteSelectedClip);
        EXPECT_EQ(route(Qt::Key_Enter, {}, focus), Cmd::pasteSelectedClip);
        EXPECT_EQ(route(Qt::Key_Space, {}, focus), Cmd::toggleClipPreview);
        EXPECT_EQ(route(Qt::Key_Down, {}, focus), Cmd::selectNextClip);
        EXPECT_EQ(route(Qt::Key_Up, {}, focus), Cmd::selectPreviousClip);
        EXPECT_EQ(route(Qt::Key_A, {}, focus), std::nullopt);
        EXPECT_EQ(route(Qt::Key_Escape, {}, focus), std::nullopt);
    }
}

TEST(HistoryKeyTable, KeypadAndGroupSwitchFlagsNeverReachTheTable)
{
    // Keypad Enter arrives with the keypad flag; it still pastes.
    EXPECT_EQ(route(Qt::Key_Enter, Qt::KeypadModifier, Focus::none), Cmd::pasteSelectedClip);
    EXPECT_EQ(route(Qt::Key_Up, Qt::KeypadModifier, Focus::searchField), Cmd::selectPreviousClip);
    EXPECT_EQ(route(Qt::Key_N, Qt::ControlModifier | Qt::GroupSwitchModifier, Focus::clipRow), Cmd::createSnippet);

    QKeyEvent event(QEvent::KeyPress, Qt::Key_Down, Qt::KeypadModifier);
    EXPECT_EQ(PanelKeyboardRouting::historyCommand(event, Focus::clipRow), Cmd::selectNextClip);
}

TEST(FocusClassification, RulesInOrderWithoutWidgets)
{
    using R = QAccessible::Role;
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, std::nullopt, QString()), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, std::nullopt, QStringLiteral("tolvi.row.1234")), Focus::clipRow);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::List, QStringLiteral("tolvi.clip.1234")), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::List, QString()), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::Window, QString()), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::Grouping, QString()), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::Table, QString()), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::Tree, QString()), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::EditableText, QString()), Focus::textEditor);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::PushButton, QString()), Focus::otherControl);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr, R::Link, QString()), Focus::otherControl);
}

// Classification of what really has focus in a shown panel.
class PanelFocusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        layout = new QVBoxLayout(&panel);
        panel.resize(300, 400);
    }

    void showPanel()
    {
        panel.makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    }

    template <typename W>
    W* add(W* widget)
    {
        layout->addWidget(widget);
        return widget;
    }

    Focus focusOn(QWidget* widget)
    {
        widget->setFocus();
        EXPECT_EQ(panel.focusWidget(), widget);
        return PanelKeyboardRouting::focus(&panel);
    }

    EscapeClosingPanel panel;
    QVBoxLayout* layout = nullptr;
};

TEST_F(PanelFocusTest, TextWidgetsAndControlsAreClassifiedByKind)
{
    auto* search = add(new QLineEdit);
    auto* editor = add(new QTextEdit);
    auto* plain = add(new QPlainTextEdit);
    auto* button = add(new QPushButton(QStringLiteral("Paste")));
    auto* check = add(new QCheckBox(QStringLiteral("Pin")));
    auto* slider = add(new QSlider(Qt::Horizontal));
    auto* spin = add(new QSpinBox);
    auto* combo = add(new QComboBox);
    combo->setFocusPolicy(Qt::StrongFocus);
    showPanel();

    EXPECT_EQ(focusOn(search), Focus::searchField);
    EXPECT_EQ(focusOn(editor), Focus::textEditor);
    EXPECT_EQ(focusOn(plain), Focus::textEditor);
    EXPECT_EQ(focusOn(button), Focus::otherControl);
    EXPECT_EQ(focusOn(check), Focus::otherControl);
    EXPECT_EQ(focusOn(slider), Focus::otherControl);
    EXPECT_EQ(focusOn(spin), Focus::otherControl);
    EXPECT_EQ(focusOn(combo), Focus::otherControl);
}

TEST_F(PanelFocusTest, AListIsNoneUnlessItsCurrentRowIsAClipRow)
{
    auto* list = add(new QListWidget);
    auto* row = new QListWidgetItem(QStringLiteral("first clip"), list);
    row->setData(PanelKeyboardRouting::accessibilityIdentifierRole, QStringLiteral("tolvi.row.6F9619FF-8B86-D011-B42D-00CF4FC964FF"));
    auto* other = new QListWidgetItem(QStringLiteral("second clip"), list);
    other->setData(PanelKeyboardRouting::accessibilityIdentifierRole, QStringLiteral("tolvi.clip.0C7A6F1E-0000-0000-0000-000000000000"));
    showPanel();

    list->setCurrentItem(other);
    EXPECT_EQ(focusOn(list), Focus::none); // a list itself takes no keys: Return pastes
    list->setCurrentItem(row);
    EXPECT_EQ(focusOn(list), Focus::clipRow);
}

TEST_F(PanelFocusTest, RowWidgetsWithAClipRowIdentifierAreClipRows)
{
    auto* rowButton = add(new QPushButton(QStringLiteral("row")));
    PanelKeyboardRouting::setAccessibilityIdentifier(rowButton, QStringLiteral("tolvi.row.1"));
    auto* plainButton = add(new QPushButton(QStringLiteral("button")));
    PanelKeyboardRouting::setAccessibilityIdentifier(plainButton, QStringLiteral("tolvi.clip.1"));
    showPanel();

    // The identifier is tested before the control kind, so a row button is a row.
    EXPECT_EQ(focusOn(rowButton), Focus::clipRow);
    EXPECT_EQ(focusOn(plainButton), Focus::otherControl);
}

TEST_F(PanelFocusTest, NothingFocusedOrAContainerIsNone)
{
    auto* scroll = add(new QScrollArea);
    scroll->setFocusPolicy(Qt::StrongFocus);
    auto* container = add(new QWidget);
    container->setFocusPolicy(Qt::StrongFocus);
    showPanel();
    EXPECT_EQ(PanelKeyboardRouting::focus(&panel), Focus::none);
    EXPECT_EQ(focusOn(scroll), Focus::none);
    EXPECT_EQ(focusOn(container), Focus::none);
    EXPECT_EQ(PanelKeyboardRouting::focus(nullptr), Focus::none);
}

} // namespace
} // namespace tolvi
