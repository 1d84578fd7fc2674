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

#include "Tolvi/clipviews/PasteQueueNotice.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/NewSnippetOverlay.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/shell/Clock.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QMenu>
#include <QMessageBox>
#include <QTest>

#include <algorithm>

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

// A closed window's list does not follow the copies made meanwhile (the multi-paste choice does);
// opened again, it shows them, computed once, with the inspected clip still selected.
TEST_F(HistoryWindowKeyboardTest, AClosedWindowCatchesUpWhenItOpensAgain)
{
    open();
    const QUuid beta = state().filteredItems().at(2).id();
    state().selectItem(beta);
    state().setQueuedItemIDs({state().filteredItems().at(3).id()});
    controller->orderOut();
    QSignalSpy recomputed(&state(), &HistoryWindowState::filteredItemsChanged);
    for (int i = 0; i < 70; ++i)
        ASSERT_TRUE(store->record(QStringLiteral("copied while closed %1").arg(i), now + i));
    store->remove(*store->item(state().queuedItemIDs().first()));
    EXPECT_TRUE(state().queuedItemIDs().isEmpty());
    EXPECT_EQ(recomputed.count(), 0);
    EXPECT_EQ(list()->model()->rowCount(), 4);

    open();
    EXPECT_EQ(recomputed.count(), 1);
    ASSERT_EQ(list()->model()->rowCount(), 73);
    EXPECT_EQ(list()->model()->index(0, 0).data(ClipListModel::ItemIDRole).toUuid(), store->itemAt(0).id());
    ASSERT_EQ(state().lensItem()->id(), beta);
    EXPECT_EQ(list()->currentIndex().row(), state().lensRow());
    EXPECT_TRUE(list()->selectionModel()->isSelected(list()->currentIndex()));
}

// ---- Layout by width -----------------------------------------------------------------------

// The content below the header is what is measured: from 760 points on the inspector stands beside
// a list of min(max(width x 0.44, 330), 430) points; below, the list takes the whole width with the
// action strip under it.
TEST_F(HistoryWindowKeyboardTest, InspectorBesideTheListFromSevenHundredSixtyPointsAndTheStripBelow)
{
    open();
    ASSERT_TRUE(state().lensItem());
    QWidget* content = list()->parentWidget();
    ASSERT_NE(content, nullptr);
    QWidget* window = controller->panel();
    // Sizes the window so that the content is `width` wide.
    auto fitContent = [&](int width) {
        for (int attempt = 0; attempt < 3 && content->width() != width; ++attempt) {
            const int wanted = window->width() + width - content->width();
            window->resize(wanted, window->height());
            (void)QTest::qWaitFor([&] { return content->width() == width; }, 2000); // checked below
        }
        return content->width() == width;
    };
    QWidget* inspector = controller->view()->inspectorPlace();
    QWidget* strip = controller->view()->narrowActionsPlace();

    ASSERT_TRUE(fitContent(759));
    EXPECT_FALSE(controller->view()->isWideLayout());
    EXPECT_FALSE(inspector->isVisible());
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(list()->width(), 759);
    EXPECT_LE(list()->geometry().bottom(), strip->geometry().top());

    ASSERT_TRUE(fitContent(760));
    EXPECT_TRUE(controller->view()->isWideLayout());
    EXPECT_TRUE(inspector->isVisible());
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(list()->height(), content->height());
    EXPECT_GT(inspector->x(), list()->geometry().right());

    // The list's width beside the inspector, at several widths the window can take.
    for (const int width : {760, 761, 790, 840, 900, 950}) {
        ASSERT_TRUE(fitContent(width)) << width;
        const int expected = int(std::min(std::max(width * 0.44, 330.0), 430.0));
        EXPECT_EQ(list()->width(), expected) << "content " << width;
        EXPECT_TRUE(inspector->isVisible()) << width;
    }

    // Narrow again: back to the strip.
    ASSERT_TRUE(fitContent(700));
    EXPECT_FALSE(inspector->isVisible());
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(list()->width(), 700);
}

// ---- Notices and scrolling -----------------------------------------------------------------

TEST_F(HistoryWindowKeyboardTest, PasteQueueNoticeIsOutOfSightWhileAnOverlayOrConfirmationIsOpen)
{
    ClipboardImage image(pngBytes(4, 3), QStringLiteral("public.png"), 4, 3);
    ASSERT_TRUE(store->record(ClipboardContent::image(image), now - 1));
    open();
    PasteQueueNotice* notice = controller->view()->pasteQueueNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isVisible());

    // An image and a text go one at a time: the first is sent, the second waits for Paste Next.
    paste.service.pasteItems({store->itemAt(0), store->itemAt(1)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return notice->band() == PasteQueueNotice::Band::waiting; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(notice->isVisible());

    // The full-size preview covers the window: the notice goes, and comes back after it.
    state().openPreview(store->itemAt(1));
    ASSERT_TRUE(state().isHistoryInteractionBlocked());
    EXPECT_FALSE(notice->isVisible());
    state().handleEscape();
    ASSERT_FALSE(state().isHistoryInteractionBlocked());
    EXPECT_TRUE(notice->isVisible());

    // So does the clear-history confirmation.
    state().requestClearHistory();
    QMessageBox* box = controller->view()->clearHistoryConfirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(notice->isVisible());
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == QStringLiteral("Cancel"))
            button->click();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->view()->clearHistoryConfirmation(); }));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::waiting);
}

// Pinned clips stand first, so a new snippet lands below all of them, out of sight.
TEST_F(HistoryWindowKeyboardTest, ASavedSnippetIsSelectedAndScrolledToTheMiddleOnce)
{
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(store->record(QStringLiteral("older note %1").arg(i), now - 5000 + i));
    QList<ClipboardItem> toPin;
    for (int i = 60; i < 120; ++i)
        toPin.append(store->itemAt(i));
    for (const ClipboardItem& item : toPin)
        store->togglePinned(item);
    open();
    const QRect viewport = list()->viewport()->rect();
    auto rectOf = [this](int row) { return list()->visualRect(list()->model()->index(row, 0)); };
    ASSERT_TRUE(viewport.contains(rectOf(0).center()));

    // New snippet, written and saved in its card.
    controller->show(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->view()->newSnippetOverlay() != nullptr; }));
    NewSnippetOverlay* card = controller->view()->newSnippetOverlay();
    QTest::keyClicks(card->editor(), QStringLiteral("a fresh snippet"));
    ASSERT_TRUE(card->saveButton()->isEnabled());
    card->saveButton()->click();

    EXPECT_EQ(lensText(), QStringLiteral("a fresh snippet"));
    const int row = state().lensRow();
    ASSERT_EQ(row, 60);
    const QRect rect = rectOf(row);
    EXPECT_TRUE(viewport.contains(rect.center()));
    // Centred: as far from the top as from the bottom, give or take a row.
    EXPECT_LE(std::abs((rect.center().y() - viewport.top()) - (viewport.bottom() - rect.center().y())), rect.height());
    // The request is spent: later changes do not scroll there again.
    EXPECT_FALSE(state().pendingScrollItemID());
}

// "Show in All History" from a search far down the list: the clip is scrolled to the middle.
TEST_F(HistoryWindowKeyboardTest, ShowInAllHistoryScrollsTheClipToTheMiddleOfTheList)
{
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(store->record(QStringLiteral("older note %1").arg(i), now - 5000 + i));
    open();
    QTest::keyClicks(search(), QStringLiteral("older note 100"));
    ASSERT_EQ(list()->model()->rowCount(), 1);
    const QUuid id = state().lensItem()->id();
    state().showInAllHistory(id);
    ASSERT_GT(list()->model()->rowCount(), 200);
    const int row = state().lensRow();
    ASSERT_EQ(state().filteredItems().at(row).id(), id);
    const QRect rect = list()->visualRect(list()->model()->index(row, 0));
    const QRect viewport = list()->viewport()->rect();
    EXPECT_TRUE(viewport.contains(rect.center()));
    // Centred: as far from the top as from the bottom, give or take a row.
    EXPECT_LE(std::abs((rect.center().y() - viewport.top()) - (viewport.bottom() - rect.center().y())), rect.height());
    EXPECT_FALSE(state().pendingScrollItemID());
}

// The window's largest size keeps its content below the width where the list stops growing:
// the split alone shows the whole rule.
TEST(HistoryContentSplitTest, ListWidthFollowsTheRuleAtEveryWidth)
{
    QWidget host;
    host.resize(1400, 500);
    auto* list = new QListView;
    auto* split = new HistoryContentSplit(list, &host);
    split->setHasLens(true);
    host.show();
    for (int width = 700; width <= 1300; ++width) {
        split->resize(width, 400);
        if (width < 760) {
            ASSERT_EQ(list->width(), width);
            ASSERT_FALSE(split->inspectorPlace()->isVisible()) << width;
            continue;
        }
        const int expected = int(std::min(std::max(width * 0.44, 330.0), 430.0));
        ASSERT_EQ(list->width(), expected) << "width " << width;
        ASSERT_TRUE(split->inspectorPlace()->isVisible()) << width;
        ASSERT_EQ(split->inspectorPlace()->geometry().right(), width - 1) << width;
    }
}
