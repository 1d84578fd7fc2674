#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"

#include "Tolvi/services/capture/Scheduler.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QSet>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

using namespace tolvi;
namespace T = tolvi::PasteboardTypes;
using Status = PasteService::PasteQueueStatus;
using Pid = PasteService::Pid;

namespace {

constexpr Pid self = 100;
constexpr Pid editor = 200;
constexpr Pid browser = 300;

const QString permissionPlace = QStringLiteral("an X11 session with XTEST");
const QString noKeyboardFocus =
    QStringLiteral("The destination app did not take the keyboard focus. The item remains on the clipboard.");
const QString noKeyboardFocusBeforeWrite =
    QStringLiteral("The destination app did not take the keyboard focus. Paste was cancelled.");

class PasteServiceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        PasteService::Environment environment;
        environment.frontmostPID = [this] {
            ++frontmostChecks;
            return front;
        };
        environment.isTolvi = [](Pid pid) { return pid == self; };
        environment.isRunning = [this](Pid pid) { return running.contains(pid); };
        environment.activate = [this](Pid pid) {
            ++activations;
            if (!activationAccepted)
                return false;
            if (activationBringsToFront)
                front = pid;
            if (activationBringsKeyboard)
                keyboard = pid;
            return true;
        };
        environment.isTrusted = [this] { return trusted; };
        environment.requestPermission = [this] { ++permissionRequests; };
        environment.schedule = [this](double seconds, std::function<void()> work) {
            scheduler.scheduleOnce(seconds, std::move(work));
        };
        environment.destinationHasBlockingDialog = [this](Pid) {
            ++dialogProbes;
            if (onProbe)
                onProbe();
            return dialog;
        };
        environment.applicationDescription = [](std::optional<Pid> pid) -> std::optional<QString> {
            if (!pid)
                return std::nullopt;
            return QStringLiteral("App %1").arg(*pid);
        };
        // As the X11 desktop answers: the keyboard focus and our own windows are checked, and the
        // keystroke goes out only where the focus is.
        environment.keyboardFocusBelongsTo = [this](Pid pid) {
            ++focusChecks;
            if (onFocusCheck)
                onFocusCheck();
            return keyboard == pid;
        };
        environment.ownWindowsUnmapped = [this] { return ownWindowsUnmapped; };
        environment.pasteInto = [this](Pid pid) {
            if (onPasteInto)
                onPasteInto();
            if (keyboard != pid)
                return false;
            pasted.append(board.string(T::plainText).value_or(QString()));
            return true;
        };
        environment.frontmostIsUnidentified = [this] { return !front && unidentifiedInFront; };
        // Never used while pasteInto is there.
        environment.sendPaste = [this] { ++unguardedPastes; };
        liveLike = environment;
        makeService(environment);
    }

    void makeService(const PasteService::Environment& environment)
    {
        service = std::make_unique<PasteService>(board, environment);
        QObject::connect(service.get(), &PasteService::queueStatusChanged,
                         [this](const Status& status) { statuses.append(status); });
        front = editor;
        service->captureTarget();
        front = self;
        keyboard = self;
    }

    // The statuses published since the last call, without the idle ones every reset sends.
    QList<Status> published()
    {
        QList<Status> result;
        for (const Status& status : statuses) {
            if (status.kind != Status::Kind::idle)
                result.append(status);
        }
        statuses.clear();
        return result;
    }

    static ClipboardItem text(const QString& value) { return ClipboardItem(value); }
    static ClipboardItem html(const QString& value)
    {
        return ClipboardItem(QUuid::createUuid(), value, 0.0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, QByteArray("<b>") + value.toUtf8() + "</b>", {}));
    }

    static ClipboardItem image(int width, int height)
    {
        QImage pixels(width, height, QImage::Format_RGB32);
        pixels.fill(Qt::darkCyan);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        pixels.save(&buffer, "PNG");
        return ClipboardItem(QUuid::createUuid(),
                             ClipboardContent::image(ClipboardImage(png, T::png, width, height)), 0.0);
    }

    InMemoryPasteboard board;
    ManualScheduler scheduler;
    PasteService::Environment liveLike;
    std::unique_ptr<PasteService> service;
    std::optional<Pid> front;
    QSet<Pid> running{self, editor, browser};
    bool trusted = true;
    bool activationAccepted = true;
    bool activationBringsToFront = true;
    bool activationBringsKeyboard = true;
    std::optional<Pid> keyboard;
    bool ownWindowsUnmapped = true;
    bool unidentifiedInFront = false;
    bool dialog = false;
    int frontmostChecks = 0;
    int activations = 0;
    int permissionRequests = 0;
    int dialogProbes = 0;
    int focusChecks = 0;
    int unguardedPastes = 0;
    QStringList pasted;
    std::function<void()> onProbe;
    std::function<void()> onFocusCheck;
    std::function<void()> onPasteInto;
    QList<Status> statuses;
};

} // namespace

TEST_F(PasteServiceFixture, SinglePasteSendsCtrlVOnceAndStaysIdle)
{
    service->pasteItem(text("hello"));
    EXPECT_EQ(pasted, QStringList{"hello"});
    EXPECT_EQ(service->queueStatus(), Status::idle());
    EXPECT_TRUE(published().isEmpty());
    EXPECT_FALSE(service->activeTargetPID().has_value());
    EXPECT_EQ(activations, 1);
}

TEST_F(PasteServiceFixture, DestinationThatNeverComesToFrontGetsThirteenChecks)
{
    activationBringsToFront = false;
    frontmostChecks = 0;
    service->pasteItem(text("hello"));
    while (scheduler.runNext()) {
    }
    EXPECT_EQ(frontmostChecks, 13);
    EXPECT_EQ(scheduler.onceDelays(), QList<double>(12, 0.08));
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app did not activate. Paste was cancelled."));
}

TEST_F(PasteServiceFixture, ResetMakesScheduledRetriesDoNothing)
{
    activationBringsToFront = false;
    service->pasteItem(text("hello"));
    EXPECT_EQ(scheduler.pendingOnceCount(), 1);
    service->resetPendingPaste();
    front = editor;
    statuses.clear();
    while (scheduler.runNext()) {
    }
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_TRUE(statuses.isEmpty());
    EXPECT_EQ(service->queueStatus(), Status::idle());
}

TEST_F(PasteServiceFixture, LateActivationPastesOnARetry)
{
    activationBringsToFront = false;
    service->pasteItem(text("late"));
    scheduler.runNext();
    scheduler.runNext();
    front = editor;
    scheduler.runNext();
    EXPECT_EQ(pasted, QStringList{"late"});
    EXPECT_EQ(scheduler.pendingOnceCount(), 0);
}

TEST_F(PasteServiceFixture, KeystrokeWaitsForTheKeyboardFocusAndOurHiddenPanel)
{
    // The destination is active at once, but the window manager hands it the keyboard a little
    // later, and our panel is still being unmapped then.
    activationBringsKeyboard = false;
    ownWindowsUnmapped = false;
    service->pasteItem(text("careful"));
    EXPECT_TRUE(pasted.isEmpty());
    keyboard = editor;
    scheduler.runNext();
    EXPECT_TRUE(pasted.isEmpty());
    ownWindowsUnmapped = true;
    scheduler.runNext();
    EXPECT_EQ(pasted, QStringList{"careful"});
    EXPECT_EQ(scheduler.pendingOnceCount(), 0);
    EXPECT_EQ(service->queueStatus(), Status::idle());
    EXPECT_EQ(unguardedPastes, 0);
}

TEST_F(PasteServiceFixture, FocusThatStaysElsewherePostsNothing)
{
    // The destination is the active program, but the keys would go to another one (a terminal).
    activationBringsKeyboard = false;
    keyboard = browser;
    service->pasteItem(text("rm -rf ~/notes"));
    while (scheduler.runNext()) {
    }
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_EQ(focusChecks, 13);
    EXPECT_EQ(scheduler.onceDelays(), QList<double>(12, 0.08));
    EXPECT_EQ(service->queueStatus(), Status::cancelled(noKeyboardFocus));
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("rm -rf ~/notes"));
    EXPECT_FALSE(service->activeTargetPID().has_value());

    // A queue step gives up before it writes its item: the clipboard still holds the earlier
    // clip, and the message must not claim otherwise.
    service->pasteItems({html("one"), html("two")});
    while (scheduler.runNext()) {
    }
    EXPECT_EQ(service->queueStatus(), Status::cancelled(noKeyboardFocusBeforeWrite));
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("rm -rf ~/notes"));
    EXPECT_TRUE(service->queuedContents().isEmpty());
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_EQ(unguardedPastes, 0);

    // The same for a later step: the clipboard holds the item pasted before it.
    activationBringsKeyboard = true;
    keyboard = editor;
    service->pasteItems({html("first"), html("second")});
    while (scheduler.runNext()) {
    }
    ASSERT_EQ(service->queueStatus(), Status::ready(1, 2));
    activationBringsKeyboard = false;
    keyboard = browser;
    service->pasteNextQueuedItem();
    while (scheduler.runNext()) {
    }
    EXPECT_EQ(service->queueStatus(), Status::cancelled(noKeyboardFocusBeforeWrite));
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("first"));
    EXPECT_EQ(pasted, QStringList{"first"});
}

TEST_F(PasteServiceFixture, FocusMovingAwayAtTheLastMomentPostsNothing)
{
    // Every check passes, but when the keystroke is to go out the focus has moved on.
    onPasteInto = [&] { keyboard = browser; };
    service->pasteItem(text("single"));
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_EQ(service->queueStatus(), Status::cancelled(noKeyboardFocus));
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("single"));

    service->pasteItems({html("first"), html("second")});
    EXPECT_EQ(service->queueStatus(), Status::cancelled(noKeyboardFocus));
    EXPECT_EQ(service->completedCount(), 0);
    EXPECT_TRUE(pasted.isEmpty());

    // Between two queued items the focus goes elsewhere during the dialog probe.
    onPasteInto = nullptr;
    service->pasteItems({html("a"), html("b")});
    ASSERT_EQ(service->queueStatus(), Status::ready(1, 2));
    onProbe = [&] { keyboard = browser; };
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app or automatic paste permission changed."));
    EXPECT_EQ(pasted, QStringList{"a"});
}

TEST_F(PasteServiceFixture, PanelOverAProgramWeCannotNamePastesNowhere)
{
    // The editor is the last program we could name; the user is now in one we cannot.
    front = std::nullopt;
    unidentifiedInFront = true;
    service->captureTarget();
    EXPECT_FALSE(service->targetPID().has_value());
    front = self;
    service->pasteItem(text("meant for the unknown one"));
    EXPECT_EQ(service->queueStatus(),
              Status::cancelled("The destination app is no longer available. The item remains on the clipboard."));
    service->pasteItems({html("a"), html("b")});
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app is no longer available."));
    EXPECT_EQ(activations, 0);
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_FALSE(service->targetDiagnostics().selectedTargetPID.has_value());

    // A program we know comes to the front afterwards: it is the destination.
    service->applicationActivated(browser);
    service->pasteItem(text("for the browser"));
    EXPECT_EQ(pasted, QStringList{"for the browser"});
}

TEST_F(PasteServiceFixture, EnvironmentWithoutFocusQueriesPastesByTheFrontProgram)
{
    PasteService::Environment plain = liveLike;
    plain.keyboardFocusBelongsTo = nullptr;
    plain.ownWindowsUnmapped = nullptr;
    plain.pasteInto = nullptr;
    plain.frontmostIsUnidentified = nullptr;
    makeService(plain);
    activationBringsKeyboard = false;
    service->pasteItem(text("plain"));
    EXPECT_EQ(unguardedPastes, 1);
    EXPECT_EQ(service->queueStatus(), Status::idle());
    front = std::nullopt;
    service->captureTarget();
    EXPECT_EQ(service->targetPID(), editor);
}

TEST_F(PasteServiceFixture, QueueOfThreeStepsThroughItsStatuses)
{
    service->pasteItems({html("one"), text("two"), text("three")});
    EXPECT_EQ(published(), QList<Status>({Status::preparing(0, 3), Status::ready(1, 3)}));
    EXPECT_EQ(pasted, QStringList{"one"});
    EXPECT_EQ(board.items().at(0).data(T::html), QByteArray("<b>one</b>"));
    // The dialog probe is never made for the first item.
    EXPECT_EQ(dialogProbes, 0);

    front = self; // Paste Next is chosen in our own menu
    service->pasteNextQueuedItem();
    EXPECT_EQ(published(), QList<Status>({Status::preparing(1, 3), Status::ready(2, 3)}));
    EXPECT_EQ(dialogProbes, 1);
    service->pasteNextQueuedItem();
    EXPECT_EQ(published(), QList<Status>({Status::preparing(2, 3), Status::completedAll(3)}));
    EXPECT_EQ(pasted, QStringList({"one", "two", "three"}));
    EXPECT_FALSE(service->activeTargetPID().has_value());

    // Nothing pending: Paste Next does nothing, a cancel only clears the notice.
    service->pasteNextQueuedItem();
    EXPECT_EQ(pasted.size(), 3);
    service->cancelPendingPaste("Paste queue cancelled.");
    EXPECT_EQ(service->queueStatus(), Status::idle());
}

TEST_F(PasteServiceFixture, DialogInTheDestinationPausesTheQueueWithAWarning)
{
    service->pasteItems({html("one"), html("two")});
    published();
    dialog = true;
    const int writes = board.writeCount();
    service->pasteNextQueuedItem();
    EXPECT_EQ(published(), QList<Status>({Status::preparing(1, 2), Status::ready(1, 2)}));
    EXPECT_EQ(service->queueDestinationWarning(),
              QStringLiteral("Finish the dialog in the destination app, then choose Paste Next."));
    EXPECT_EQ(board.writeCount(), writes);
    EXPECT_EQ(pasted.size(), 1);

    dialog = false;
    service->pasteNextQueuedItem();
    EXPECT_FALSE(service->queueDestinationWarning().has_value());
    EXPECT_EQ(pasted, QStringList({"one", "two"}));
    EXPECT_EQ(service->queueStatus(), Status::completedAll(2));
}

TEST_F(PasteServiceFixture, ChecksAfterTheDialogProbe)
{
    service->pasteItems({html("a"), html("b"), html("c")});
    onProbe = [&] { front = browser; };
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app or automatic paste permission changed."));

    front = editor;
    service->captureTarget();
    service->pasteItems({html("a"), html("b")});
    onProbe = [&] { board.setString("copied elsewhere"); };
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The clipboard changed. Start a new paste queue."));

    // A reset during the probe leaves everything to the new state.
    service->pasteItems({html("a"), html("b")});
    onProbe = [&] { service->resetPendingPaste(); };
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::idle());
}

TEST_F(PasteServiceFixture, PasteNextChecksDestinationAndClipboard)
{
    service->pasteItems({html("a"), html("b")});
    board.setString("someone copied");
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The clipboard changed. Start a new paste queue."));

    service->pasteItems({html("a"), html("b")});
    front = browser;
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app changed."));

    // Nothing in front: the focus is between our closed menu and the next window, so the step
    // goes on, and pastes once the destination has the keyboard again.
    front = editor;
    service->pasteItems({html("a"), html("b")});
    front = std::nullopt;
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::completedAll(2)) << service->queueStatus().reason.toStdString();
    EXPECT_EQ(pasted.mid(pasted.size() - 2), QStringList({"a", "b"}));

    front = editor;
    service->pasteItems({html("a"), html("b")});
    running.remove(editor);
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app changed."));

    running.insert(editor);
    service->pasteItems({html("a"), html("b")});
    trusted = false;
    service->pasteNextQueuedItem();
    EXPECT_EQ(service->queueStatus(),
              Status::cancelled("Automatic paste permission in " + permissionPlace + " is no longer available."));
}

TEST_F(PasteServiceFixture, ActivationNotices)
{
    service->pasteItems({html("a"), html("b")});
    service->applicationActivated(self);
    EXPECT_EQ(service->queueStatus(), Status::ready(1, 2));
    EXPECT_EQ(service->lastNonTolviPID(), editor);
    service->applicationActivated(editor);
    EXPECT_EQ(service->queueStatus(), Status::ready(1, 2));

    service->applicationActivated(browser);
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app changed."));
    EXPECT_EQ(service->lastNonTolviPID(), browser);

    // A program that is not running is not remembered; with nothing pending nothing is cancelled.
    service->applicationActivated(999);
    EXPECT_EQ(service->lastNonTolviPID(), browser);
    EXPECT_EQ(service->queueStatus(), Status::cancelled("The destination app changed."));
}

TEST_F(PasteServiceFixture, CaptureTargetFallsBackToTheLastOtherProgram)
{
    front = self;
    service->captureTarget();
    EXPECT_EQ(service->targetPID(), editor);
    front = std::nullopt;
    service->captureTarget();
    EXPECT_EQ(service->targetPID(), editor);
    front = browser;
    service->captureTarget();
    EXPECT_EQ(service->targetPID(), browser);
    EXPECT_EQ(service->lastNonTolviPID(), browser);
}

TEST_F(PasteServiceFixture, ProgramInFrontWhenThePanelOpenedWinsOverOneActivatedSince)
{
    // The panel opened over the editor; the browser came forward behind it afterwards.
    service->applicationActivated(browser);
    front = self;
    service->pasteItem(text("for the editor"));
    EXPECT_EQ(pasted, QStringList{"for the editor"});
    EXPECT_EQ(keyboard, editor);

    // A queue goes there as well.
    front = self;
    keyboard = self;
    service->pasteItems({html("a"), html("b")});
    EXPECT_EQ(service->queueStatus(), Status::ready(1, 2));
    EXPECT_EQ(service->activeTargetPID(), editor);
    EXPECT_EQ(keyboard, editor);
}

TEST_F(PasteServiceFixture, BatchesOfPlainTextPasteOnce)
{
    service->pasteItems({text("first"), text("second")});
    EXPECT_EQ(pasted, QStringList{"first\nsecond"});
    EXPECT_EQ(service->queueStatus(), Status::idle());
    service->pasteItems({});
    EXPECT_EQ(pasted.size(), 1);
    EXPECT_EQ(activations, 1);
}

TEST_F(PasteServiceFixture, SelectionsWithImagesBecomeAQueue)
{
    // Texts and an image: one clip at a time, the image as itself rather than a placeholder.
    const ClipboardItem shot = image(4, 3);
    service->pasteItems({text("caption"), shot});
    EXPECT_EQ(published(), QList<Status>({Status::preparing(0, 2), Status::ready(1, 2)}));
    EXPECT_EQ(pasted, QStringList{"caption"});
    service->pasteNextQueuedItem();
    EXPECT_EQ(published(), QList<Status>({Status::preparing(1, 2), Status::completedAll(2)}));
    EXPECT_EQ(board.items().at(0).data(T::png), shot.content().imageValue().data());
    EXPECT_FALSE(board.items().at(0).data(T::plainText).has_value());

    // Images only: a queue as well.
    service->pasteItems({shot, image(2, 2)});
    EXPECT_EQ(published(), QList<Status>({Status::preparing(0, 2), Status::ready(1, 2)}));
}

TEST_F(PasteServiceFixture, ReasonTextsOfEveryFailure)
{
    const auto reason = [&] { return service->queueStatus().reason; };

    trusted = false;
    service->pasteItem(text("x"));
    EXPECT_EQ(reason(), "Automatic paste needs permission in " + permissionPlace + ". The item was copied to the clipboard.");
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("x"));
    EXPECT_EQ(permissionRequests, 1);
    service->pasteItems({html("q1"), html("q2")});
    EXPECT_EQ(reason(), "Automatic paste needs permission in " + permissionPlace + ". The first item was copied to the clipboard.");
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("q1"));
    const ClipboardItem missingFile(QUuid::createUuid(), QStringLiteral("/nonexistent/file"), 0.0, false, {}, std::nullopt,
                                    ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {"file:///nonexistent/file"}));
    service->pasteItems({missingFile, html("q2")});
    EXPECT_EQ(reason(), "Automatic paste needs permission in " + permissionPlace +
                            ". The first item could not be copied; a referenced file may be unavailable.");
    EXPECT_EQ(permissionRequests, 3);
    trusted = true;

    service->pasteItem(missingFile);
    EXPECT_EQ(reason(), "This clip could not be copied. A referenced file may no longer be available.");
    service->copyItem(missingFile);
    EXPECT_EQ(reason(), "This clip could not be copied. A referenced file may no longer be available.");
    service->copyText("plain copy");
    EXPECT_EQ(service->queueStatus(), Status::idle());
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("plain copy"));

    running.remove(editor);
    service->pasteItem(text("x"));
    EXPECT_EQ(reason(), "The destination app is no longer available. The item remains on the clipboard.");
    service->pasteItems({html("a"), html("b")});
    EXPECT_EQ(reason(), "The destination app is no longer available.");
    running.insert(editor);

    activationAccepted = false;
    service->pasteItem(text("x"));
    EXPECT_EQ(reason(), "The destination app could not be activated.");
    activationAccepted = true;

    activationBringsToFront = false;
    service->pasteItem(text("x"));
    trusted = false;
    scheduler.runNext();
    EXPECT_EQ(reason(), "Automatic paste permission in " + permissionPlace + " is no longer available.");
    trusted = true;

    service->pasteItem(text("x"));
    running.remove(editor);
    scheduler.runNext();
    EXPECT_EQ(reason(), "The destination app closed.");
    running.insert(editor);

    service->pasteItem(text("x"));
    board.setString("copied meanwhile");
    scheduler.runNext();
    EXPECT_EQ(reason(), "The clipboard changed. Paste was cancelled.");
    activationBringsToFront = true;

    // The next queued item cannot be written.
    service->pasteItems({html("a"), missingFile});
    service->pasteNextQueuedItem();
    EXPECT_EQ(reason(), "The next item could not be copied to the clipboard.");

    service->pasteItems({html("a"), html("b")});
    service->cancelPendingPaste("Paste queue cancelled.");
    EXPECT_EQ(service->queueStatus(), Status::cancelled("Paste queue cancelled."));
}

// The capture passes over a paste's writes and records copies: each write says which it is.
TEST_F(PasteServiceFixture, PastesWriteAsPastesAndCopyAsCopies)
{
    const auto holdsPaste = [&] { return board.holdsOwnWrite() && !board.holdsOwnCopy(); };
    service->pasteItem(text("pasted"));
    EXPECT_TRUE(holdsPaste());
    service->copyItem(html("copied clip"));
    EXPECT_TRUE(board.holdsOwnCopy());
    service->pasteText("pasted text");
    EXPECT_TRUE(holdsPaste());
    service->copyText("copied text");
    EXPECT_TRUE(board.holdsOwnCopy());

    // Every step of a queue, and the first item a queue leaves on the clipboard untyped.
    service->pasteItems({html("one"), text("two")});
    EXPECT_TRUE(holdsPaste());
    service->copyText("copied, which ends that queue");
    service->pasteItems({html("three"), text("four")});
    front = self;
    service->pasteNextQueuedItem();
    EXPECT_EQ(pasted.constLast(), QStringLiteral("four"));
    EXPECT_TRUE(holdsPaste());
    trusted = false;
    service->copyText("copied before");
    service->pasteItems({html("q1"), html("q2")});
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("q1"));
    EXPECT_TRUE(holdsPaste());
}

TEST_F(PasteServiceFixture, TargetDiagnosticsDescribeBothPrograms)
{
    front = browser;
    const PasteService::TargetDiagnostics diagnostics = service->targetDiagnostics();
    EXPECT_EQ(diagnostics.selectedTargetPID, editor);
    EXPECT_EQ(diagnostics.selectedTargetApplication, QStringLiteral("App 200"));
    EXPECT_EQ(diagnostics.frontmostPID, browser);
    EXPECT_EQ(diagnostics.frontmostApplication, QStringLiteral("App 300"));
}

// A copied text too long to encode on the main thread reaches the clipboard once it is encoded,
// whole and with the rich forms it kept. One overtaken meanwhile, by a newer copy of ours or by
// another program's copy, never replaces that newer copy.
TEST_F(PasteServiceFixture, LongCopiedTextsReachTheClipboardUnlessOvertaken)
{
    const QString longText = QString(PasteService::encodedInPlaceLimit, QLatin1Char('a')) + QStringLiteral("\u00e9 end");
    const auto written = [&](InMemoryPasteboard& pasteboard, int count) {
        return QTest::qWaitFor([&] { return pasteboard.writeCount() >= count; }, 30'000);
    };

    service->copyText(longText);
    ASSERT_TRUE(written(board, 1));
    EXPECT_TRUE(board.data(T::plainText) == longText.toUtf8());
    EXPECT_TRUE(board.holdsOwnCopy());
    EXPECT_EQ(service->queueStatus(), Status::idle());

    // The kept HTML stays within what a clip may keep; the text is the long one.
    const ClipboardItem rich(QUuid::createUuid(), longText, 0.0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, QByteArray("<b>long</b>"), {}));
    ASSERT_TRUE(rich.originalPayload());
    service->copyItem(rich);
    ASSERT_TRUE(written(board, 2));
    EXPECT_TRUE(board.data(T::plainText) == longText.toUtf8());
    EXPECT_TRUE(board.data(T::html) == rich.originalPayload()->html());

    // Overtaken by a short copy of ours, then by another program's copy.
    service->copyItem(text(longText + QStringLiteral(" one")));
    service->copyText(QStringLiteral("short copy"));
    service->copyText(longText + QStringLiteral(" two"));
    board.setString(QStringLiteral("copied elsewhere"));
    // Long texts are encoded one after the other and handed back in that order: once a later one
    // has arrived on another clipboard, the ones before it have had their turn.
    InMemoryPasteboard other;
    PasteService later(other, PasteService::Environment{});
    later.copyText(longText);
    ASSERT_TRUE(written(other, 1));
    QCoreApplication::processEvents();
    EXPECT_EQ(board.writeCount(), 3);
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("copied elsewhere"));
    EXPECT_EQ(service->queueStatus(), Status::idle());
}

TEST(PermissionStatusStore, RefreshesEverySecondOnlyWhileAViewerIsShownAndUntilReleased)
{
    ManualScheduler scheduler;
    bool granted = false;
    int reads = 0;
    int changes = 0;
    auto store = std::make_unique<PermissionStatusStore>(
        [&] {
            ++reads;
            return granted;
        },
        scheduler);
    QObject::connect(store.get(), &PermissionStatusStore::canPostEventsChanged, [&](bool) { ++changes; });
    EXPECT_EQ(reads, 1);
    EXPECT_FALSE(store->canPostEvents());

    // Nothing shows it: nothing is asked.
    QObject settings;
    auto onboarding = std::make_unique<QObject>();
    store->refreshWhileShown(&settings);
    store->refreshWhileShown(onboarding.get());
    granted = true;
    scheduler.advance(5.0);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
    EXPECT_FALSE(store->canPostEvents());

    // Shown: read at once, then every second.
    QEvent show(QEvent::Show);
    QEvent hide(QEvent::Hide);
    QCoreApplication::sendEvent(&settings, &show);
    EXPECT_TRUE(store->canPostEvents());
    EXPECT_EQ(changes, 1);
    QCoreApplication::sendEvent(onboarding.get(), &show);
    granted = false;
    scheduler.advance(0.5);
    EXPECT_TRUE(store->canPostEvents());
    scheduler.advance(0.5);
    EXPECT_FALSE(store->canPostEvents());
    EXPECT_EQ(scheduler.activeRepeatingCount(), 1);

    // One viewer hidden, the other gone: no more reads.
    QCoreApplication::sendEvent(&settings, &hide);
    scheduler.advance(1.0);
    const int readsWhileOneIsShown = reads;
    onboarding.reset();
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
    scheduler.advance(3.0);
    EXPECT_EQ(reads, readsWhileOneIsShown);

    QCoreApplication::sendEvent(&settings, &show);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 1);
    store.reset();
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);

    PermissionStatusStore fixed([&] { return granted; }, scheduler, false);
    QObject viewer;
    fixed.refreshWhileShown(&viewer);
    QCoreApplication::sendEvent(&viewer, &show);
    granted = true;
    scheduler.advance(3.0);
    EXPECT_FALSE(fixed.canPostEvents());
}
