#include "Tolvi/design/ArchiveProgress.h"
#include "Tolvi/app/HistoryArchiveFlows.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "TolviCore/archive/ClipboardHistoryArchive.h"
#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/store/ClipboardStore.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tolvi;

namespace {

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<ClipboardStore> store = makeStore("history.json");
    FakeFilePanels panels;
    FakeAlerts alerts;
    FakeDesktopWorkspace workspace;

    std::unique_ptr<ClipboardStore> makeStore(const QString& name)
    {
        return std::make_unique<ClipboardStore>(
            std::make_shared<FileClipboardHistoryPersistence>(dir.filePath(name)), ClipboardStore::Configuration::standard());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

double now()
{
    return QDateTime::currentMSecsSinceEpoch() / 1000.0 - 978307200.0;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(HistoryArchiveFlows, ExportWritesAPrivateArchiveThatImportsIntoAnotherHistory)
{
    Fixture f;
    ASSERT_TRUE(f.store->record(QStringLiteral("first"), now()));
    ASSERT_TRUE(f.store->record(QStringLiteral("second"), now() + 1));
    f.panels.saveAnswers << f.path("Tolvi-History.json");
    HistoryExporter::exportHistory(*f.store, f.panels, f.alerts, f.workspace);

    ASSERT_EQ(f.panels.saveRequests.size(), 1);
    EXPECT_EQ(f.panels.saveRequests[0].proposedFileName, "Tolvi-History.json");
    EXPECT_TRUE(f.alerts.requests.isEmpty());
    EXPECT_EQ(f.workspace.revealedFiles, QStringList{f.path("Tolvi-History.json")});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(f.path("Tolvi-History.json")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Into another history that already holds one of the clips.
    auto other = f.makeStore("other.json");
    ASSERT_TRUE(other->record(QStringLiteral("second"), now()));
    f.panels.openAnswers << f.path("Tolvi-History.json");
    f.alerts.answers << 0 << 0;  // "Merge History", then OK
    HistoryImporter::importHistory(*other, f.panels, f.alerts);
    ASSERT_EQ(f.alerts.requests.size(), 2);
    EXPECT_EQ(f.alerts.requests[0].message, "Merge this archive into history?");
    EXPECT_EQ(f.alerts.requests[0].informativeText,
              "New clips: 1\nMatching clips: 1\nNew boards: 0\n\nExisting clips stay in history. "
              "Matching clips keep their pins and board memberships.");
    EXPECT_EQ(f.alerts.requests[0].buttons, (QStringList{"Merge History", "Cancel"}));
    EXPECT_EQ(f.alerts.requests[1].message, "History imported");
    EXPECT_EQ(other->itemCount(), 2);
}

TEST(HistoryArchiveFlows, DecliningOrCancellingChangesNothing)
{
    Fixture f;
    ASSERT_TRUE(f.store->record(QStringLiteral("kept"), now()));
    f.panels.saveAnswers << f.path("a.json");
    HistoryExporter::exportHistory(*f.store, f.panels, f.alerts, f.workspace);
    auto other = f.makeStore("other.json");

    HistoryImporter::importHistory(*other, f.panels, f.alerts);  // open panel cancelled
    EXPECT_TRUE(f.alerts.requests.isEmpty());

    f.panels.openAnswers << f.path("a.json");
    f.alerts.answers << 1;  // Cancel
    HistoryImporter::importHistory(*other, f.panels, f.alerts);
    EXPECT_EQ(f.alerts.requests.size(), 1);
    EXPECT_EQ(other->itemCount(), 0);
}

TEST(HistoryArchiveFlows, FailuresShowTheirAlerts)
{
    Fixture f;
    ASSERT_TRUE(f.store->record(QStringLiteral("clip"), now()));

    // Export into a folder that does not exist.
    f.panels.saveAnswers << f.path("missing/folder/a.json");
    HistoryExporter::exportHistory(*f.store, f.panels, f.alerts, f.workspace);
    ASSERT_EQ(f.alerts.requests.size(), 1);
    EXPECT_EQ(f.alerts.requests[0].message, "History could not be exported");
    EXPECT_TRUE(f.alerts.requests[0].informativeText.startsWith("Choose another save location and try again. "));
    EXPECT_GT(f.alerts.requests[0].informativeText.size(), 45);
    EXPECT_TRUE(f.workspace.revealedFiles.isEmpty());

    // Not an archive.
    writeFile(f.path("junk.json"), "{\"hello\": 1}");
    f.panels.openAnswers << f.path("junk.json");
    HistoryImporter::importHistory(*f.store, f.panels, f.alerts);
    ASSERT_EQ(f.alerts.requests.size(), 2);
    EXPECT_EQ(f.alerts.requests[1].message, "History could not be imported");
    EXPECT_EQ(f.alerts.requests[1].informativeText, "This file is not a valid Tolvi history archive.");
    EXPECT_EQ(f.store->itemCount(), 1);
}

TEST(HistoryArchiveFlows, SizeGuardAtTheLimitAndFromAPipe)
{
    Fixture f;
    const QString tooLarge = ClipboardHistoryImportError::message(ClipboardHistoryImportError::Case::tooLarge);

    // Exactly 100,000,000 bytes passes the size guard (and fails later as not an archive);
    // one byte more is refused as too large.
    for (const qint64 size : {qint64(100'000'000), qint64(100'000'001)}) {
        const QString path = f.path(QStringLiteral("big-%1.json").arg(size));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));  // sparse: no disk space needed
        file.close();
        f.panels.openAnswers << path;
        HistoryImporter::importHistory(*f.store, f.panels, f.alerts);
        ASSERT_FALSE(f.alerts.requests.isEmpty());
        EXPECT_EQ(f.alerts.requests.last().informativeText == tooLarge, size > 100'000'000) << size;
    }

    // A pipe has no size to check: the read itself stops past the limit. (A reader that never
    // reads lets the writer open at once; closing it afterwards fails the writer's last write,
    // which must not end the test.)
    ::signal(SIGPIPE, SIG_IGN);
    const QString fifo = f.path("archive.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int placeholder = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(placeholder, 0);
    std::atomic<bool> writing = false;
    QThread* writer = QThread::create([fifo, &writing] {
        QFile out(fifo);
        if (!out.open(QIODevice::WriteOnly))
            return;
        writing = true;
        const QByteArray chunk(1 << 20, ' ');
        for (int i = 0; i < 120 && out.write(chunk) == chunk.size(); ++i) {
        }
    });
    writer->start();
    while (!writing)
        QThread::msleep(1);
    f.panels.openAnswers << fifo;
    HistoryImporter::importHistory(*f.store, f.panels, f.alerts);
    ::close(placeholder);
    writer->wait();
    delete writer;
    EXPECT_EQ(f.alerts.requests.last().informativeText, tooLarge);
    EXPECT_EQ(f.store->itemCount(), 0);

    // A pipe nobody writes to: no wait for a writer that may never come, just an empty file.
    const QString silent = f.path("silent.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(silent).constData(), 0600), 0);
    f.panels.openAnswers << silent;
    const qsizetype before = f.alerts.requests.size();
    HistoryImporter::importHistory(*f.store, f.panels, f.alerts);
    ASSERT_EQ(f.alerts.requests.size(), before + 1);
    EXPECT_EQ(f.alerts.requests.last().message, "History could not be imported");
}

namespace {

// A history loaded from memory and never written: large histories without the cost of a file.
class MemoryHistory final : public ClipboardHistoryPersisting {
public:
    explicit MemoryHistory(ClipboardHistoryState state) : state_(std::move(state)) {}
    ClipboardHistoryState load() override { return state_; }
    void save(const ClipboardHistoryState&) override {}

private:
    ClipboardHistoryState state_;
};

// About 60 MB of archive: 1,200 clips of 50,000 characters.
ClipboardHistoryState largeHistory()
{
    ClipboardHistoryState state;
    state.pinboards = DefaultPinboards::all();
    for (int i = 0; i < 1200; ++i) {
        QString text = QStringLiteral("clip %1 ").arg(i);
        text += QString(50'000 - text.size(), QLatin1Char('a' + i % 26));
        state.items.append(ClipboardItem(QUuid::createUuid(), text, 700'000'000.0 + i));
    }
    return state;
}

ClipboardStore::Configuration unlimited()
{
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems = std::nullopt;
    return configuration;
}

// Ticks on the main thread every few milliseconds while an archive flow runs, and notes what it
// sees of the flow's progress sheet over `window`.
struct Watcher {
    QWidget window;
    QTimer timer;
    int ticksWithSheet = 0;
    QSet<int> barValues;
    std::function<void(ArchiveProgressDialog&)> onSheet;

    Watcher()
    {
        window.resize(400, 300);
        window.show();
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* sheet = window.findChild<ArchiveProgressDialog*>();
            if (!sheet || !sheet->isVisible())
                return;
            ++ticksWithSheet;
            barValues.insert(sheet->bar()->value());
            if (onSheet)
                onSheet(*sheet);
        });
        timer.start(5);
    }
};

} // namespace

// The archive is written on another thread: the main thread's timers keep firing all along, and
// the sheet over the window that asked shows how far it is.
TEST(HistoryArchiveFlows, ExportingALargeHistoryKeepsTheMainThreadRunning)
{
    Fixture f;
    ClipboardStore store(std::make_shared<MemoryHistory>(largeHistory()), unlimited());
    ASSERT_EQ(store.itemCount(), 1200);
    Watcher watcher;
    Qt::WindowModality modality = Qt::NonModal;
    watcher.onSheet = [&](ArchiveProgressDialog& sheet) { modality = sheet.windowModality(); };
    f.panels.saveAnswers << f.path("large.json");
    HistoryExporter::exportHistory(store, f.panels, f.alerts, f.workspace, &watcher.window);

    EXPECT_TRUE(f.alerts.requests.isEmpty());
    EXPECT_EQ(f.workspace.revealedFiles, QStringList{f.path("large.json")});
    EXPECT_GE(watcher.ticksWithSheet, 3);
    EXPECT_EQ(modality, Qt::WindowModal);
    // Somewhere between the start and the end, the bar showed the export under way.
    EXPECT_TRUE(std::any_of(watcher.barValues.cbegin(), watcher.barValues.cend(),
                            [](int value) { return value > 0 && value < 1000; }));
    EXPECT_EQ(ClipboardHistoryArchive::readFile(f.path("large.json")).items.size(), 1200);
}

TEST(HistoryArchiveFlows, CancellingAnExportWritesNothingAndSaysNothing)
{
    Fixture f;
    ClipboardStore store(std::make_shared<MemoryHistory>(largeHistory()), unlimited());
    Watcher watcher;
    watcher.onSheet = [](ArchiveProgressDialog& sheet) {
        if (sheet.cancelButton()->isEnabled())
            sheet.cancelButton()->click();
    };
    f.panels.saveAnswers << f.path("cancelled.json");
    HistoryExporter::exportHistory(store, f.panels, f.alerts, f.workspace, &watcher.window);

    EXPECT_GE(watcher.ticksWithSheet, 1);
    EXPECT_TRUE(f.alerts.requests.isEmpty());
    EXPECT_TRUE(f.workspace.revealedFiles.isEmpty());
    // Neither the archive nor a temporary file of it.
    EXPECT_EQ(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

// Reading, checking and saving all happen while the main thread goes on, and the history the
// windows show stays as it was until the merged history is on disk.
TEST(HistoryArchiveFlows, ImportLeavesTheHistoryUnchangedUntilTheMergeIsSaved)
{
    Fixture f;
    ClipboardHistoryArchive::writeFile(largeHistory(), f.path("large.json"));
    auto store = std::make_unique<ClipboardStore>(
        std::make_shared<FileClipboardHistoryPersistence>(f.path("imported.json")), unlimited());
    ASSERT_TRUE(store->record(QStringLiteral("already here"), now()));
    Watcher watcher;
    QList<qsizetype> countsWithSheet;
    QStringList sheetTitles;
    watcher.onSheet = [&](ArchiveProgressDialog& sheet) {
        countsWithSheet.append(store->itemCount());
        if (!sheetTitles.contains(sheet.windowTitle()))
            sheetTitles.append(sheet.windowTitle());
    };
    f.panels.openAnswers << f.path("large.json");
    f.alerts.answers << 0 << 0; // "Merge History", then OK
    HistoryImporter::importHistory(*store, f.panels, f.alerts, &watcher.window);

    ASSERT_EQ(f.alerts.requests.size(), 2);
    EXPECT_EQ(f.alerts.requests[1].message, "History imported");
    EXPECT_EQ(store->itemCount(), 1201);
    EXPECT_GE(countsWithSheet.size(), 2);
    EXPECT_TRUE(std::all_of(countsWithSheet.cbegin(), countsWithSheet.cend(), [](qsizetype n) { return n == 1; }));
    EXPECT_EQ(sheetTitles.first(), QStringLiteral("Reading Archive\u2026"));
    // What the store shows is what the file holds.
    store.reset();
    EXPECT_EQ(FileClipboardHistoryPersistence(f.path("imported.json")).load().items.size(), 1201);
}

TEST(HistoryArchiveFlows, CancellingAnImportWhileItIsReadChangesNothing)
{
    Fixture f;
    ClipboardHistoryArchive::writeFile(largeHistory(), f.path("large.json"));
    ASSERT_TRUE(f.store->record(QStringLiteral("already here"), now()));
    Watcher watcher;
    watcher.onSheet = [](ArchiveProgressDialog& sheet) {
        if (sheet.cancelButton()->isVisible() && sheet.cancelButton()->isEnabled())
            sheet.cancelButton()->click();
    };
    f.panels.openAnswers << f.path("large.json");
    HistoryImporter::importHistory(*f.store, f.panels, f.alerts, &watcher.window);
    EXPECT_GE(watcher.ticksWithSheet, 1);
    EXPECT_TRUE(f.alerts.requests.isEmpty());
    EXPECT_EQ(f.store->itemCount(), 1);
}
