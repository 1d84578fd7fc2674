// Archive encode and decode at the size limit: 20,000 clips, most of the bytes in images.

#include "TolviCore/archive/ClipboardHistoryArchive.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace tolvi;

namespace {

// About 95 MB of archive: 19,994 text clips and six images of 11,000,000 bytes.
const ClipboardHistoryState& largeHistory()
{
    static const ClipboardHistoryState state = [] {
        ClipboardHistoryState s;
        s.pinboards = DefaultPinboards::all();
        QRandomGenerator random(7);
        for (int i = 0; i < 6; ++i) {
            QByteArray bytes(11'000'000, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            s.items.append(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(ClipboardImage(bytes, QStringLiteral("public.png"), 1920, 1080)),
                                         800'000'000.0 + i));
        }
        for (int i = 0; i < 19'994; ++i) {
            s.items.append(ClipboardItem(QUuid::createUuid(),
                                         QStringLiteral("Clip %1: some ordinary copied text, \"quoted\" and caf\u00e9.").arg(i),
                                         700'000'000.5 + i, i % 50 == 0, i % 50 == 0 ? QList<QUuid>{DefaultPinboards::workID()} : QList<QUuid>{}));
        }
        return s;
    }();
    return state;
}

void BM_EncodeArchive(benchmark::State& state)
{
    const ClipboardHistoryState& history = largeHistory();
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray archive = ClipboardHistoryArchive::encode(history);
        bytes = archive.size();
        benchmark::DoNotOptimize(archive.constData());
    }
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["archiveMB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_EncodeArchive)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DecodeArchive(benchmark::State& state)
{
    const QByteArray archive = ClipboardHistoryArchive::encode(largeHistory());
    for (auto _ : state) {
        const ClipboardHistoryState decoded = ClipboardHistoryArchive::decode(archive);
        benchmark::DoNotOptimize(decoded.items.size());
    }
    state.SetBytesProcessed(archive.size() * state.iterations());
    state.counters["archiveMB"] = double(archive.size()) / 1e6;
}
BENCHMARK(BM_DecodeArchive)->Unit(benchmark::kMillisecond)->Iterations(5);

// The importer's path: the archive read from a file and decoded.
void BM_ReadArchiveFile(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.json"));
    ClipboardHistoryArchive::writeFile(largeHistory(), path);
    qint64 bytes = 0;
    for (auto _ : state) {
        const ClipboardHistoryState decoded = ClipboardHistoryArchive::readFile(path);
        benchmark::DoNotOptimize(decoded.items.size());
    }
    bytes = QFileInfo(path).size();
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["archiveMB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_ReadArchiveFile)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Streaming the archive to a file through the private atomic writer.
void BM_WriteArchiveFile(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.json"));
    for (auto _ : state)
        ClipboardHistoryArchive::writeFile(largeHistory(), path);
    const qint64 bytes = QFileInfo(path).size();
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["archiveMB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_WriteArchiveFile)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace
