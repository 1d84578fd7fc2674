// Time from another program's copy to the clip being in the history store, without the poll
// interval: the monitor polls as soon as the clipboard reports the change.
//
// Needs an X server: tests/support/with-x11 -- build/bench/Tolvi/services/capture/CaptureLatencyBench
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/CapturePreferences.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"

#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include "PeerProcess.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tolvi;

namespace {

class MemoryPersistence final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return {}; }
    void save(const ClipboardHistoryState&) override {}
};

class AlwaysOn final : public CapturePreferences {
public:
    bool capturesText() const override { return true; }
    bool capturesImages() const override { return true; }
};

struct Rig {
    test::PeerProcess peer;
    SystemPasteboard board{std::chrono::milliseconds(750)};
    ClipboardStore store{std::make_shared<MemoryPersistence>(), ClipboardStore::Configuration::standard()};
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions{settings};
    AlwaysOn preferences;
    ManualScheduler scheduler;
    PasteboardMonitor monitor{PasteboardMonitor::Dependencies{
        board, store, exclusions, preferences, scheduler, [] { return std::optional<ClipboardSourceApp>(); },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {}, [](const QString&) {}}};

    Rig() { peer.start(); }

    // One copy in the peer, timed until the store holds the new clip.
    double copyToStore(const QList<std::pair<QString, QByteArray>>& representations)
    {
        QByteArray stage = "stage";
        for (const auto& [mime, bytes] : representations)
            stage += ' ' + mime.toLatin1() + ' ' + bytes.toBase64();
        peer.command(stage, "ok stage");
        const qint64 before = board.changeCount();
        const qsizetype items = store.itemCount();
        const double createdBefore = items ? store.itemAt(0).createdAt() : 0;
        QElapsedTimer timer;
        timer.start();
        peer.command("copy-staged", "ok copy-staged");
        test::waitUntil([&] { return board.changeCount() != before; }, 5000);
        monitor.poll();
        const bool recorded = store.itemCount() > 0 && store.itemAt(0).createdAt() > createdBefore;
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        return recorded ? seconds : -1;
    }
};

// Built on first use, after the application object; torn down before it.
std::unique_ptr<Rig> theRig;

Rig& rig()
{
    if (!theRig)
        theRig = std::make_unique<Rig>();
    return *theRig;
}

void BM_TextCopyToStore(benchmark::State& state)
{
    int counter = 0;
    for (auto _ : state) {
        const double seconds =
            rig().copyToStore({{"text/plain", "benchmark text " + QByteArray::number(++counter)}});
        if (seconds < 0) {
            state.SkipWithError("copy not recorded");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_TextCopyToStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

QByteArray noisePng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = QRandomGenerator::global()->generate();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 0);
    return bytes;
}

void BM_FiveMegabytePngCopyToStore(benchmark::State& state)
{
    QList<QByteArray> images;
    for (int i = 0; i < 3; ++i)
        images.append(noisePng(1600, 1100)); // about 5.3 MB each
    state.counters["bytes"] = double(images.first().size());
    int index = 0;
    for (auto _ : state) {
        const double seconds = rig().copyToStore({{"image/png", images.at(index++ % images.size())}});
        if (seconds < 0) {
            state.SkipWithError("copy not recorded");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_FiveMegabytePngCopyToStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theRig.reset();
    return 0;
}
