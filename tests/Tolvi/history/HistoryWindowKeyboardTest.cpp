// The history window offscreen, driven by key presses and clicks through the program's own key
// routing, as a user would drive it.
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/clipviews/ClipListModel.h"
#include "Tolvi/clipviews/ClipboardRow.h"
#include "Tolvi/history/ClipRowDelegate.h"
#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"

#include "HistoryTestSupport.h"

#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/shell/Clock.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

class HistoryWindowKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        int age = 10;
        for (const char* text : {"alpha 10", "gamma 3", "beta 2", "alpha 1"})
            ASSERT_TRUE(store->record(QString::fromLatin1(text), now - age--));
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {}, {},
            nullptr, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }});
    }

    void TearDown() override { controller.reset(); }

    void open()
    {
        controller->show(false);
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    }

    void press(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    HistoryWindowState& state() const { return *controller->windowState(); }
    QString lensText() const { return state().lensItem() ? state().lensItem()->content().searchText() : QString(); }
    QLineEdit* search() const { return controller->view()->searchField(); }
    QListView* list() const { return controller->view()->list(); }

    void clickRow(int row)
    {
        const QRect rect = list()->visualRect(list()->model()->index(row, 0));
        ASSERT_TRUE(rect.isValid());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
};

TEST_F(HistoryWindowKeyboardTest, TypeMoveAndPasteThroughTheKeyRouting)
{
    open();
    EXPECT_EQ(controller->panel()->windowTitle(), QStringLiteral("Tolvi"));
    ASSERT_TRUE(search()->hasFocus());
    EXPECT_EQ(lensText(), QStringLiteral("alpha 1"));

    // Letters and digits typed in the field search; digits select nothing there.
    QTest::keyClicks(search(), QStringLiteral("alpha 1"));
    EXPECT_EQ(search()->text(), QStringLiteral("alpha 1"));
    EXPECT_EQ(state().query(), QStringLiteral("alpha 1"));
    ASSERT_EQ(state().filteredItems().size(), 2);
    EXPECT_EQ(list()->model()->rowCount(), 2);

    // Down moves the selection from the field; Return there pastes nothing.
    press(Qt::Key_Down);
    EXPECT_EQ(lensText(), QStringLiteral("alpha 10"));
    EXPECT_TRUE(search()->hasFocus());
    press(Qt::Key_Return);
    EXPECT_EQ(paste.pastes, 0);
    EXPECT_TRUE(controller->isWindowVisible());

    // Only the inspected row carries the row identifier the routing treats as a clip row.
    EXPECT_TRUE(list()->model()->index(1, 0).data(ClipListModel::IdentifierRole).toString().startsWith("tolvi.row."));
    EXPECT_TRUE(list()->model()->index(0, 0).data(ClipListModel::IdentifierRole).toString().startsWith("tolvi.clip."));

    // Clearing the field shows everything again with the selection kept.
    search()->clear();
    ASSERT_EQ(list()->model()->rowCount(), 4);
    EXPECT_EQ(lensText(), QStringLiteral("alpha 10"));

    // A click selects and never pastes; in the list the digits select the first rows.
    clickRow(2);
    EXPECT_EQ(lensText(), QStringLiteral("gamma 3"));
    EXPECT_FALSE(search()->hasFocus());
    EXPECT_FALSE(state().isSearchFocused());
    EXPECT_EQ(paste.pastes, 0);
    press(Qt::Key_2);
    EXPECT_EQ(lensText(), QStringLiteral("beta 2"));
    EXPECT_EQ(paste.pastes, 0);
    press(Qt::Key_Up);
    EXPECT_EQ(lensText(), QStringLiteral("alpha 1"));

    // Return pastes the inspected clip into the target and hides the window.
    press(Qt::Key_Return);
    EXPECT_EQ(paste.pastes, 1);
    EXPECT_EQ(paste.pasteboard.string(PasteboardTypes::plainText), std::optional<QString>(QStringLiteral("alpha 1")));
    EXPECT_FALSE(controller->isWindowVisible());
    EXPECT_EQ(usage.count(UsageMetricEvent::pastePerformed), 1);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstPasteCompleted), 1);
}

TEST_F(HistoryWindowKeyboardTest, EscapeInAConfirmationClosesOnlyTheConfirmation)
{
    open();
    state().setQueuedItemIDs({store->items().first().id()});
    state().requestClearHistory();
    QMessageBox* box = controller->view()->clearHistoryConfirmation();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    EXPECT_TRUE(controller->blocksHistoryShortcuts());
    box->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(box));
    QTest::keyClick(box, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->view()->clearHistoryConfirmation(); }));
    EXPECT_TRUE(controller->isWindowVisible());
    EXPECT_FALSE(controller->blocksHistoryShortcuts());
    EXPECT_EQ(state().queuedItemIDs().size(), 1);
    EXPECT_EQ(store->itemCount(), 4);

    // Confirming clears the history and shows the empty state with its quick-start action.
    state().requestClearHistory();
    box = controller->view()->clearHistoryConfirmation();
    ASSERT_NE(box, nullptr);
    QAbstractButton* clear = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == QStringLiteral("Clear History"))
            clear = button;
    }
    ASSERT_NE(clear, nullptr);
    clear->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->itemCount() == 0; }));
    EXPECT_FALSE(controller->view()->isShowingList());
    EXPECT_EQ(controller->view()->emptyView()->title(), QStringLiteral("No clipboard history"));
    ASSERT_NE(controller->view()->emptyView()->actionButton(), nullptr);

    // Escape in the window itself clears the multi-paste choice and hides it.
    controller->panel()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    press(Qt::Key_Escape);
    EXPECT_FALSE(controller->isWindowVisible());
    EXPECT_TRUE(state().queuedItemIDs().isEmpty());
}

TEST_F(HistoryWindowKeyboardTest, NoMatchesOffersToShowEverythingAgain)
{
    open();
    QTest::keyClicks(search(), QStringLiteral("zzz"));
    EXPECT_FALSE(controller->view()->isShowingList());
    EmptyHistoryView* empty = controller->view()->emptyView();
    EXPECT_EQ(empty->title(), QStringLiteral("No matches"));
    state().setFilterKey(QStringLiteral("pinned"));
    ASSERT_NE(empty->actionButton(), nullptr);
    empty->actionButton()->click();
    EXPECT_TRUE(search()->text().isEmpty());
    EXPECT_EQ(state().filterKey(), QStringLiteral("all"));
    EXPECT_TRUE(controller->view()->isShowingList());
    EXPECT_TRUE(search()->hasFocus());
}

// A row's quick-paste digit is read with the row, and its metadata line, cut short where the
// row ends, shows whole (as plain text) when the pointer rests on it.
TEST_F(HistoryWindowKeyboardTest, RowsSpeakTheirDigitAndShowTheWholeMetadataLineOnHover)
{
    const QString appName = QStringLiteral("A <b>very</b> long application name & its vendor, ") + QString(60, u'x');
    ASSERT_TRUE(store->record(QStringLiteral("from the long-named app"), now - 1,
                              ClipboardSourceApp(appName, QStringLiteral("org.example.Long"))));
    open();
    QAbstractItemModel* model = list()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString description = model->index(row, 0).data(Qt::AccessibleDescriptionRole).toString();
        EXPECT_TRUE(description.contains(QStringLiteral(", Quick paste shortcut %1. ").arg(row + 1))) << description.toStdString();
    }
    // Through the accessibility interface, as a screen reader gets it.
    QAccessibleInterface* listInterface = QAccessible::queryAccessibleInterface(list());
    ASSERT_NE(listInterface, nullptr);
    bool spoken = false;
    for (int i = 0; i < listInterface->childCount() && !spoken; ++i) {
        if (QAccessibleInterface* child = listInterface->child(i))
            spoken = child->text(QAccessible::Description).contains(QStringLiteral("Quick paste shortcut 1"));
    }
    EXPECT_TRUE(spoken);

    // The metadata line of the first row: the pointer on it shows the whole line, escaped.
    const QModelIndex first = model->index(0, 0);
    const ClipboardItem item = store->itemAt(0);
    ASSERT_EQ(item.sourceApp()->name(), appName);
    const ClipRowPresentation presentation = ClipRowPresentation::make(item, now);
    ClipRowInput input;
    input.shortcutNumber = 1;
    input.isFocused = true;
    const QRect itemRect = list()->visualRect(first);
    const ClipboardRow::Parts parts =
        ClipboardRow::parts(QRectF(ClipRowDelegate::rowRect(itemRect)), item, input, presentation);
    ASSERT_FALSE(parts.metadataLine.isEmpty());
    ASSERT_FALSE(parts.digitBadge.isEmpty());
    EXPECT_LT(parts.metadataLine.width(),
              QFontMetricsF(TolviDesign::font(TolviDesign::Typography::meta)).horizontalAdvance(presentation.metadata));
    const QPoint onLine = parts.metadataLine.center().toPoint();
    QHelpEvent help(QEvent::ToolTip, onLine, list()->viewport()->mapToGlobal(onLine));
    QApplication::sendEvent(list()->viewport(), &help);
    ASSERT_TRUE(QToolTip::isVisible());
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    EXPECT_EQ(shown.toPlainText(), presentation.metadata);
    EXPECT_TRUE(shown.toPlainText().endsWith(appName));
    QToolTip::hideText();

    // Elsewhere on the row the row's own tooltip.
    const QPoint onTitle(int(parts.metadataLine.left()) + 4, itemRect.top() + ClipRowDelegate::rowGap + 14);
    QHelpEvent rowHelp(QEvent::ToolTip, onTitle, list()->viewport()->mapToGlobal(onTitle));
    QApplication::sendEvent(list()->viewport(), &rowHelp);
    EXPECT_EQ(QToolTip::text(), ClipRowText::toolTip);
    QToolTip::hideText();
}

TEST_F(HistoryWindowKeyboardTest, RowMenuActsOnTheClipItWasOpenedFor)
{
    open();
    const QUuid id = store->items().at(1).id();
    const Pinboard board = store->createPinboard(QStringLiteral("<b>Work</b> & play"), QStringLiteral("briefcase"));
    std::unique_ptr<QMenu> menu(controller->view()->makeRowMenu(id, nullptr));
    ASSERT_NE(menu, nullptr);
    menu->setAttribute(Qt::WA_DeleteOnClose, false);
    QMenu* boards = nullptr;
    QAction* pin = nullptr;
    QAction* remove = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->menu() && action->text() == QStringLiteral("Pinboard"))
            boards = action->menu();
        if (action->text() == QStringLiteral("Pin"))
            pin = action;
        if (action->text() == QStringLiteral("Delete"))
            remove = action;
    }
    ASSERT_NE(boards, nullptr);
    ASSERT_NE(pin, nullptr);
    ASSERT_NE(remove, nullptr);
    // A board name is shown as its characters, with the ampersand kept.
    QStringList names;
    for (QAction* action : boards->actions())
        names.append(action->text());
    EXPECT_TRUE(names.contains(QStringLiteral("<b>Work</b> && play")));

    // A new clip arrives while the menu is open: the actions still act on the clip they were for.
    ASSERT_TRUE(store->record(QStringLiteral("arrived later"), now));
    pin->trigger();
    EXPECT_TRUE(store->item(id)->isPinned());
    remove->trigger();
    EXPECT_FALSE(store->item(id));
    EXPECT_EQ(store->itemCount(), 4);
    EXPECT_TRUE(store->item(store->items().first().id()));
    (void)board;
}

TEST_F(HistoryWindowKeyboardTest, SizeIsKeptAndFittedToTheScreen)
{
    open();
    controller->panel()->resize(700, 500);
    controller->orderOut();
    controller.reset();
    controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
        *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {}, {}, nullptr,
        &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }});
    open();
    EXPECT_EQ(controller->panel()->size(), QSize(700, 500));

    // Never grown to fill the screen, shrunk to fit it, never below the minimum.
    EXPECT_EQ(ClipboardPanelController::fittedSize(QRect(0, 0, 1440, 800), QSize(900, 880)), QSize(900, 776));
    EXPECT_EQ(ClipboardPanelController::fittedSize(QRect(0, 0, 500, 400), QSize(900, 880)), QSize(520, 430));
    // The bottom edge stays 24 pixels above the bottom when 92 under the top would be too low.
    EXPECT_EQ(ClipboardPanelController::origin(QRect(0, 0, 1440, 800), QSize(900, 776)), QPoint(270, 0));
    EXPECT_EQ(ClipboardPanelController::origin(QRect(0, 30, 1440, 900), QSize(860, 640)), QPoint(290, 122));
}

} // namespace

// A long list is laid out a batch of rows at a time after each change; the inspected row is
// shown wherever it stands, also right after a search changed the list under it.
TEST_F(HistoryWindowKeyboardTest, InspectedRowFarDownALongListStaysInView)
{
    for (int i = 0; i < 6000; ++i)
        ASSERT_TRUE(store->record(QStringLiteral("note %1").arg(i), now - 20'000 + i));
    open();
    const int count = list()->model()->rowCount();
    ASSERT_EQ(count, 6004);
    auto inView = [this](int row) {
        const QRect rect = list()->visualRect(list()->model()->index(row, 0));
        return rect.isValid() && list()->viewport()->rect().contains(rect.center());
    };

    // The oldest note stands near the end, behind the rows laid out first.
    const QUuid oldest = state().filteredItems().at(count - 5).id();
    state().selectItem(oldest);
    EXPECT_EQ(state().lensRow(), count - 5);
    EXPECT_TRUE(inView(count - 5));

    // A search that keeps nearly every row lays the list out again; the row stays in view.
    QTest::keyClicks(search(), QStringLiteral("note"));
    ASSERT_EQ(list()->model()->rowCount(), 6000);
    ASSERT_EQ(state().lensItem()->id(), oldest);
    EXPECT_TRUE(inView(state().lensRow()));
    search()->clear();
    ASSERT_EQ(state().lensItem()->id(), oldest);
    EXPECT_TRUE(inView(state().lensRow()));
}
