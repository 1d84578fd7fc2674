#include "Tolvi/panels/EscapeClosingPanel.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "Tolvi/panels/PanelKeyboardRouting.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

// A line edit that remembers the keys it was given.
class RecordingLineEdit : public QLineEdit {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        keys.append(event->key());
        QLineEdit::keyPressEvent(event);
    }
};

class EscapeClosingPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&panel);
        field = new RecordingLineEdit;
        button = new QPushButton(QStringLiteral("Paste"));
        layout->addWidget(field);
        layout->addWidget(button);
        panel.resize(240, 120);
        panel.makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        field->setFocus();
        ASSERT_TRUE(field->hasFocus());
    }

    // Like the keyboard: modifiers are pressed as keys of their own before the key.
    void press(int key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods); }

    EscapeClosingPanel panel;
    RecordingLineEdit* field = nullptr;
    QPushButton* button = nullptr;
};

TEST_F(EscapeClosingPanelTest, IsAFramelessToolPanelStayingOnTop)
{
    const Qt::WindowFlags flags = panel.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(panel.escapeHandler());
    EXPECT_FALSE(panel.keyDownHandler());
}

TEST_F(EscapeClosingPanelTest, SeesOnlyAnOpenWindowModalDialogOfItsOwn)
{
    EXPECT_FALSE(panel.hasOpenModalDialog());
    QDialog modeless(&panel);
    modeless.show();
    EXPECT_FALSE(panel.hasOpenModalDialog());
    modeless.hide();

    QDialog sheet(&panel);
    sheet.setWindowModality(Qt::WindowModal);
    EXPECT_FALSE(panel.hasOpenModalDialog()); // not shown yet
    sheet.open();
    EXPECT_TRUE(panel.hasOpenModalDialog());
    sheet.reject();
    EXPECT_FALSE(panel.hasOpenModalDialog());
}

TEST_F(EscapeClosingPanelTest, EscapeCallsTheHandlerAndIsConsumedEvenWithAnEscapeShortcut)
{
    int escapes = 0;
    panel.setEscapeHandler([&] { ++escapes; });
    int keyDowns = 0;
    panel.setKeyDownHandler([&](QKeyEvent*) { ++keyDowns; return false; });
    QShortcut shortcut(QKeySequence(Qt::Key_Escape), &panel);
    QSignalSpy fired(&shortcut, &QShortcut::activated);

    press(Qt::Key_Escape);
    EXPECT_EQ(escapes, 1);
    EXPECT_EQ(fired.count(), 0);
    EXPECT_EQ(keyDowns, 0);
    EXPECT_TRUE(field->keys.isEmpty());
}

TEST_F(EscapeClosingPanelTest, EscapeWithoutAHandlerIsStillConsumed)
{
    QShortcut shortcut(QKeySequence(Qt::Key_Escape), &panel);
    QSignalSpy fired(&shortcut, &QShortcut::activated);
    press(Qt::Key_Escape);
    EXPECT_EQ(fired.count(), 0);
    EXPECT_TRUE(field->keys.isEmpty());
    EXPECT_TRUE(panel.isVisible());
}

TEST_F(EscapeClosingPanelTest, ShiftEscapeIsNoEscapeItGoesToTheKeyHandlerThenThePanel)
{
    int escapes = 0;
    panel.setEscapeHandler([&] { ++escapes; });
    QList<QPair<int, Qt::KeyboardModifiers>> seen;
    panel.setKeyDownHandler([&](QKeyEvent* e) {
        seen.append({e->key(), e->modifiers()});
        return false;
    });
    press(Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(escapes, 0);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].first, Qt::Key_Escape);
    EXPECT_EQ(seen[0].second, Qt::ShiftModifier);
    EXPECT_EQ(field->keys, (QList<int>{Qt::Key_Shift, Qt::Key_Escape}));
}

TEST_F(EscapeClosingPanelTest, AConsumedKeyNeverReachesWidgetsOrShortcutsAndIsSeenOnce)
{
    int calls = 0;
    panel.setKeyDownHandler([&](QKeyEvent* e) {
        ++calls;
        return e->key() == Qt::Key_N && e->modifiers() == Qt::ControlModifier;
    });
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), &panel);
    QSignalSpy fired(&shortcut, &QShortcut::activated);

    press(Qt::Key_N, Qt::ControlModifier);
    // The Control key pressed on its own before N is not offered to the handler.
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(fired.count(), 0);
    EXPECT_FALSE(field->keys.contains(Qt::Key_N));
}

TEST_F(EscapeClosingPanelTest, KeysTheHandlerDeclinesReachTheFocusedWidgetOnce)
{
    int calls = 0;
    panel.setKeyDownHandler([&](QKeyEvent*) { ++calls; return false; });
    QTest::keyClicks(field, QStringLiteral("ab"));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(field->text(), QStringLiteral("ab"));
}

TEST_F(EscapeClosingPanelTest, AShortcutTheHandlerDeclinesStillFires)
{
    panel.setKeyDownHandler([](QKeyEvent*) { return false; });
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_K), &panel);
    QSignalSpy fired(&shortcut, &QShortcut::activated);
    press(Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(fired.count(), 1);
}

TEST_F(EscapeClosingPanelTest, KeysOfOtherWindowsAreNotRouted)
{
    int calls = 0;
    panel.setKeyDownHandler([&](QKeyEvent*) { ++calls; return true; });
    QWidget plainWindow;
    auto* otherField = new QLineEdit(&plainWindow);
    plainWindow.show();
    QTest::keyClicks(otherField, QStringLiteral("x"));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(otherField->text(), QStringLiteral("x"));
}

TEST_F(EscapeClosingPanelTest, KeysReachTheHandlerWhenFocusMovesUpToAContainer)
{
    // Key events are often built at the same address one after another; a key
    // for the panel itself after one for its field is a new key, not the old
    // one travelling up.
    int escapes = 0;
    panel.setEscapeHandler([&] { ++escapes; });
    QList<int> seen;
    panel.setKeyDownHandler([&](QKeyEvent* e) {
        seen.append(e->key());
        return false;
    });
    for (int round = 0; round < 3; ++round) {
        field->setFocus();
        press(Qt::Key_A);
        panel.setFocus();
        ASSERT_EQ(QApplication::focusWidget(), &panel);
        press(Qt::Key_B);
        press(Qt::Key_Escape);
    }
    EXPECT_EQ(escapes, 3);
    EXPECT_EQ(seen, (QList<int>{Qt::Key_A, Qt::Key_B, Qt::Key_A, Qt::Key_B, Qt::Key_A, Qt::Key_B}));
}

TEST_F(EscapeClosingPanelTest, CancelOperationCallsTheEscapeHandler)
{
    int escapes = 0;
    panel.cancelOperation(); // no handler: nothing happens
    panel.setEscapeHandler([&] { ++escapes; });
    panel.cancelOperation();
    EXPECT_EQ(escapes, 1);
}

TEST(PanelOrdering, ShowingOnePanelHidesTheOthersAndKeepsThem)
{
    EscapeClosingPanel history;
    EscapeClosingPanel settings;
    auto* search = new QLineEdit(&history);
    search->setText(QStringLiteral("kept"));
    QWidget ordinaryWindow;
    ordinaryWindow.show();

    history.makeKeyAndOrderFront();
    EXPECT_TRUE(history.isVisible());
    settings.makeKeyAndOrderFront();
    EXPECT_TRUE(settings.isVisible());
    EXPECT_FALSE(history.isVisible());
    EXPECT_TRUE(ordinaryWindow.isVisible()); // only panels are ordered out

    history.show(); // any way of showing a panel orders the others out
    EXPECT_TRUE(history.isVisible());
    EXPECT_FALSE(settings.isVisible());
    EXPECT_EQ(search->text(), QStringLiteral("kept"));
    EXPECT_EQ(EscapeClosingPanel::allPanels().size(), 2);
}

TEST(PanelOrdering, AChildPanelDoesNotHideItsParentPanel)
{
    EscapeClosingPanel parent;
    parent.show();
    EscapeClosingPanel child(&parent);
    child.show();
    EXPECT_TRUE(parent.isVisible());
    EXPECT_TRUE(child.isVisible());
}

// A history-like window: the controller routes keys through the key table onto the bus.
class HistoryRoutingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&panel);
        search = new QLineEdit;
        list = new QListWidget;
        for (int i = 0; i < 3; ++i) {
            auto* item = new QListWidgetItem(QStringLiteral("clip %1").arg(i), list);
            item->setData(PanelKeyboardRouting::accessibilityIdentifierRole, QStringLiteral("tolvi.row.%1").arg(i));
        }
        list->setCurrentRow(0);
        layout->addWidget(search);
        layout->addWidget(list);
        panel.setEscapeHandler([this] { bus.post(PanelKeyboardCommand::historyEscape, &panel); });
        panel.setKeyDownHandler([this](QKeyEvent* event) {
            const auto command = PanelKeyboardRouting::historyCommand(*event, PanelKeyboardRouting::focus(&panel));
            if (!command)
                return false;
            bus.post(*command, &panel);
            return true;
        });
        connect();
        panel.makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    }

    void connect()
    {
        QObject::connect(&bus, &PanelCommandBus::posted, &panel, [this](PanelKeyboardCommand c, QObject* from) {
            if (from == &panel)
                posted.append(notificationName(c));
        });
    }

    PanelCommandBus bus;
    EscapeClosingPanel panel;
    QLineEdit* search = nullptr;
    QListWidget* list = nullptr;
    QStringList posted;
};

TEST_F(HistoryRoutingTest, SearchFieldKeepsTypingAndReturnButArrowsMoveTheSelection)
{
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("inv"));
    QTest::keyClick(search, Qt::Key_Return);
    QTest::keyClick(search, Qt::Key_Down);
    QTest::keyClick(search, Qt::Key_Up);
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_EQ(search->text(), QStringLiteral("inv"));
    EXPECT_EQ(posted, (QStringList{"tolvi.panel.selectNextClip", "tolvi.panel.selectPreviousClip", "tolvi.panel.historyEscape"}));
}

TEST_F(HistoryRoutingTest, ListKeysBecomeCommandsInsteadOfMovingTheListItself)
{
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(posted, (QStringList{"tolvi.panel.selectNextClip", "tolvi.panel.toggleClipPreview",
                                   "tolvi.panel.pasteSelectedClip", "tolvi.panel.createSnippet"}));
    EXPECT_EQ(list->currentRow(), 0); // the view acts on the command, not on the raw key
}

TEST_F(HistoryRoutingTest, AFocusedButtonKeepsSpace)
{
    auto* button = new QPushButton(QStringLiteral("Paste"), &panel);
    panel.layout()->addWidget(button);
    QSignalSpy clicked(button, &QPushButton::clicked);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(clicked.count(), 1);
}

TEST(PanelThemeTest, ThemeSwitchRecoloursAnOpenPanel)
{
    TolviTheme theme;
    theme.setTranslucencyOverride(true);
    EscapeClosingPanel panel;
    panel.resize(200, 120);
    auto* layout = new QVBoxLayout(&panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new TolviConsoleBackdrop(true);
    layout->addWidget(backdrop);
    tolviConsoleAppearance(&panel, &theme);
    panel.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    auto centre = [&] { return panel.grab().toImage().pixelColor(100, 60); };
    const QColor light = centre();
    theme.setAppearance(ThemeAppearance::dark);
    const QColor dark = centre();
    const QColor darkCanvas = TolviDesign::color(TolviDesign::ColorToken::canvas, ThemeAppearance::dark);
    EXPECT_LT(dark.lightness(), 60);
    EXPECT_GT(light.lightness(), 200);
    EXPECT_NEAR(dark.red(), darkCanvas.red(), 12);
    EXPECT_NEAR(dark.blue(), darkCanvas.blue(), 16);
    EXPECT_EQ(panel.palette().color(QPalette::WindowText), TolviDesign::color(TolviDesign::ColorToken::ink, ThemeAppearance::dark));
}

} // namespace
} // namespace tolvi
