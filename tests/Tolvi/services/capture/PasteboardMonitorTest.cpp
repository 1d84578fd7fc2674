#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/OCRClientRecognizer.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"

#include "CaptureTestSupport.h"

#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <link.h>

#include <cstring>

using namespace tolvi;
using namespace tolvi::test;
namespace T = tolvi::PasteboardTypes;

namespace {

const QString recorded = QStringLiteral("Tolvi recorded clipboard item");
const QString transition = QStringLiteral("Tolvi skipped clipboard change after source app transition");
const QString excluded = QStringLiteral("Tolvi skipped excluded source app");
const QString eligibility = QStringLiteral("Tolvi skipped clipboard change after capture eligibility changed");
const QString duringRead = QStringLiteral("Tolvi skipped clipboard change during representation read");
const QString unsupported = QStringLiteral("Tolvi skipped unsupported pasteboard types: ");

class PasteboardMonitorFixture : public ::testing::Test {
protected:
    void SetUp() override { makeMonitor(); }

    void makeMonitor()
    {
        monitor.reset();
        monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
            board, *store, *exclusions, preferences, scheduler,
            [this]() -> std::optional<ClipboardSourceApp> {
                ++sourceLookups;
                if (onLookup)
                    onLookup();
                return front;
            },
            [this](const QByteArray& bytes, std::function<void(ImageRecognitionOutcome)> done) {
                recognized.append(bytes);
                pendingDone = std::move(done);
            },
            [this](const QString& line) { logs.append(line); }});
    }

    void finishRecognition(ImageRecognitionOutcome outcome)
    {
        ASSERT_TRUE(pendingDone);
        pendingDone(outcome);
        pendingDone = nullptr;
        QCoreApplication::processEvents();
    }

    PasteboardItem imageItem(const QByteArray& png)
    {
        PasteboardItem item;
        item.setData(T::png, png);
        return item;
    }

    InMemoryPasteboard board;
    std::unique_ptr<ClipboardStore> store = makeStore();
    InMemoryKeyValueSettings settings;
    std::unique_ptr<AppExclusionStore> exclusions = std::make_unique<AppExclusionStore>(settings);
    SwitchablePreferences preferences;
    ManualScheduler scheduler;
    std::optional<ClipboardSourceApp> front = ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("editor"));
    int sourceLookups = 0;
    std::function<void()> onLookup;
    QStringList logs;
    QList<QByteArray> recognized;
    std::function<void(ImageRecognitionOutcome)> pendingDone;
    std::unique_ptr<PasteboardMonitor> monitor;
};

} // namespace

TEST_F(PasteboardMonitorFixture, RecordsACopyWithItsSourceOnceAndConsumesTheChange)
{
    board.setString(QStringLiteral("hello"));
    monitor->poll();
    ASSERT_EQ(store->itemCount(), 1);
    const ClipboardItem item = store->itemAt(0);
    EXPECT_EQ(item.content().textValue(), QStringLiteral("hello"));
    ASSERT_TRUE(item.sourceApp().has_value());
    EXPECT_EQ(item.sourceApp()->name(), QStringLiteral("Editor"));
    EXPECT_EQ(item.sourceApp()->bundleIdentifier(), QStringLiteral("editor"));
    EXPECT_EQ(logs, QStringList{recorded});

    // An unchanged count is no change at all: nothing read, nothing logged.
    const int reads = board.dataReadCount();
    monitor->poll();
    EXPECT_EQ(logs.size(), 1);
    EXPECT_EQ(board.dataReadCount(), reads);
}

TEST_F(PasteboardMonitorFixture, StartTreatsExistingContentsAsSeenUnlessAsked)
{
    board.setString(QStringLiteral("before start"));
    monitor->start(false);
    EXPECT_EQ(store->itemCount(), 0);
    monitor->stop();

    makeMonitor();
    monitor->start(true);
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("before start"));
}

TEST_F(PasteboardMonitorFixture, TimerPollsAndStopStartLeavesExactlyOneTimer)
{
    monitor->start();
    monitor->start();
    EXPECT_EQ(scheduler.activeRepeatingCount(), 1);
    monitor->stop();
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
    monitor->stop();
    monitor->start();
    monitor->stop();
    monitor->start();
    EXPECT_EQ(scheduler.activeRepeatingCount(), 1);

    const int lookups = sourceLookups;
    scheduler.advance(0.45);
    EXPECT_EQ(sourceLookups, lookups + 1);
    board.setString(QStringLiteral("by the timer"));
    scheduler.advance(0.45);
    EXPECT_EQ(store->itemCount(), 1);

    monitor->stop();
    board.setString(QStringLiteral("while stopped"));
    scheduler.advance(2.0);
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(PasteboardMonitorFixture, SourceTransitionDropsTheChangeForGood)
{
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    board.setString(QStringLiteral("copied while switching"));
    monitor->poll();
    EXPECT_EQ(logs, QStringList{transition});
    monitor->poll();
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_EQ(logs.size(), 1);

    board.setString(QStringLiteral("next copy"));
    monitor->poll();
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(PasteboardMonitorFixture, MarkerTypesAreDroppedSilentlyBeforeAnythingIsRead)
{
    for (const QString& marker : {T::passwordManagerHint, QStringLiteral("org.nspasteboard.ConcealedType"),
                                  QStringLiteral("Pasteboard generator type")}) {
        PasteboardItem item;
        item.setString(T::plainText, QStringLiteral("secret"));
        item.setData(marker, "secret");
        board.setItems({item});
        const int reads = board.dataReadCount();
        monitor->poll();
        EXPECT_EQ(board.dataReadCount(), reads) << marker.toStdString();
    }
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_TRUE(logs.isEmpty());
}

TEST_F(PasteboardMonitorFixture, ExcludedAndUnreadableExclusionsCaptureNothing)
{
    exclusions->add(QStringLiteral("editor"), QStringLiteral("Editor"));
    board.setString(QStringLiteral("from an excluded app"));
    monitor->poll();
    EXPECT_EQ(logs, QStringList{excluded});
    EXPECT_EQ(store->itemCount(), 0);

    // Unreadable exclusions block every app, excluded or not.
    settings.setValue(AppExclusionStore::settingsKey, QStringLiteral("garbage"));
    exclusions = std::make_unique<AppExclusionStore>(settings);
    front = std::nullopt;
    makeMonitor();
    board.setString(QStringLiteral("from nowhere"));
    monitor->poll();
    EXPECT_EQ(logs.last(), excluded);
    EXPECT_EQ(store->itemCount(), 0);
}

TEST_F(PasteboardMonitorFixture, UnsupportedTypesAreLoggedSafely)
{
    PasteboardItem odd;
    odd.setData(QStringLiteral("application/x-thing\n\x1b[2Jinjected"), "bytes");
    odd.setData(QString(3000, QLatin1Char('t')), "bytes");
    board.setItems({odd});
    monitor->poll();
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(logs.at(0).startsWith(unsupported));
    EXPECT_FALSE(logs.at(0).contains(QLatin1Char('\n')));
    EXPECT_FALSE(logs.at(0).contains(QChar(0x1b)));
    EXPECT_TRUE(logs.at(0).contains(QStringLiteral("application/x-thing__[2Jinjected")));
    EXPECT_LT(logs.at(0).size(), 300);

    // No type list at all.
    board.setTypesReadable(false);
    board.setItems({});
    monitor->poll();
    EXPECT_EQ(logs.last(), unsupported + QStringLiteral("none"));

    // An empty clipboard (owner exited): nothing after the colon and blank.
    board.setTypesReadable(true);
    board.clear();
    monitor->poll();
    EXPECT_EQ(logs.last(), unsupported);
    EXPECT_EQ(store->itemCount(), 0);
}

TEST_F(PasteboardMonitorFixture, SwitchesChooseWhatIsCaptured)
{
    const QByteArray png = encodedImage(4, 3);
    PasteboardItem both;
    both.setString(T::plainText, QStringLiteral("caption"));
    both.setData(T::png, png);

    board.setItems({both});
    monitor->poll();
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_TRUE(store->itemAt(0).content().isText());

    preferences.text = false;
    board.setItems({both});
    monitor->poll();
    ASSERT_EQ(store->itemCount(), 2);
    ASSERT_TRUE(store->itemAt(0).content().isImage());
    const ClipboardImage& image = store->itemAt(0).content().imageValue();
    EXPECT_EQ(image.data(), png);
    EXPECT_EQ(image.typeIdentifier(), T::png);
    EXPECT_EQ(image.pixelWidth(), 4);
    EXPECT_EQ(image.pixelHeight(), 3);

    preferences.images = false;
    board.setItems({both});
    monitor->poll();
    EXPECT_EQ(store->itemCount(), 2);
    EXPECT_EQ(logs.last(), unsupported + QStringLiteral("public.utf8-plain-text, public.png"));
}

TEST_F(PasteboardMonitorFixture, TheFirstImageTakenLoadsNoImagePluginOnTheTakingThread)
{
    const auto imagePlugins = [] {
        int count = 0;
        dl_iterate_phdr([](dl_phdr_info* info, size_t, void* found) {
            *static_cast<int*>(found) += std::strstr(info->dlpi_name, "/imageformats/") != nullptr;
            return 0;
        }, &count);
        return count;
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a process where no image was read or made yet
    const auto copyTextThenImage = [&] {
        const int before = imagePlugins();
        board.setAnnouncesChanges(true);
        monitor->start();
        board.setString(QStringLiteral("a text first"));
        waitingWorkPool().waitForDone();
        const int loaded = imagePlugins();
        // Only the header is read; a PNG made with Qt would load the plugins here.
        board.setItems({imageItem(
            QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x01\x08\x02\0\0\0crc!\0\0\0\x01IDATxcrc!", 46))});
        const bool taken = store->itemAt(0).content().isImage();
        std::_Exit(before == 0 && loaded > 0 && imagePlugins() == loaded && taken ? 0 : 1);
    };
    EXPECT_EXIT(copyTextThenImage(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PasteboardMonitorFixture, FileReferencesAreNeverCapturedAsImages)
{
    preferences.text = false;
    PasteboardItem file;
    file.setData(T::fileURL, "file:///tmp/picture.png");
    file.setData(T::png, encodedImage(2, 2));
    board.setItems({file});
    monitor->poll();
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_EQ(logs.last(), unsupported + QStringLiteral("public.file-url, public.png"));
}

TEST_F(PasteboardMonitorFixture, ImageRefusedByTheRasterPolicyUnderTheFirstTypeIsNotRecorded)
{
    PasteboardItem item;
    item.setData(T::png, "not a png");
    item.setData(T::jpeg, encodedImage(2, 2, "JPEG"));
    board.setItems({item});
    monitor->poll();
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_TRUE(logs.last().startsWith(unsupported));
}

TEST_F(PasteboardMonitorFixture, ChecksAfterTheReadCatchChangedConditions)
{
    // The front app changes while the content is read.
    board.setString(QStringLiteral("one"));
    int lookups = 0;
    onLookup = [&] {
        if (++lookups == 2)
            front = ClipboardSourceApp(QStringLiteral("Other"), QStringLiteral("other"));
    };
    monitor->poll();
    EXPECT_EQ(logs.last(), eligibility);
    onLookup = nullptr;

    // The text switch goes off during the read.
    front = ClipboardSourceApp(QStringLiteral("Other"), QStringLiteral("other"));
    monitor->poll();
    board.setOnDataRead([&](const QString&) { preferences.text = false; });
    board.setString(QStringLiteral("two"));
    monitor->poll();
    EXPECT_EQ(logs.last(), eligibility);
    preferences.text = true;

    // The app gets excluded during the read.
    board.setOnDataRead([&](const QString&) { exclusions->add(QStringLiteral("other"), QStringLiteral("Other")); });
    board.setString(QStringLiteral("three"));
    monitor->poll();
    EXPECT_EQ(logs.last(), eligibility);
    EXPECT_EQ(store->itemCount(), 0);
}

TEST_F(PasteboardMonitorFixture, ChangeDuringTheReadIsNotRecorded)
{
    bool changed = false;
    board.setOnDataRead([&](const QString&) {
        if (!changed) {
            changed = true;
            board.setString(QStringLiteral("newer copy"));
        }
    });
    board.setString(QStringLiteral("older copy"));
    monitor->poll();
    EXPECT_EQ(logs, QStringList{duringRead});
    EXPECT_EQ(store->itemCount(), 0);
    // The newer copy is a change of its own.
    board.setOnDataRead(nullptr);
    monitor->poll();
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("newer copy"));

    // A marker that appears during the read.
    board.setOnDataRead([&](const QString& type) {
        if (type == T::plainText) {
            QList<PasteboardItem> items = board.items();
            items[0].setData(T::passwordManagerHint, "secret");
            board.setItems(items);
        }
    });
    board.setString(QStringLiteral("turns secret"));
    monitor->poll();
    EXPECT_EQ(logs.last(), duringRead);
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(PasteboardMonitorFixture, ImagesAreRecognisedOnceAndOutcomesReachTheStore)
{
    const QByteArray png = encodedImage(5, 5);
    board.setItems({imageItem(png)});
    monitor->poll();
    ASSERT_EQ(recognized.size(), 1);
    EXPECT_EQ(recognized.at(0), png);
    const QString fingerprint = store->itemAt(0).content().imageValue().fingerprint();
    EXPECT_TRUE(store->ocrInProgress().contains(fingerprint));

    finishRecognition(ImageRecognitionOutcome::recognized(QStringLiteral("INVOICE 42")));
    EXPECT_EQ(store->itemAt(0).content().imageValue().recognizedText(), QStringLiteral("INVOICE 42"));
    EXPECT_FALSE(store->ocrInProgress().contains(fingerprint));
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));

    // The same image again keeps its text and is not recognised again.
    board.setItems({imageItem(png)});
    monitor->poll();
    EXPECT_EQ(recognized.size(), 1);
    EXPECT_EQ(store->itemCount(), 1);

    // A retry runs even for an image with text.
    monitor->retryOCR(store->itemAt(0));
    ASSERT_EQ(recognized.size(), 2);
    finishRecognition(ImageRecognitionOutcome::of(ImageRecognitionOutcome::Kind::timedOut));
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), ClipboardStore::OCRStatus::timedOut);
}

TEST_F(PasteboardMonitorFixture, EveryOutcomeMapsToItsStatus)
{
    using Kind = ImageRecognitionOutcome::Kind;
    using Status = ClipboardStore::OCRStatus;
    const QList<std::pair<Kind, Status>> cases{{Kind::noText, Status::noText},
                                               {Kind::failed, Status::failed},
                                               {Kind::unsupportedImage, Status::unsupportedImage},
                                               {Kind::timedOut, Status::timedOut},
                                               {Kind::busy, Status::busy},
                                               {Kind::cancelled, Status::cancelled}};
    int shade = 0;
    for (const auto& [kind, status] : cases) {
        board.setItems({imageItem(encodedImage(3, 3, "PNG", qRgb(10 * ++shade, 0, 0)))});
        monitor->poll();
        const QString fingerprint = store->itemAt(0).content().imageValue().fingerprint();
        finishRecognition(ImageRecognitionOutcome::of(kind));
        EXPECT_EQ(store->ocrStatuses().value(fingerprint), status);
        EXPECT_FALSE(store->itemAt(0).content().imageValue().recognizedText().has_value());
    }
}

TEST_F(PasteboardMonitorFixture, RetryRules)
{
    board.setString(QStringLiteral("text clip"));
    monitor->poll();
    monitor->retryOCR(store->itemAt(0));
    EXPECT_TRUE(recognized.isEmpty());

    board.setItems({imageItem(encodedImage(6, 6))});
    monitor->poll();
    ASSERT_EQ(recognized.size(), 1);
    // While running, a retry gets no token.
    monitor->retryOCR(store->itemAt(0));
    EXPECT_EQ(recognized.size(), 1);
    finishRecognition(ImageRecognitionOutcome::of(ImageRecognitionOutcome::Kind::unsupportedImage));
    // Never retried once the recogniser could not read it.
    monitor->retryOCR(store->itemAt(0));
    EXPECT_EQ(recognized.size(), 1);

    // A clip that is gone is not retried.
    const ClipboardItem gone(QUuid::createUuid(), ClipboardContent::image(ClipboardImage(encodedImage(7, 7), T::png)), 0.0);
    monitor->retryOCR(gone);
    EXPECT_EQ(recognized.size(), 1);
}

TEST_F(PasteboardMonitorFixture, LateOutcomeAfterTheMonitorIsGoneIsHarmless)
{
    board.setItems({imageItem(encodedImage(4, 4))});
    monitor->poll();
    auto done = pendingDone;
    monitor.reset();
    done(ImageRecognitionOutcome::recognized(QStringLiteral("late")));
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->itemAt(0).content().imageValue().recognizedText().has_value());
}

TEST(FrontmostSourceApplication, RecognisesOurselvesByProcessNotByMissingIdentifier)
{
    FakeWorkspace workspace;
    EXPECT_FALSE(PasteboardMonitor::frontmostSourceApplication(workspace).has_value());

    // Another program without any identifier still is a source.
    workspace.setFrontmost(RunningApplication{4242424, std::nullopt, QString()});
    std::optional<ClipboardSourceApp> source = PasteboardMonitor::frontmostSourceApplication(workspace);
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->name(), QStringLiteral("Unknown App"));
    EXPECT_FALSE(source->bundleIdentifier().has_value());

    // Our own window, with or without an identifier, is not.
    workspace.setFrontmost(RunningApplication{QCoreApplication::applicationPid(), std::nullopt, QString()});
    EXPECT_FALSE(PasteboardMonitor::frontmostSourceApplication(workspace).has_value());
    workspace.setFrontmost(RunningApplication{QCoreApplication::applicationPid(), QStringLiteral("Tolvi"), QStringLiteral("Tolvi")});
    EXPECT_FALSE(PasteboardMonitor::frontmostSourceApplication(workspace).has_value());

    workspace.setFrontmost(RunningApplication{std::nullopt, QStringLiteral("Gimp-2.10"), QStringLiteral("GNU Image Manipulation Program")});
    source = PasteboardMonitor::frontmostSourceApplication(workspace);
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->name(), QStringLiteral("GNU Image Manipulation Program"));
    EXPECT_EQ(source->bundleIdentifier(), QStringLiteral("Gimp-2.10"));

    workspace.setFrontmost(RunningApplication{7, QStringLiteral("xterm"), QString()});
    EXPECT_EQ(PasteboardMonitor::frontmostSourceApplication(workspace)->name(), QStringLiteral("xterm"));
}

TEST(OCRClientRecognizer, MapsEveryOutcomeAndRefusesNonImagesWithoutTheWorker)
{
    using From = ImageOCRService::Outcome::Kind;
    using To = ImageRecognitionOutcome::Kind;
    const QList<std::pair<From, To>> kinds{{From::noText, To::noText},       {From::failed, To::failed},
                                           {From::unsupportedImage, To::unsupportedImage},
                                           {From::timedOut, To::timedOut},   {From::busy, To::busy},
                                           {From::cancelled, To::cancelled}};
    for (const auto& [from, to] : kinds)
        EXPECT_EQ(recognitionOutcome(ImageOCRService::Outcome::of(from)).kind, to);
    const ImageRecognitionOutcome text = recognitionOutcome(ImageOCRService::Outcome::recognized("Total 12"));
    EXPECT_EQ(text.kind, To::recognized);
    EXPECT_EQ(text.storeText(), QStringLiteral("Total 12"));
    EXPECT_FALSE(text.storeStatus().has_value());

    std::optional<ImageRecognitionOutcome> answer;
    ocrClientRecognizer()("not an image", [&](ImageRecognitionOutcome outcome) { answer = outcome; });
    for (int i = 0; i < 100 && !answer; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->kind, To::unsupportedImage);
}

TEST_F(PasteboardMonitorFixture, AnnouncedCopiesAreTakenAtOnceAndOnlyWhileRunning)
{
    board.setAnnouncesChanges(true);
    board.setString(QStringLiteral("before the start"));
    EXPECT_EQ(store->itemCount(), 0);

    monitor->start(false);
    for (int i = 0; i < 3; ++i)
        board.setString(QStringLiteral("copy %1").arg(i));
    // No tick of the timer was needed.
    ASSERT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("copy 2"));
    EXPECT_EQ(store->itemAt(2).content().textValue(), QStringLiteral("copy 0"));
    EXPECT_EQ(logs, QStringList(3, recorded));

    monitor->stop();
    board.setString(QStringLiteral("while stopped"));
    EXPECT_EQ(store->itemCount(), 3);
}

TEST_F(PasteboardMonitorFixture, CopyKeepsTheProgramItWasNoticedInWhenTheUserSwitchesBeforeItIsRead)
{
    const ClipboardSourceApp browser(QStringLiteral("Browser"), QStringLiteral("browser"));
    monitor->start(false);
    // Copied in the editor; the user switches to the browser before the contents arrive.
    emit board.changeNoticed();
    front = browser;
    monitor->frontApplicationChanged();
    board.setString(QStringLiteral("from the editor"));
    emit board.changed();
    ASSERT_EQ(store->itemCount(), 1);
    ASSERT_TRUE(store->itemAt(0).sourceApp().has_value());
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("editor"));
    EXPECT_EQ(logs, QStringList{recorded});

    // The next copy, made in the browser, is the browser's.
    emit board.changeNoticed();
    board.setString(QStringLiteral("from the browser"));
    emit board.changed();
    ASSERT_EQ(store->itemCount(), 2);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("browser"));
}

TEST_F(PasteboardMonitorFixture, SwitchingAwayDoesNotLetACopyOfAnExcludedProgramThrough)
{
    exclusions->add(QStringLiteral("editor"), QStringLiteral("Editor"));
    monitor->start(false);
    emit board.changeNoticed();
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    monitor->frontApplicationChanged();
    board.setString(QStringLiteral("secret from the editor"));
    emit board.changed();
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_EQ(logs, QStringList{excluded});
}

TEST_F(PasteboardMonitorFixture, CopyRightAfterSwitchingInCountsWhenTheSwitchWasReported)
{
    board.setAnnouncesChanges(true);
    monitor->start(false);
    // A look while the browser was in front, then the user comes back to the editor and copies
    // before the next tick.
    const std::optional<ClipboardSourceApp> editor = front;
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    monitor->poll();
    front = editor;
    monitor->frontApplicationChanged();
    board.setString(QStringLiteral("right after switching in"));
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("editor"));

    // Unreported, the same switch still drops the copy: when it was made is unknown.
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    monitor->poll();
    front = editor;
    board.setString(QStringLiteral("unreported switch"));
    EXPECT_EQ(store->itemCount(), 1);
    EXPECT_EQ(logs, QStringList({recorded, transition}));
}

TEST_F(PasteboardMonitorFixture, APasteOfOursIsPassedOverAndACopyOfOursIsRecordedWithNoSource)
{
    board.setAnnouncesChanges(true);
    monitor->start(false);
    board.setString(QStringLiteral("alpha-old"));
    board.setString(QStringLiteral("beta-new"));
    ASSERT_EQ(store->itemCount(), 2);
    const ClipboardItem alpha = store->itemAt(1);
    ASSERT_EQ(alpha.content().textValue(), QStringLiteral("alpha-old"));
    const auto textItem = [](const QString& text) {
        PasteboardItem item;
        item.setString(T::plainText, text);
        return item;
    };

    // A paste of the older clip into another program: our write, then that program in front.
    ASSERT_TRUE(board.write({textItem(QStringLiteral("alpha-old"))}, Pasteboard::WriteKind::paste));
    EXPECT_TRUE(board.holdsOwnWrite());
    EXPECT_FALSE(board.holdsOwnCopy());
    front = ClipboardSourceApp(QStringLiteral("Mousepad"), QStringLiteral("mousepad"));
    monitor->frontApplicationChanged();
    monitor->poll();
    scheduler.advance(1.0);
    QCoreApplication::processEvents();
    ASSERT_EQ(store->itemCount(), 2);
    const ClipboardItem after = store->itemAt(1);
    EXPECT_EQ(after.id(), alpha.id());
    EXPECT_EQ(after.createdAt(), alpha.createdAt());
    ASSERT_TRUE(after.sourceApp().has_value());
    EXPECT_EQ(after.sourceApp()->bundleIdentifier(), QStringLiteral("editor"));
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("beta-new"));
    EXPECT_EQ(logs, QStringList(2, recorded));

    // A copy of ours (a transformed text, say), just as another program came in front unreported:
    // made here, it is taken at once, once, with no source.
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    ASSERT_TRUE(board.write({textItem(QStringLiteral("a transformed text"))}, Pasteboard::WriteKind::copy));
    EXPECT_TRUE(board.holdsOwnCopy());
    QCoreApplication::processEvents();
    ASSERT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("a transformed text"));
    EXPECT_FALSE(store->itemAt(0).sourceApp().has_value());
    scheduler.advance(1.0);
    EXPECT_EQ(logs, QStringList(3, recorded));

    // Copy of a clip already there folds into it like any equal copy: the one clip goes to the
    // top, keeping the source it had.
    ASSERT_TRUE(board.write({textItem(QStringLiteral("alpha-old"))}, Pasteboard::WriteKind::copy));
    QCoreApplication::processEvents();
    ASSERT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("alpha-old"));
    ASSERT_TRUE(store->itemAt(0).sourceApp().has_value());
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("editor"));
    EXPECT_EQ(store->itemAt(1).content().textValue(), QStringLiteral("a transformed text"));

    // The next copy made in another program is recorded as usual, even one equal to our write.
    monitor->frontApplicationChanged();
    board.setString(QStringLiteral("alpha-old"));
    EXPECT_FALSE(board.holdsOwnWrite());
    EXPECT_FALSE(board.holdsOwnCopy());
    ASSERT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("browser"));

    // Our write followed by another program's copy before the next look: that copy is taken.
    ASSERT_TRUE(board.write({textItem(QStringLiteral("beta-new"))}, Pasteboard::WriteKind::paste));
    board.setAnnouncesChanges(false);
    board.setString(QStringLiteral("copied right after our write"));
    scheduler.advance(0.45);
    ASSERT_EQ(store->itemCount(), 4);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("copied right after our write"));
}

// The pasteboard reports only the newest of copies made faster than they could be read (while
// the main thread was busy merging an import, say): each one it never read is logged.
TEST_F(PasteboardMonitorFixture, EveryCopyReplacedBeforeItWasReadIsLogged)
{
    const QString replaced = QStringLiteral("Tolvi skipped clipboard change replaced before it was read");
    monitor->start(false);
    emit board.changeNoticed();
    emit board.changeNoticed();
    emit board.changeNoticed();
    board.setString(QStringLiteral("the third copy"));
    emit board.changed();
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(logs, QStringList({replaced, replaced, recorded}));

    // A copy read in its turn is no skip.
    logs.clear();
    emit board.changeNoticed();
    board.setString(QStringLiteral("the fourth copy"));
    emit board.changed();
    EXPECT_EQ(logs, QStringList{recorded});
}

TEST_F(PasteboardMonitorFixture, WithSwitchesReportedATickThatFindsNoCopyAsksTheDesktopNothing)
{
    monitor.reset();
    monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
        board, *store, *exclusions, preferences, scheduler,
        [this]() -> std::optional<ClipboardSourceApp> {
            ++sourceLookups;
            return front;
        },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
        [this](const QString& line) { logs.append(line); }, true});
    monitor->start(false);
    const int lookupsAtStart = sourceLookups;
    scheduler.advance(PasteboardMonitor::pollInterval * 20);
    EXPECT_EQ(sourceLookups, lookupsAtStart);

    // A copy the ticks find is still credited and checked against the program in front.
    board.setString(QStringLiteral("found by a tick"));
    scheduler.advance(PasteboardMonitor::pollInterval);
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("editor"));
    EXPECT_GT(sourceLookups, lookupsAtStart);

    // A reported switch is what later copies compare with; an unreported one still drops them.
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    monitor->frontApplicationChanged();
    scheduler.advance(PasteboardMonitor::pollInterval * 3);
    board.setString(QStringLiteral("copied in the browser"));
    scheduler.advance(PasteboardMonitor::pollInterval);
    ASSERT_EQ(store->itemCount(), 2);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("browser"));
    front = ClipboardSourceApp(QStringLiteral("Terminal"), QStringLiteral("terminal"));
    board.setString(QStringLiteral("after an unreported switch"));
    scheduler.advance(PasteboardMonitor::pollInterval);
    EXPECT_EQ(store->itemCount(), 2);
    EXPECT_EQ(logs, QStringList({recorded, recorded, transition}));
}

// Where the pasteboard announces every change and every switch of the program in front is
// reported, nothing can change unseen: no timer runs, and the announcements alone drive the
// same rules as the ticks did.
TEST_F(PasteboardMonitorFixture, WithEveryChangeAnnouncedAndSwitchesReportedNoTimerRuns)
{
    board.setAnnouncesEveryChange(true);
    monitor.reset();
    monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
        board, *store, *exclusions, preferences, scheduler,
        [this]() -> std::optional<ClipboardSourceApp> {
            ++sourceLookups;
            return front;
        },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
        [this](const QString& line) { logs.append(line); }, true});
    EXPECT_TRUE(monitor->pollsOnlyOnAnnouncements());
    monitor->start(false);
    monitor->start(false);
    EXPECT_TRUE(monitor->isRunning());
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
    const int lookupsAtStart = sourceLookups;
    scheduler.advance(60.0);
    EXPECT_EQ(sourceLookups, lookupsAtStart);

    // An announced copy is recorded with the program in front.
    board.setString(QStringLiteral("announced"));
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("editor"));

    // A copy noticed in the editor and read after the user switched away stays the editor's.
    const ClipboardSourceApp browser(QStringLiteral("Browser"), QStringLiteral("browser"));
    board.setAnnouncesChanges(false);
    emit board.changeNoticed();
    front = browser;
    monitor->frontApplicationChanged();
    board.setString(QStringLiteral("noticed in the editor"));
    emit board.changed();
    board.setAnnouncesEveryChange(true);
    ASSERT_EQ(store->itemCount(), 2);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("editor"));

    // A reported switch is what the next copy compares with; a switch not reported yet when the
    // copy is noticed drops it, as before.
    board.setString(QStringLiteral("copied in the browser"));
    ASSERT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("browser"));
    front = ClipboardSourceApp(QStringLiteral("Terminal"), QStringLiteral("terminal"));
    board.setString(QStringLiteral("copied as the switch happened"));
    EXPECT_EQ(store->itemCount(), 3);
    monitor->frontApplicationChanged();

    // A paste's write of ours is never announced and never recorded; the next copy is seen past
    // it. A copy of ours is taken as it is written, with no timer.
    PasteboardItem ours;
    ours.setString(T::plainText, QStringLiteral("our write"));
    ASSERT_TRUE(board.write({ours}, Pasteboard::WriteKind::paste));
    scheduler.advance(5.0);
    QCoreApplication::processEvents();
    EXPECT_EQ(store->itemCount(), 3);
    board.setString(QStringLiteral("after our write"));
    ASSERT_EQ(store->itemCount(), 4);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("after our write"));
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("terminal"));
    ours.setString(T::plainText, QStringLiteral("our copy"));
    ASSERT_TRUE(board.write({ours}, Pasteboard::WriteKind::copy));
    QCoreApplication::processEvents();
    ASSERT_EQ(store->itemCount(), 5);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("our copy"));
    EXPECT_EQ(logs, QStringList({recorded, recorded, recorded, transition, recorded, recorded}));

    monitor->stop();
    EXPECT_FALSE(monitor->isRunning());
    board.setString(QStringLiteral("while stopped"));
    ASSERT_TRUE(board.write({ours}, Pasteboard::WriteKind::copy));
    QCoreApplication::processEvents();
    EXPECT_EQ(store->itemCount(), 5);
    monitor->start(false);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
    EXPECT_EQ(store->itemCount(), 5);
}

// The timer stays wherever something could change unseen: a pasteboard that does not announce
// every change, or switches of the program in front that are not reported.
TEST_F(PasteboardMonitorFixture, TheTimerStaysWhereAChangeCouldGoUnannounced)
{
    const auto makeMonitorWith = [this](bool switchesReported) {
        monitor.reset();
        monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
            board, *store, *exclusions, preferences, scheduler,
            [this]() -> std::optional<ClipboardSourceApp> { return front; },
            [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
            [this](const QString& line) { logs.append(line); }, switchesReported});
    };

    // Switches reported, but copies are not all announced: a tick finds the copy.
    makeMonitorWith(true);
    EXPECT_FALSE(monitor->pollsOnlyOnAnnouncements());
    monitor->start(false);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 1);
    board.setString(QStringLiteral("seen by a tick"));
    EXPECT_EQ(store->itemCount(), 0);
    scheduler.advance(PasteboardMonitor::pollInterval);
    ASSERT_EQ(store->itemCount(), 1);
    monitor->stop();
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);

    // Every copy announced, switches not reported: the ticks keep the program in front known,
    // so a copy made after an unseen switch is still told apart.
    board.setAnnouncesEveryChange(true);
    makeMonitorWith(false);
    EXPECT_FALSE(monitor->pollsOnlyOnAnnouncements());
    monitor->start(false);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 1);
    front = ClipboardSourceApp(QStringLiteral("Browser"), QStringLiteral("browser"));
    scheduler.advance(PasteboardMonitor::pollInterval);
    board.setString(QStringLiteral("copied in the browser"));
    ASSERT_EQ(store->itemCount(), 2);
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("browser"));
}
