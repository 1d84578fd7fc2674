// From the paste request (our own window in front, as after a hot key) to the text being in the
// other program: activate, wait until it is in front, Ctrl+V, the program reads our clipboard.
// The window manager's own activation delay is measured on its own.
//
// Needs an X server with a window manager:
//   tests/support/with-x11 --wm -- build/bench/Tolvi/services/paste/PasteLatencyBench
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"

#include "Tolvi/services/capture/Scheduler.h"

#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "PeerProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tolvi;

namespace {

struct Rig {
    X11Desktop desktop;
    QtScheduler scheduler;
    SystemPasteboard board;
    // When the last Ctrl+V went out, to split the time into waiting for the window manager and
    // the other program reading our clipboard.
    QElapsedTimer sinceStart;
    qint64 keystrokeAt = 0;
    PasteService service{board, withKeystrokeClock(makeLivePasteEnvironment(desktop, scheduler))};
    test::PeerProcess peer;
    quint32 peerWindow = 0;
    QWidget own;

    PasteService::Environment withKeystrokeClock(PasteService::Environment environment)
    {
        sinceStart.start();
        environment.sendPaste = [this, send = environment.sendPaste] {
            keystrokeAt = sinceStart.nsecsElapsed();
            send();
        };
        return environment;
    }

    Rig()
    {
        peer.start();
        peerWindow = peer.showWindow().value_or(0);
        test::activateUntil(peerWindow, [&] { return desktop.frontmostPID() == peer.pid(); });
        service.captureTarget();
        own.resize(300, 200);
        own.show();
    }
    bool focusOwn()
    {
        return test::activateUntil(quint32(own.winId()),
                                   [&] { return desktop.frontmostPID() == QCoreApplication::applicationPid(); });
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

void BM_WindowManagerActivation(benchmark::State& state)
{
    Rig& r = rig();
    for (auto _ : state) {
        if (!r.focusOwn()) {
            state.SkipWithError("our window did not come to the front");
            break;
        }
        QElapsedTimer timer;
        timer.start();
        r.desktop.activate(r.peer.pid());
        const bool front = test::waitUntil([&] { return r.desktop.frontmostPID() == r.peer.pid(); }, 2000);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!front) {
            state.SkipWithError("destination did not come to the front");
            break;
        }
    }
}
BENCHMARK(BM_WindowManagerActivation)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_PasteIntoAnotherProgram(benchmark::State& state)
{
    Rig& r = rig();
    int counter = 0;
    double keystrokeSeconds = 0;
    for (auto _ : state) {
        if (!r.focusOwn()) {
            state.SkipWithError("our window did not come to the front");
            break;
        }
        r.peer.command("clear-text", "ok clear-text");
        const QString text = QStringLiteral("pasted %1").arg(++counter);
        const qint64 requestedAt = r.sinceStart.nsecsElapsed();
        r.service.pasteItem(ClipboardItem(text));
        const bool arrived = r.peer.waitForText([&](const QString& current) { return current == text; }, 3000);
        state.SetIterationTime(double(r.sinceStart.nsecsElapsed() - requestedAt) / 1e9);
        keystrokeSeconds += double(r.keystrokeAt - requestedAt) / 1e9;
        if (!arrived) {
            state.SkipWithError("text did not arrive");
            break;
        }
    }
    // Average time from the request to Ctrl+V (the rest is the other program reading the clipboard).
    state.counters["to_keystroke_ms"] = benchmark::Counter(keystrokeSeconds * 1e3, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PasteIntoAnotherProgram)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

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
