// The store against the real history file.

#include "StoreTestSupport.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <csignal>
#include <mutex>
#include <sys/resource.h>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

// Completions handed to the "main thread" wait here until the test runs them.
struct ManualExecutor {
    std::mutex lock;
    QList<std::function<void()>> tasks;

    FileClipboardHistoryPersistence::Executor executor()
    {
        return [this](std::function<void()> task) {
            std::lock_guard guard(lock);
            tasks.append(std::move(task));
        };
    }

    int runAll()
    {
        QList<std::function<void()>> taken;
        {
            std::lock_guard guard(lock);
            taken.swap(tasks);
        }
        for (auto& task : taken)
            task();
        return taken.size();
    }
};

// `size` a multiple of four.
QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Bytes kept in a file that has changed since: nothing can be had of them any more.
class VanishedImageBytes final : public StoredImageBytes {
public:
    std::optional<QByteArray> decode() const override { return std::nullopt; }
    bool intact() const override { return false; }
    bool writeBase64(const std::function<void(std::string_view)>&) const override { return false; }
};

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct FileFixture : ::testing::Test {
    QTemporaryDir folder;
    QString path;
    ManualExecutor executor;

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        path = folder.filePath(QStringLiteral("Tolvi/history.json"));
    }

    // Ends the child process of a death test, which removes its own folder first: it never
    // returns to the destructors that would.
    [[noreturn]] void endChild(int status)
    {
        folder.remove();
        std::_Exit(status);
    }

    std::shared_ptr<FileClipboardHistoryPersistence> persistence()
    {
        FileClipboardHistoryPersistence::Options options;
        options.mainExecutor = executor.executor();
        return std::make_shared<FileClipboardHistoryPersistence>(path, options);
    }
};

} // namespace

TEST_F(FileFixture, RecordedHistorySurvivesARestart)
{
    QUuid pinnedID;
    {
        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        ASSERT_TRUE(store.record(QStringLiteral("first"), 1));
        ASSERT_TRUE(store.record(ClipboardContent::image(image("png bytes", QStringLiteral("seen"))), 2));
        ASSERT_TRUE(store.record(QStringLiteral("pinned"), 3));
        pinnedID = store.itemAt(0).id();
        store.togglePinboard(DefaultPinboards::all()[1], store.itemAt(0));
        store.flushPersistence();
        executor.runAll();
        EXPECT_FALSE(store.storageIssue().has_value());
    }
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
    EXPECT_FALSE(reloaded.storageIssue().has_value());
    ASSERT_EQ(reloaded.itemCount(), 3);
    EXPECT_EQ(reloaded.itemAt(0).id(), pinnedID);
    EXPECT_EQ(reloaded.itemAt(0).pinboardIDs(), QList<QUuid>{DefaultPinboards::codeID()});
    EXPECT_EQ(reloaded.itemAt(1).content().imageValue().recognizedText(), QStringLiteral("seen"));
    EXPECT_EQ(reloaded.itemAt(2).content().textValue(), QStringLiteral("first"));
}

TEST_F(FileFixture, QueuedCompletionsReportTheNewestWrite)
{
    ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(store.record(QStringLiteral("clip %1").arg(i), i));
    store.flushPersistence();
    EXPECT_GE(executor.runAll(), 1);
    EXPECT_FALSE(store.storageIssue().has_value());

    // Put a non-empty folder where the file goes: the rename of the next write fails, even as root.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/blocker")));
    ASSERT_TRUE(store.record(QStringLiteral("unsaved"), 100));
    EXPECT_THROW(store.flushPersistence(), PersistenceError);
    executor.runAll();
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    // The change stays in memory, and retrying after the repair writes it.
    EXPECT_EQ(store.itemAt(0).content().textValue(), QStringLiteral("unsaved"));
    ASSERT_TRUE(QDir(path).removeRecursively());
    store.retryStorage();
    store.flushPersistence();
    executor.runAll();
    EXPECT_FALSE(store.storageIssue().has_value());
    ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
    EXPECT_EQ(reloaded.itemCount(), 21);
}

TEST_F(FileFixture, UnreadableHistoryIsNeverWrittenUntilRepaired)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{ this is not a history");
    }
    const QDateTime modified = QFileInfo(path).lastModified();
    QThread::msleep(20);

    ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
    ASSERT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::loadFailed);
    EXPECT_FALSE(store.record(QStringLiteral("refused"), 1));
    store.clear();
    store.updateRecentLimit(80, true);
    EXPECT_THROW(store.flushPersistence(), ClipboardHistoryImportError);
    executor.runAll();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("{ this is not a history"));
    file.close();
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);

    // Repair the file by hand and retry.
    ClipboardHistoryState repaired{{textItem(QStringLiteral("repaired"), 5)}, DefaultPinboards::all()};
    persistence()->save(repaired);
    store.retryStorage();
    EXPECT_FALSE(store.storageIssue().has_value());
    EXPECT_EQ(texts(store.items()), QStringList{"repaired"});
    EXPECT_TRUE(store.record(QStringLiteral("new"), 6));
    store.flushPersistence();
    executor.runAll();
    ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
    EXPECT_EQ(texts(reloaded.items()), (QStringList{"new", "repaired"}));
}

TEST_F(FileFixture, AFileSizeLimitFailsTheSaveInsteadOfEndingTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    {
        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        ASSERT_TRUE(store.record(QStringLiteral("kept"), 1));
        store.flushPersistence();
        executor.runAll();
    }
    const QByteArray before = contentOf(path);
    const auto saveBeyondTheLimit = [&] {
        // As under "ulimit -f": the signal has its default action, which ends the process.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        ::sigaction(SIGXFSZ, &byDefault, nullptr);
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(before.size()) + 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);

        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        store.record(ClipboardContent::image(image(QByteArray(1 << 20, 'i'))), 2);
        int error = 0;
        try {
            store.flushPersistence();
        } catch (const PersistenceError& failure) {
            error = failure.code();
        }
        executor.runAll();
        const bool untouched = contentOf(path) == before
                               && QDir(QFileInfo(path).absolutePath())
                                          .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                                      == QStringList{QStringLiteral("history.json")};
        endChild(error == EFBIG && store.storageIssue() == ClipboardStore::StorageIssue::saveFailed && untouched ? 0 : 1);
    };
    EXPECT_EXIT(saveBeyondTheLimit(), ::testing::ExitedWithCode(0), "");
}

namespace {

// Lets files grow only to `bytes` (as a full disk does: writes fail with EFBIG, and the signal
// that would end the process is ignored, as the program does), until restored.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, nullptr);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = static_cast<rlim_t>(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    void lift() { ::setrlimit(RLIMIT_FSIZE, &saved_); }
    ~FileSizeLimit() { lift(); }

private:
    rlimit saved_ {};
};

template <typename Condition>
bool waitFor(Condition condition)
{
    for (int i = 0; i < 1000 && !condition(); ++i)
        QThread::msleep(5);
    return condition();
}

} // namespace

// An edit saved while the disk is full is written at quit once there is room again.
TEST_F(FileFixture, AnEditSavedWhileTheDiskIsFullSurvivesQuitOnceThereIsRoom)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto editAndQuit = [&] {
        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        store.record(QStringLiteral("draft"), 1);
        store.flushPersistence();
        executor.runAll();
        FileSizeLimit full(QFileInfo(path).size() + 256);
        const QString edit = QStringLiteral("edited while the disk was full ") + QString(4000, QLatin1Char('e'));
        if (!store.updateText(edit, store.itemAt(0)))
            endChild(2);
        // The queued save fails in the background and reports it.
        if (!waitFor([&] { std::lock_guard guard(executor.lock); return !executor.tasks.isEmpty(); }))
            endChild(3);
        executor.runAll();
        if (store.storageIssue() != ClipboardStore::StorageIssue::saveFailed)
            endChild(4);
        full.lift();
        // Quitting: the history as it is now reaches the file.
        try {
            store.flushPersistence();
        } catch (const std::exception&) {
            endChild(5);
        }
        executor.runAll();
        if (store.storageIssue())
            endChild(6);
        ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
        endChild(reloaded.itemCount() == 1 && reloaded.itemAt(0).content().textValue() == edit ? 0 : 7);
    };
    EXPECT_EXIT(editAndQuit(), ::testing::ExitedWithCode(0), "");
}

// While saving fails, the history is written again on a timer, with no further change needed.
TEST_F(FileFixture, AFailedSaveIsRetriedOnATimerUntilItSucceeds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto editAndWait = [&] {
        FileClipboardHistoryPersistence::Options options; // completions on the Qt main thread
        auto file = std::make_shared<FileClipboardHistoryPersistence>(path, options);
        ClipboardStore store(file, ClipboardStore::Configuration::standard());
        store.setSaveRetryInterval(std::chrono::milliseconds(20));
        store.record(QStringLiteral("draft"), 1);
        store.flushPersistence();
        QCoreApplication::processEvents();
        FileSizeLimit full(QFileInfo(path).size() + 256);
        const QString edit = QString(4000, QLatin1Char('x'));
        store.updateText(edit, store.itemAt(0));
        if (!QTest::qWaitFor([&] { return store.storageIssue() == ClipboardStore::StorageIssue::saveFailed; }, 5000))
            endChild(2);
        // Still failing: retried, still reported.
        QTest::qWait(100);
        if (store.storageIssue() != ClipboardStore::StorageIssue::saveFailed)
            endChild(3);
        full.lift();
        if (!QTest::qWaitFor([&] { return !store.storageIssue().has_value(); }, 5000))
            endChild(4);
        FileClipboardHistoryPersistence reader(path, {[](std::function<void()> task) { task(); }, {}, {}});
        const ClipboardHistoryState saved = reader.load();
        endChild(saved.items.size() == 1 && saved.items.first().content().textValue() == edit ? 0 : 5);
    };
    EXPECT_EXIT(editAndWait(), ::testing::ExitedWithCode(0), "");
}

TEST_F(FileFixture, LongAsciiTextsLoadAsTheirBytesAndAreSavedAndMatchedAsTheirTexts)
{
    const QString filler = QStringLiteral(" and some more words, enough of them to make a long text");
    // Every character the file writes escaped, in one text; a text with kept representations.
    const QString escaped = QStringLiteral("tab\there \"quoted\" back\\slash\nnext\r\nbell") + QChar(7) + QChar(8)
                            + QChar(12) + QChar(0x7f) + filler;
    const QString withPayload = QStringLiteral("<b>bold</b> text copied from a page") + filler;
    const QString plain = QStringLiteral("Plain words") + filler;
    const QString shortOne = QStringLiteral("short");
    const QString accented = QString::fromUtf8("caf\u00e9") + filler;
    const auto payload = ClipboardOriginalPayload::create(std::nullopt, QByteArray("<b>bold</b>"), {});
    ASSERT_TRUE(payload);
    {
        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        ASSERT_TRUE(store.record(escaped, 1));
        ASSERT_TRUE(store.record(withPayload, 2, std::nullopt, payload));
        ASSERT_TRUE(store.record(plain, 3));
        ASSERT_TRUE(store.record(shortOne, 4));
        ASSERT_TRUE(store.record(accented, 5));
        store.flushPersistence();
        executor.runAll();
        ASSERT_FALSE(store.storageIssue().has_value());
    }
    const QByteArray written = contentOf(path);

    ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
    ASSERT_EQ(reloaded.itemCount(), 5);
    const auto saveUnchanged = [&] {
        const ClipboardItem last = reloaded.itemAt(reloaded.itemCount() - 1);
        reloaded.togglePinned(last);
        reloaded.togglePinned(reloaded.itemAt(0));
        reloaded.flushPersistence();
        executor.runAll();
        EXPECT_EQ(contentOf(path), written);
    };
    // Loading, indexing, the storage estimate and saving read the long ASCII texts as bytes.
    saveUnchanged();
    qsizetype heldAsBytes = 0;
    for (const ClipboardItem& item : reloaded.items()) {
        if (item.content().asciiTextIf()) {
            ++heldAsBytes;
            EXPECT_FALSE(item.content().holdsTextValue());
        }
    }
    EXPECT_EQ(heldAsBytes, 3);

    const auto itemWith = [&](const QString& text) {
        for (const ClipboardItem& item : reloaded.items()) {
            if (item.content().textValue() == text)
                return item;
        }
        ADD_FAILURE() << "missing: " << text.toStdString();
        return ClipboardItem(QString());
    };
    for (const QString& text : {escaped, withPayload, plain, shortOne, accented}) {
        const ClipboardItem item = itemWith(text);
        EXPECT_EQ(item.content().asciiTextIf().has_value(), text != shortOne && text != accented);
        EXPECT_EQ(ClipboardStore::estimatedStorageBytes(item),
                  ClipboardStore::estimatedStorageBytes(ClipboardItem(item.id(), text, 1, false, {}, std::nullopt,
                                                                      item.originalPayload())));
    }
    // Saved the same once their QStrings are made.
    saveUnchanged();

    // Copying one of them again finds the clip it already has, payload and all.
    const qsizetype count = reloaded.itemCount();
    ASSERT_TRUE(reloaded.record(QString(plain), 10));
    ASSERT_TRUE(reloaded.record(QString(withPayload), 11, std::nullopt, payload));
    ASSERT_TRUE(reloaded.record(QString(escaped), 12));
    EXPECT_EQ(reloaded.itemCount(), count);
    EXPECT_EQ(reloaded.itemAt(0).content().textValue(), escaped);
    EXPECT_EQ(reloaded.itemAt(1).content().textValue(), withPayload);
    EXPECT_EQ(reloaded.itemAt(2).content().textValue(), plain);
}

// Texts beyond ASCII load as their UTF-8 bytes where those take no more memory than UTF-16 would
// (accented Latin, Cyrillic, emoji; not Chinese), are saved and estimated as their texts without
// their QStrings, and a copy of one (in either canonical form) finds the clip it already has.
TEST_F(FileFixture, TextsBeyondAsciiLoadAsTheirUtf8BytesWhereTheyAreNoLarger)
{
    const QString filler = QStringLiteral(" and some more words, enough of them to make a long text");
    const QString accented = QString::fromUtf8("Caf\u00e9 na\u00efve \u2014 \U0001F44D") + filler;
    const QString decomposed = QString::fromUtf8("cafe\u0301 with a decomposed accent") + filler;
    const QString cyrillic = QString::fromUtf8("\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440! ").repeated(6);
    const QString chinese = QString::fromUtf8("\u4e2d\u6587\u7684\u6587\u672c ").repeated(20);
    const QString withPayload = QString::fromUtf8("<b>gr\u00fc\u00dfe</b> from a page") + filler;
    const auto payload = ClipboardOriginalPayload::create(std::nullopt, QByteArray("<b>gr\xC3\xBC\xC3\x9F" "e</b>"), {});
    ASSERT_TRUE(payload);
    {
        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        ASSERT_TRUE(store.record(accented, 1));
        ASSERT_TRUE(store.record(decomposed, 2));
        ASSERT_TRUE(store.record(cyrillic, 3));
        ASSERT_TRUE(store.record(chinese, 4));
        ASSERT_TRUE(store.record(withPayload, 5, std::nullopt, payload));
        store.flushPersistence();
        executor.runAll();
        ASSERT_FALSE(store.storageIssue().has_value());
    }
    const QByteArray written = contentOf(path);

    ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
    ASSERT_EQ(reloaded.itemCount(), 5);
    // Loading, indexing, the storage estimate and saving read the texts as their bytes.
    const ClipboardItem first = reloaded.itemAt(0);
    reloaded.togglePinned(first);
    reloaded.togglePinned(reloaded.itemAt(0));
    reloaded.flushPersistence();
    executor.runAll();
    EXPECT_EQ(contentOf(path), written);
    for (const ClipboardItem& item : reloaded.items()) {
        const ClipboardContent& content = item.content();
        EXPECT_FALSE(content.holdsTextValue() && content.utf8TextIf().has_value());
        const QString text = content.transientText();
        EXPECT_EQ(content.utf8TextIf().has_value(), text != chinese) << text.toStdString();
        EXPECT_FALSE(content.asciiTextIf().has_value());
        EXPECT_EQ(ClipboardStore::estimatedStorageBytes(item),
                  ClipboardStore::estimatedStorageBytes(
                      ClipboardItem(item.id(), text, 1, false, {}, std::nullopt, item.originalPayload())));
    }

    // Copying one of them again finds the clip it already has, payload and all; the decomposed
    // accent copied composed too.
    const qsizetype count = reloaded.itemCount();
    ASSERT_TRUE(reloaded.record(QString(accented), 10));
    ASSERT_TRUE(reloaded.record(decomposed.normalized(QString::NormalizationForm_C), 11));
    ASSERT_TRUE(reloaded.record(QString(cyrillic), 12));
    ASSERT_TRUE(reloaded.record(QString(withPayload), 13, std::nullopt, payload));
    EXPECT_EQ(reloaded.itemCount(), count);
    EXPECT_EQ(reloaded.itemAt(0).content().textValue(), withPayload);
    EXPECT_EQ(reloaded.itemAt(2).content().textValue().normalized(QString::NormalizationForm_C),
              decomposed.normalized(QString::NormalizationForm_C));
}

// Another program writes the history file in place while the loaded history still reads its
// images from it: a backup copied over it (the same inode), or an image's Base64 swapped for
// another's of the same length. The next save still holds every image as it was copied, the
// texts as the program has them, and the file stays valid.
TEST_F(FileFixture, AHistoryFileChangedInPlaceUnderTheProgramIsSavedWithEveryImageAsCopied)
{
    const QByteArray png = noise(180'000, 1);
    const QByteArray other = noise(180'000, 2);
    for (const bool sameSize : {false, true}) {
        QFile::remove(path);
        {
            ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
            ASSERT_TRUE(store.record(ClipboardContent::image(image(png)), 1));
            ASSERT_TRUE(store.record(QStringLiteral("short text"), 2));
            store.flushPersistence();
            executor.runAll();
        }
        const QByteArray saved = contentOf(path);
        ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
        ASSERT_EQ(store.itemCount(), 2);

        QByteArray changed = saved;
        if (sameSize)
            changed.replace(png.toBase64(), other.toBase64());
        else
            changed.replace("\"short text\"", "\"short text EDITED\"");
        ASSERT_NE(changed, saved);
        const QString edited = folder.filePath(QStringLiteral("edited.json"));
        QFile editedFile(edited);
        ASSERT_TRUE(editedFile.open(QIODevice::WriteOnly));
        editedFile.write(changed);
        editedFile.close();
        // cp writes into the file it finds under the name: the inode the store read stays.
        ASSERT_EQ(QProcess::execute(QStringLiteral("cp"), {edited, path}), 0);
        ASSERT_EQ(contentOf(path), changed);

        ASSERT_TRUE(store.record(QStringLiteral("copied after"), 3));
        store.flushPersistence();
        executor.runAll();
        EXPECT_FALSE(store.storageIssue().has_value());
        EXPECT_FALSE(store.lastCaptureIssue().has_value());

        ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
        EXPECT_FALSE(reloaded.storageIssue().has_value()) << sameSize;
        ASSERT_EQ(reloaded.itemCount(), 3);
        EXPECT_EQ(reloaded.itemAt(0).content().textValue(), QStringLiteral("copied after"));
        EXPECT_EQ(reloaded.itemAt(1).content().textValue(), QStringLiteral("short text"));
        EXPECT_EQ(reloaded.itemAt(2).content().imageValue().data(), png) << sameSize;
        EXPECT_EQ(QDir(folder.filePath(QStringLiteral("Tolvi"))).entryList({QStringLiteral("history.corrupt-*")}),
                  QStringList());
    }
}

// An image that can no longer be had at all: the save leaves that clip out and writes the rest,
// and the store drops it with a notice rather than keep a clip it cannot save.
TEST_F(FileFixture, AnImageThatCanNoLongerBeReadIsDroppedAloneWithANotice)
{
    ClipboardStore store(persistence(), ClipboardStore::Configuration::standard());
    ASSERT_TRUE(store.record(QStringLiteral("before"), 1));
    const QByteArray gone = noise(100'000, 3);
    const ClipboardImage vanished(std::make_shared<VanishedImageBytes>(), gone.size(),
                                  ClipboardImage::quickKeyOf(gone), QStringLiteral("public.png"));
    ASSERT_TRUE(store.record(ClipboardContent::image(vanished), 2));
    ASSERT_TRUE(store.record(QStringLiteral("after"), 3));
    store.flushPersistence();
    executor.runAll();

    EXPECT_FALSE(store.storageIssue().has_value());
    EXPECT_EQ(texts(store.items()), (QStringList{"after", "before"}));
    ASSERT_TRUE(store.lastCaptureIssue().has_value());
    EXPECT_TRUE(store.lastCaptureIssue()->contains(QLatin1String("could no longer be read")));
    ClipboardStore reloaded(persistence(), ClipboardStore::Configuration::standard());
    EXPECT_FALSE(reloaded.storageIssue().has_value());
    EXPECT_EQ(texts(reloaded.items()), (QStringList{"after", "before"}));
}
