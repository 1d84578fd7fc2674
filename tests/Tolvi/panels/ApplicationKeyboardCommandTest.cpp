// The program's own keyboard commands: their key table, and how every panel offers them the keys
// its own handler declines.
#include "Tolvi/panels/ApplicationKeyboardCommand.h"
#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using Focus = PanelKeyboardRouting::Focus;
using Command = ApplicationKeyboardCommand;

const ApplicationShortcuts defaultShortcuts{QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_V),
                                            QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)};
constexpr Focus everyFocus[] = {Focus::none, Focus::clipRow, Focus::searchField, Focus::textEditor,
                                Focus::otherControl};

std::optional<Command> command(int key, Qt::KeyboardModifiers modifiers, Focus focus,
                               const ApplicationShortcuts& shortcuts = defaultShortcuts)
{
    return applicationKeyboardCommand(key, modifiers, focus, shortcuts);
}

} // namespace

TEST(ApplicationKeyTable, ControlCommaOpensSettingsWhateverHasFocus)
{
    for (Focus focus : everyFocus) {
        EXPECT_EQ(command(Qt::Key_Comma, Qt::ControlModifier, focus), Command::showSettings) << int(focus);
        // Keypad and group-switch flags are no modifiers of their own.
        EXPECT_EQ(command(Qt::Key_Comma, Qt::ControlModifier | Qt::KeypadModifier, focus), Command::showSettings);
        EXPECT_EQ(command(Qt::Key_Comma, Qt::NoModifier, focus), std::nullopt);
        EXPECT_EQ(command(Qt::Key_Comma, Qt::ControlModifier | Qt::ShiftModifier, focus), std::nullopt);
    }
}

TEST(ApplicationKeyTable, TheWindowsChordsShowThemWhateverHasFocus)
{
    for (Focus focus : everyFocus) {
        EXPECT_EQ(command(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, focus), Command::showHistory);
        EXPECT_EQ(command(Qt::Key_V, Qt::MetaModifier | Qt::ShiftModifier, focus), Command::openCompactMode);
        // Plain Ctrl+V stays the paste of the focused field.
        EXPECT_EQ(command(Qt::Key_V, Qt::ControlModifier, focus), std::nullopt);
    }
    // The chords follow the chosen preset.
    const ApplicationShortcuts space{QKeyCombination(Qt::AltModifier, Qt::Key_Space),
                                     QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)};
    EXPECT_EQ(command(Qt::Key_Space, Qt::AltModifier, Focus::searchField, space), Command::showHistory);
    EXPECT_EQ(command(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, Focus::none, space), std::nullopt);
    EXPECT_EQ(command(Qt::Key_Space, Qt::NoModifier, Focus::none, space), std::nullopt);
}

TEST(ApplicationKeyTable, ControlNStartsASnippetOutsideTextOnly)
{
    EXPECT_EQ(command(Qt::Key_N, Qt::ControlModifier, Focus::none), Command::newSnippet);
    EXPECT_EQ(command(Qt::Key_N, Qt::ControlModifier, Focus::clipRow), Command::newSnippet);
    EXPECT_EQ(command(Qt::Key_N, Qt::ControlModifier, Focus::otherControl), Command::newSnippet);
    EXPECT_EQ(command(Qt::Key_N, Qt::ControlModifier, Focus::searchField), std::nullopt);
    EXPECT_EQ(command(Qt::Key_N, Qt::ControlModifier, Focus::textEditor), std::nullopt);
    EXPECT_EQ(command(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, Focus::none), std::nullopt);
    EXPECT_EQ(command(Qt::Key_N, Qt::NoModifier, Focus::none), std::nullopt);
}

class ApplicationKeyHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&panel);
        field = new QLineEdit;
        button = new QPushButton(QStringLiteral("Done"));
        layout->addWidget(field);
        layout->addWidget(button);
        panel.resize(240, 120);
        panel.makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        EscapeClosingPanel::setApplicationKeyHandler([this](const QKeyEvent& event, Focus focus) {
            seen.append({event.key(), focus});
            return applicationKeyboardCommand(event.key(), event.modifiers(), focus, defaultShortcuts).has_value();
        });
    }
    void TearDown() override { EscapeClosingPanel::setApplicationKeyHandler({}); }

    void press(int key, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
    }

    EscapeClosingPanel panel;
    QLineEdit* field = nullptr;
    QPushButton* button = nullptr;
    QList<QPair<int, Focus>> seen;
};

TEST_F(ApplicationKeyHandlerTest, APanelWithoutAHandlerOfItsOwnOffersKeysToTheProgram)
{
    button->setFocus();
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), &panel);
    QSignalSpy fired(&shortcut, &QShortcut::activated);
    press(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], qMakePair(int(Qt::Key_Comma), Focus::otherControl));
    EXPECT_EQ(fired.count(), 0);  // consumed: no shortcut of the window takes it too
}

TEST_F(ApplicationKeyHandlerTest, KeysTheProgramDeclinesReachTheFieldAndThePanelsOwnHandlerGoesFirst)
{
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("n"));
    press(Qt::Key_N, Qt::ControlModifier);  // the search field keeps Ctrl+N
    EXPECT_EQ(field->text(), QStringLiteral("n"));
    EXPECT_EQ(seen.size(), 2);

    int own = 0;
    panel.setKeyDownHandler([&own](QKeyEvent* event) {
        ++own;
        return event->key() == Qt::Key_Comma;
    });
    seen.clear();
    press(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(own, 1);
    EXPECT_TRUE(seen.isEmpty());
}

} // namespace tolvi
