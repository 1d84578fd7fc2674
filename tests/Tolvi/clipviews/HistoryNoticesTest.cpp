#include "Tolvi/clipviews/HistoryStorageNotice.h"
#include "Tolvi/clipviews/PasteQueueNotice.h"

#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/FirstFittingArrangement.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "tests/TolviCore/store/StoreTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace tolvi {
namespace {

using Status = PasteService::PasteQueueStatus;
using Pid = PasteService::Pid;
using StorageIssue = ClipboardStore::StorageIssue;

// Speaks into a list, and only while the element is on screen, as the real channel does.
class RecordingChannel final : public AnnouncementChannel {
public:
    RecordingChannel(QWidget* anchor, QStringList& spoken) : m_anchor(anchor), m_spoken(spoken) {}
    bool mayAnnounce() const override { return m_anchor->isVisible(); }
    void announce(const QString& message) override { m_spoken.append(message); }

private:
    QWidget* m_anchor;
    QStringList& m_spoken;
};

void listen(TolviAccessibilityAnnouncement* element, QStringList& spoken)
{
    element->setChannel(std::make_unique<RecordingChannel>(element, spoken));
}

// The texts a widget shows right now.
QStringList shownTexts(const QWidget& widget)
{
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>()) {
        if (label->isVisible() && !label->text().isEmpty())
            texts.append(label->text());
    }
    return texts;
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// --- Paste queue notice ---

constexpr Pid tolviPid = 100;
constexpr Pid editorPid = 200;

// A desktop whose programs the test moves by hand: who is in front, whether activating a
// program brings it there, and when the service's waits run.
struct QueueDesktop {
    InMemoryPasteboard board;
    std::optional<Pid> front = editorPid;
    bool activationBringsToFront = true;
    bool dialog = false;
    bool trusted = true;
    QList<std::function<void()>> scheduled;
    QStringList events;
    PasteService service{board, environment()};

    QueueDesktop()
    {
        service.captureTarget();
        // The user picks the clips in our own window.
        front = tolviPid;
    }

    PasteService::Environment environment()
    {
        PasteService::Environment env;
        env.frontmostPID = [this] { return front; };
        env.isTolvi = [](Pid pid) { return pid == tolviPid; };
        env.isRunning = [](Pid) { return true; };
        env.activate = [this](Pid pid) {
            if (activationBringsToFront)
                front = pid;
            return true;
        };
        env.isTrusted = [this] { return trusted; };
        env.requestPermission = [] {};
        env.sendPaste = [this] { events.append(QStringLiteral("paste")); };
        env.schedule = [this](double, std::function<void()> work) { scheduled.append(std::move(work)); };
        env.destinationHasBlockingDialog = [this](Pid) { return dialog; };
        env.applicationDescription = [](std::optional<Pid>) { return std::optional<QString>(); };
        return env;
    }

    void runScheduled()
    {
        const QList<std::function<void()>> due = std::exchange(scheduled, {});
        for (const auto& work : due)
            work();
    }

    static ClipboardItem richText(const QString& text)
    {
        return ClipboardItem(QUuid::createUuid(), text, 0.0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, "<b>" + text.toUtf8() + "</b>", {}));
    }

    void startQueue(int count)
    {
        QList<ClipboardItem> items;
        for (int i = 0; i < count; ++i)
            items.append(richText(QStringLiteral("clip %1").arg(i + 1)));
        service.pasteItems(items);
    }
};

class PasteQueueNoticeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TolviWindowAppearance::attach(&host, &theme);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        notice = new PasteQueueNotice(desktop.service, [this] { desktop.events.append(QStringLiteral("before")); },
                                      &host);
        layout->addWidget(notice);
        layout->addStretch(1);
        listen(notice->announcementElement(), spoken);
        host.resize(640, 240);
        host.show();
        host.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        settle();
    }

    void press(QAbstractButton* button)
    {
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible());
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        settle();
    }

    TolviTheme theme;
    QWidget host;
    QueueDesktop desktop;
    PasteQueueNotice* notice = nullptr;
    QStringList spoken;
};

TEST_F(PasteQueueNoticeTest, FollowsAQueueFromFirstItemToFinished)
{
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::none);

    // The destination takes its time to come to the front: the first item is being prepared.
    desktop.activationBringsToFront = false;
    desktop.startQueue(3);
    settle();
    ASSERT_EQ(desktop.service.queueStatus(), Status::preparing(0, 3));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_GT(notice->height(), 0);
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::preparing);
    EXPECT_EQ(shownTexts(*notice), QStringList({QStringLiteral("Preparing paste\u2026"), QStringLiteral("0 of 3 sent")}));
    EXPECT_NE(notice->cancelButton(), nullptr);
    EXPECT_EQ(notice->pasteNextButton(), nullptr);

    desktop.front = editorPid;
    desktop.runScheduled();
    settle();
    ASSERT_EQ(desktop.service.queueStatus(), Status::ready(1, 3));
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::waiting);
    EXPECT_TRUE(shownTexts(*notice).contains(QStringLiteral("2 remaining")));
    EXPECT_TRUE(shownTexts(*notice).contains(QStringLiteral("1 of 3 sent")));
    ASSERT_NE(notice->pasteNextButton(), nullptr);
    EXPECT_EQ(notice->pasteNextButton()->accessibleName(), QStringLiteral("Paste next item, 2 of 3"));

    // Chosen from our own window; the window gets out of the way first.
    desktop.activationBringsToFront = true;
    desktop.front = tolviPid;
    desktop.events.clear();
    press(notice->pasteNextButton());
    EXPECT_EQ(desktop.events, QStringList({QStringLiteral("before"), QStringLiteral("paste")}));
    ASSERT_EQ(desktop.service.queueStatus(), Status::ready(2, 3));
    EXPECT_TRUE(shownTexts(*notice).contains(QStringLiteral("1 remaining")));
    EXPECT_EQ(notice->pasteNextButton()->accessibleName(), QStringLiteral("Paste next item, 3 of 3"));

    press(notice->pasteNextButton());
    ASSERT_EQ(desktop.service.queueStatus(), Status::completedAll(3));
    // Finished: nothing is shown and no room is taken, but the end is still spoken.
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::none);
    EXPECT_EQ(spoken, QStringList({
                          QStringLiteral("Preparing paste. 0 of 3 sent. Cancel paste queue is available."),
                          QStringLiteral("Paste queue ready. 1 of 3 sent, 2 remaining."),
                          QStringLiteral("Paste queue ready. 2 of 3 sent, 1 remaining."),
                          QStringLiteral("Paste queue finished. 3 items sent."),
                      }));
}

TEST_F(PasteQueueNoticeTest, DialogInTheDestinationAddsTheWarningLine)
{
    desktop.startQueue(2);
    settle();
    ASSERT_EQ(desktop.service.queueStatus(), Status::ready(1, 2));
    const QString warning = QStringLiteral("Finish the dialog in the destination app, then choose Paste Next.");
    EXPECT_FALSE(shownTexts(*notice).contains(warning));
    const int heightWithoutWarning = notice->height();

    desktop.dialog = true;
    press(notice->pasteNextButton());
    ASSERT_EQ(desktop.service.queueStatus(), Status::ready(1, 2));
    ASSERT_EQ(desktop.service.queueDestinationWarning(), warning);
    EXPECT_TRUE(shownTexts(*notice).contains(warning));
    EXPECT_GT(notice->height(), heightWithoutWarning);
    EXPECT_EQ(spoken.last(), QStringLiteral("Paste queue ready. 1 of 2 sent, 1 remaining. ") + warning);

    desktop.dialog = false;
    press(notice->pasteNextButton());
    EXPECT_EQ(desktop.service.queueStatus(), Status::completedAll(2));
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(PasteQueueNoticeTest, CancelStopsTheQueueAndDismissPutsTheNoticeAway)
{
    desktop.activationBringsToFront = false;
    desktop.startQueue(3);
    settle();
    ASSERT_EQ(notice->band(), PasteQueueNotice::Band::preparing);
    EXPECT_EQ(notice->cancelButton()->accessibleName(), QStringLiteral("Cancel paste queue"));

    press(notice->cancelButton());
    EXPECT_EQ(desktop.service.queueStatus(), Status::cancelled(QStringLiteral("Paste queue cancelled.")));
    EXPECT_TRUE(desktop.service.queuedContents().isEmpty());
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::stopped);
    EXPECT_EQ(shownTexts(*notice),
              QStringList({QStringLiteral("Paste stopped"), QStringLiteral("Paste queue cancelled.")}));
    EXPECT_EQ(spoken.last(), QStringLiteral("Paste stopped. Paste queue cancelled."));
    // The wait that was still pending belongs to the cancelled queue.
    desktop.front = editorPid;
    desktop.runScheduled();
    settle();
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::stopped);
    EXPECT_TRUE(desktop.events.isEmpty());

    press(notice->dismissButton());
    EXPECT_EQ(desktop.service.queueStatus(), Status::idle());
    EXPECT_FALSE(notice->isVisible());

    // Cancelling a waiting queue works the same way.
    desktop.activationBringsToFront = true;
    desktop.startQueue(2);
    settle();
    ASSERT_EQ(notice->band(), PasteQueueNotice::Band::waiting);
    press(notice->cancelButton());
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::stopped);
    EXPECT_EQ(desktop.events, QStringList{QStringLiteral("paste")});
}

TEST_F(PasteQueueNoticeTest, PasteNextRunsBeforePasteAlsoWhenTheServiceStops)
{
    desktop.startQueue(2);
    settle();
    ASSERT_EQ(notice->band(), PasteQueueNotice::Band::waiting);
    desktop.events.clear();
    // Something else took the clipboard meanwhile: the service refuses to go on.
    desktop.board.setString(QStringLiteral("copied elsewhere"));
    press(notice->pasteNextButton());
    EXPECT_EQ(desktop.events, QStringList{QStringLiteral("before")});
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::stopped);
    EXPECT_TRUE(shownTexts(*notice).contains(QStringLiteral("The clipboard changed. Start a new paste queue.")));
}

TEST_F(PasteQueueNoticeTest, TheSameStatusIsSpokenOnceAndResetsOnTheWayAreNotShown)
{
    // Without the permission every paste stops at once, each time after a reset to idle.
    desktop.trusted = false;
    desktop.startQueue(2);
    settle();
    ASSERT_EQ(desktop.service.queueStatus().kind, Status::Kind::cancelled);
    ASSERT_EQ(spoken.size(), 1);
    EXPECT_TRUE(spoken.first().startsWith(QStringLiteral("Paste stopped. Automatic paste needs permission")));

    // Published again: a reset to idle and the same stop, in one turn and in the next.
    desktop.startQueue(2);
    desktop.startQueue(2);
    settle();
    desktop.startQueue(2);
    settle();
    EXPECT_EQ(spoken.size(), 1);
    EXPECT_EQ(notice->band(), PasteQueueNotice::Band::stopped);
    EXPECT_TRUE(notice->isVisible());
}

TEST_F(PasteQueueNoticeTest, NarrowNoticeStacksTheActionsAtTheTrailingEdge)
{
    desktop.startQueue(3);
    settle();
    auto* arrangement = notice->findChild<FirstFittingArrangement*>();
    ASSERT_NE(arrangement, nullptr);
    EXPECT_EQ(arrangement->currentIndex(), 0);
    const int wideHeight = notice->height();
    // The two-row form must not make a wide notice any taller than its one row.
    EXPECT_EQ(wideHeight, notice->heightForWidth(notice->width()));
    EXPECT_LE(notice->minimumSizeHint().height(), wideHeight);
    QPushButton* pasteNext = notice->pasteNextButton();
    const int rowTop = pasteNext->mapTo(notice, QPoint(0, 0)).y();

    host.resize(230, 240);
    settle();
    EXPECT_EQ(arrangement->currentIndex(), 1);
    EXPECT_GT(notice->height(), wideHeight);
    QPushButton* cancel = notice->cancelButton();
    ASSERT_TRUE(pasteNext->isVisible());
    ASSERT_TRUE(cancel->isVisible());
    // Below the summary, ending at the band's padding.
    EXPECT_GT(pasteNext->mapTo(notice, QPoint(0, 0)).y(), rowTop);
    EXPECT_EQ(cancel->mapTo(notice, QPoint(cancel->width(), 0)).x(), notice->width() - 12);

    // The moved buttons still work, and the focus stays with the one that had it.
    pasteNext->setFocus();
    host.resize(640, 240);
    settle();
    EXPECT_EQ(arrangement->currentIndex(), 0);
    EXPECT_TRUE(pasteNext->hasFocus());
    desktop.front = tolviPid;
    press(pasteNext);
    EXPECT_EQ(desktop.service.queueStatus(), Status::ready(2, 3));
}

TEST(PasteQueueNoticeNumbers, CountsAndMessagesStayWithinTheQueue)
{
    EXPECT_EQ(PasteQueueNotice::remainingCount(5, 5), 0);
    EXPECT_EQ(PasteQueueNotice::remainingCount(7, 5), 0);
    EXPECT_EQ(PasteQueueNotice::nextItemNumber(5, 5), 5);
    EXPECT_EQ(PasteQueueNotice::nextItemNumber(7, 5), 5);
    EXPECT_EQ(PasteQueueNotice::announcement(Status::ready(7, 5), std::nullopt),
              QStringLiteral("Paste queue ready. 7 of 5 sent, 0 remaining."));
    EXPECT_EQ(PasteQueueNotice::announcement(Status::ready(1200, 1500), std::nullopt),
              QStringLiteral("Paste queue ready. 1200 of 1500 sent, 300 remaining."));
    EXPECT_EQ(PasteQueueNotice::announcement(Status::completedAll(1), std::nullopt),
              QStringLiteral("Paste queue finished. 1 items sent."));
    EXPECT_EQ(PasteQueueNotice::announcement(Status::idle(), QStringLiteral("warning")), std::nullopt);
}

TEST(PasteQueueNoticeLifetime, OutlivesItsService)
{
    TolviTheme theme;
    QWidget host;
    TolviWindowAppearance::attach(&host, &theme);
    auto desktop = std::make_unique<QueueDesktop>();
    PasteQueueNotice notice(desktop->service, {}, &host);
    host.show();
    desktop->trusted = false;
    desktop->startQueue(2);
    // The service goes before the notice renders what it published.
    desktop.reset();
    settle();
    EXPECT_EQ(notice.band(), PasteQueueNotice::Band::none);
    EXPECT_FALSE(notice.isVisible());
}

// --- History storage notice ---

class StorageNoticeTest : public ::testing::Test {
protected:
    void SetUp() override { TolviWindowAppearance::attach(&host, &theme); }

    // A store over the fake persistence, and the notice over it in a shown window.
    void build(bool withExport = true)
    {
        ClipboardStore::Configuration configuration = testing::unlimitedConfiguration();
        configuration.maxCharactersPerItem = 20;
        store = std::make_unique<ClipboardStore>(persistence, configuration);
        HistoryStorageNotice::Actions actions;
        actions.historyFilePath = QStringLiteral("/home/someone/My #History?/Tolvi/history.json");
        actions.openUrl = [this](const QUrl& url) {
            opened.append(url);
            return false;
        };
        if (withExport)
            actions.exportCopy = [this] { ++exports; };
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        notice = new HistoryStorageNotice(*store, std::move(actions), &host);
        layout->addWidget(notice);
        layout->addStretch(1);
        listen(notice->announcementElement(), spoken);
        host.resize(520, 300);
        host.show();
        settle();
    }

    TolviTheme theme;
    QWidget host;
    std::shared_ptr<testing::FakeSyncPersistence> persistence = std::make_shared<testing::FakeSyncPersistence>();
    std::unique_ptr<ClipboardStore> store;
    HistoryStorageNotice* notice = nullptr;
    QList<QUrl> opened;
    int exports = 0;
    QStringList spoken;
};

TEST_F(StorageNoticeTest, HealthyStoreShowsNothing)
{
    build();
    ASSERT_FALSE(store->storageIssue().has_value());
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(notice->retryButton(), nullptr);
    // A text within the limits keeps it that way.
    EXPECT_TRUE(store->record(QStringLiteral("short"), 1));
    EXPECT_FALSE(notice->isVisible());
    EXPECT_TRUE(spoken.isEmpty());
}

TEST_F(StorageNoticeTest, UnreadableHistoryOffersRetryAndTheFolder)
{
    persistence->failLoad = true;
    build();
    ASSERT_EQ(store->storageIssue(), StorageIssue::loadFailed);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->showsStorageIssue());
    EXPECT_FALSE(notice->showsCaptureIssue());
    EXPECT_TRUE(shownTexts(*notice).contains(QStringLiteral("History could not be opened")));
    ASSERT_NE(notice->retryButton(), nullptr);
    EXPECT_EQ(notice->retryButton()->accessibleName(), QStringLiteral("Retry opening clipboard history"));
    EXPECT_NE(notice->showFolderButton(), nullptr);
    EXPECT_EQ(notice->exportButton(), nullptr);

    // The folder that holds the file, even with characters that mean something in an address.
    QTest::keyClick(notice->showFolderButton(), Qt::Key_Space);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.first().isLocalFile());
    EXPECT_EQ(opened.first().toLocalFile(), QStringLiteral("/home/someone/My #History?/Tolvi"));

    // A retry that fails again leaves everything in place.
    const int loads = persistence->loadCalls;
    QTest::keyClick(notice->retryButton(), Qt::Key_Space);
    EXPECT_EQ(persistence->loadCalls, loads + 1);
    EXPECT_TRUE(notice->isVisible());

    persistence->failLoad = false;
    QTest::keyClick(notice->retryButton(), Qt::Key_Space);
    EXPECT_FALSE(store->storageIssue().has_value());
    EXPECT_FALSE(notice->isVisible());
    // Present when the window opened, so never spoken; gone now, which is not news either.
    EXPECT_TRUE(spoken.isEmpty());
}

TEST_F(StorageNoticeTest, FailedWriteOffersExportAndClearsAfterARetry)
{
    build();
    persistence->failSave = true;
    ASSERT_TRUE(store->record(QStringLiteral("kept in memory"), 1));
    ASSERT_EQ(store->storageIssue(), StorageIssue::saveFailed);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(shownTexts(*notice).contains(QStringLiteral("History changes are not saved")));
    EXPECT_EQ(notice->retryButton()->accessibleName(), QStringLiteral("Retry saving clipboard history"));
    ASSERT_NE(notice->exportButton(), nullptr);
    EXPECT_EQ(notice->exportButton()->text(), QStringLiteral("Export Copy\u2026"));
    EXPECT_EQ(spoken, QStringList{QStringLiteral(
                          "History changes are not saved. Retry saving or export a copy before quitting.")});

    QTest::keyClick(notice->exportButton(), Qt::Key_Space);
    EXPECT_EQ(exports, 1);

    persistence->failSave = false;
    QTest::keyClick(notice->retryButton(), Qt::Key_Space);
    EXPECT_FALSE(store->storageIssue().has_value());
    ASSERT_FALSE(persistence->saves.isEmpty());
    EXPECT_EQ(testing::texts(persistence->saves.last().items), QStringList{QStringLiteral("kept in memory")});
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(StorageNoticeTest, WithoutAnExporterAFailedWriteOffersNoExport)
{
    build(false);
    persistence->failSave = true;
    store->record(QStringLiteral("kept in memory"), 1);
    ASSERT_EQ(store->storageIssue(), StorageIssue::saveFailed);
    EXPECT_NE(notice->retryButton(), nullptr);
    EXPECT_EQ(notice->exportButton(), nullptr);
}

TEST_F(StorageNoticeTest, CaptureIssueStandsAboveTheStorageBlock)
{
    build();
    ASSERT_TRUE(store->record(QStringLiteral("fits"), 1));
    // Refused: over the limit of 20 characters.
    EXPECT_FALSE(store->record(QStringLiteral("far too long for this history"), 1));
    ASSERT_TRUE(store->lastCaptureIssue().has_value());
    const QString refusal = *store->lastCaptureIssue();
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->showsCaptureIssue());
    EXPECT_FALSE(notice->showsStorageIssue());
    EXPECT_EQ(shownTexts(*notice), QStringList{refusal});
    EXPECT_EQ(spoken, QStringList{refusal});

    // Both: the refusal stays on top, the storage message is the one spoken.
    persistence->failSave = true;
    store->togglePinned(store->itemAt(0));
    ASSERT_EQ(store->storageIssue(), StorageIssue::saveFailed);
    ASSERT_EQ(store->lastCaptureIssue(), refusal);
    EXPECT_TRUE(notice->showsCaptureIssue());
    EXPECT_TRUE(notice->showsStorageIssue());
    QLabel* title = nullptr;
    QLabel* refusalLabel = nullptr;
    for (QLabel* label : notice->findChildren<QLabel*>()) {
        if (label->text() == QStringLiteral("History changes are not saved"))
            title = label;
        if (label->text() == refusal)
            refusalLabel = label;
    }
    ASSERT_TRUE(title && refusalLabel);
    EXPECT_LT(refusalLabel->mapTo(notice, QPoint(0, 0)).y(), title->mapTo(notice, QPoint(0, 0)).y());
    EXPECT_EQ(spoken.last(),
              QStringLiteral("History changes are not saved. Retry saving or export a copy before quitting."));

    // The next accepted clip clears the refusal.
    persistence->failSave = false;
    store->retryStorage();
    EXPECT_TRUE(store->record(QStringLiteral("fits too"), 2));
    EXPECT_FALSE(store->lastCaptureIssue().has_value());
    EXPECT_FALSE(notice->isVisible());
}

} // namespace
} // namespace tolvi
