// Time from another program's copy to the clip being in the history store in a Wayland session
// with data control: the copier is a second Wayland client that sets the selection through a
// data-control source of its own; the monitor polls as soon as the selection event arrives.
//
// Needs a compositor with data control:
//   tests/support/with-sway -- build/bench/Tolvi/services/capture/CaptureLatencyWaylandBench
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/CapturePreferences.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/wayland/DataControlClipboard.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "TolviCore/store/ClipboardStore.h"

#include "BenchmarkHistory.h"
#include "CaptureEverything.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tolvi;

namespace {

// One Wayland client with its clipboard, dispatching.
struct Client {
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::connect();
    std::unique_ptr<DataControlClipboard> clipboard = connection ? DataControlClipboard::create(*connection) : nullptr;
    Client()
    {
        if (clipboard)
            connection->startDispatching();
    }
    ~Client()
    {
        if (connection)
            connection->stopDispatching();
    }
};

struct Rig {
    Client recorder;
    Client copier;
    ClipboardStore store{std::make_shared<bench::PreparedHistory>(ClipboardHistoryState{}), ClipboardStore::Configuration::standard()};
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions{settings};
    bench::CaptureEverything preferences;
    ManualScheduler scheduler;
    std::unique_ptr<PasteboardMonitor> monitor;

    bool isValid() const { return recorder.clipboard && copier.clipboard; }

    Rig()
    {
        if (!isValid())
            return;
        monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
            recorder.clipboard->pasteboard(), store, exclusions, preferences, scheduler,
            [] { return std::optional<ClipboardSourceApp>(); },
            [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {}, [](const QString&) {}});
        monitor->start(false);
        QObject::connect(&recorder.clipboard->pasteboard(), &DataControlPasteboard::changed, monitor.get(),
                         [this] { monitor->poll(); });
    }

    double copyToStore(const QString& text)
    {
        const qsizetype items = store.itemCount();
        PasteboardItem item;
        item.setString(PasteboardTypes::plainText, text);
        QElapsedTimer timer;
        timer.start();
        if (!copier.clipboard->pasteboard().write({item}, Pasteboard::WriteKind::copy))
            return -1;
        const QDeadlineTimer deadline(5000);
        while (store.itemCount() == items && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        return store.itemCount() > items && store.itemAt(0).content().textValue() == text ? seconds : -1;
    }
};

std::unique_ptr<Rig> theRig;

void BM_WaylandTextCopyToStore(benchmark::State& state)
{
    if (!theRig)
        theRig = std::make_unique<Rig>();
    if (!theRig->isValid()) {
        state.SkipWithError("no compositor with data control at WAYLAND_DISPLAY");
        return;
    }
    int counter = 0;
    for (auto _ : state) {
        const double seconds = theRig->copyToStore(QStringLiteral("benchmark text %1").arg(++counter));
        if (seconds < 0) {
            state.SkipWithError("copy not recorded");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_WaylandTextCopyToStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theRig.reset();
    return 0;
}
