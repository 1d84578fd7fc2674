#include "SampleHistory.h"
#include "TestFiles.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryFolderLock.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

using namespace tolvi;
using namespace tolvi::samples;

TEST(HistoryFileCrashConsistency, KilledWriterAlwaysLeavesALoadableHistory)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    FileClipboardHistoryPersistence reader(path, {[](std::function<void()> task) { task(); }, {}, {}});
    int lastGeneration = -1;
    for (int round = 0; round < 25; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(TOLVI_HISTORY_WRITER_HELPER), {path});
        ASSERT_TRUE(writer.waitForStarted(10'000));
        ASSERT_TRUE(writer.waitForReadyRead(30'000)) << "the writer never finished its first save";
        QThread::usleep(QRandomGenerator::global()->bounded(1, 40'000));
        writer.kill(); // SIGKILL
        ASSERT_TRUE(writer.waitForFinished(10'000));
        EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit);

        ClipboardHistoryState state;
        ASSERT_NO_THROW(state = reader.load()) << "round " << round;
        const int generation = generationOf(state);
        EXPECT_GE(generation, 0) << "round " << round << ": the file holds a mixture of states";
        lastGeneration = generation;
        // Stray temporary files may be left by a kill; they never replace the history.
        for (const QString& name : entries(dir.path()))
            EXPECT_TRUE(name == QLatin1String("history.json") || name.startsWith(QLatin1String(".tolvi-private-")))
                << name.toStdString();
    }
    EXPECT_GE(lastGeneration, 0);

    // The next program to start removes what the killed saves left, and the history stays.
    HistoryFolderLock lock(path);
    ASSERT_TRUE(lock.acquire());
    lock.removeLeftoverTemporaryFiles();
    EXPECT_EQ(entries(dir.path()), (QStringList{QStringLiteral("history.json"), QStringLiteral("history.lock")}));
    EXPECT_EQ(generationOf(reader.load()), lastGeneration);
}

TEST(HistoryFileCrashConsistency, AKilledCopyOfADamagedHistoryNeverStandsUnderItsDatedName)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    const QByteArray damaged = "[" + QByteArray(48 << 20, 'x');
    writeFile(path, damaged);
    for (int round = 0; round < 12; ++round) {
        QProcess loader;
        loader.start(QStringLiteral(TOLVI_HISTORY_WRITER_HELPER), {path, QStringLiteral("load")});
        ASSERT_TRUE(loader.waitForStarted(10'000));
        ASSERT_TRUE(loader.waitForReadyRead(30'000));
        QThread::usleep(QRandomGenerator::global()->bounded(0, 150'000));
        loader.kill();
        ASSERT_TRUE(loader.waitForFinished(10'000));

        // Whatever stands under a dated name is the whole damaged file; a cut copy has only its
        // temporary name.
        for (const QString& name : entries(dir.path())) {
            if (!name.startsWith(QLatin1String("history.corrupt-")))
                continue;
            EXPECT_TRUE(readFile(dir.filePath(name)) == damaged) << "round " << round << ": " << name.toStdString();
            QFile::remove(dir.filePath(name));
        }
    }
    HistoryFolderLock lock(path);
    ASSERT_TRUE(lock.acquire());
    lock.removeLeftoverTemporaryFiles();
    EXPECT_EQ(entries(dir.path()), (QStringList{QStringLiteral("history.json"), QStringLiteral("history.lock")}));
    EXPECT_TRUE(readFile(path) == damaged);
}
