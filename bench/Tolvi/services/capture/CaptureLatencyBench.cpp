// Time from another program's copy to the clip being in the history store, as the running
// monitor takes it (its fallback timer never fires here: every copy is taken when the pasteboard
// announces it), and how many copies survive rapid copying and copy-then-switch.
//
// Needs an X server with a window manager:
//   tests/support/with-x11 --wm -- build/bench/Tolvi/services/capture/CaptureLatencyBench
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/CapturePreferences.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "TolviCore/store/ClipboardStore.h"

#include "BenchmarkHistory.h"
#include "CaptureEverything.h"

#include "PeerProcess.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace tolvi;

namespace {

struct Rig {
    test::PeerProcess peer;
    X11Workspace workspace;
    X11ActivationWatcher watcher;
    SystemPasteboard board{std::chrono::milliseconds(750)};
    ClipboardStore store{std::make_shared<bench::PreparedHistory>(ClipboardHistoryState{}), ClipboardStore::Configuration::standard()};
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions{settings};
    bench::CaptureEverything preferences;
    ManualScheduler scheduler;
    QStringList logs;
    PasteboardMonitor monitor{PasteboardMonitor::Dependencies{
        board, store, exclusions, preferences, scheduler,
        [this] { return PasteboardMonitor::frontmostSourceApplication(workspace); },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
        [this](const QString& line) { logs.append(line); }}};
    QList<qint64> activated;

    Rig()
    {
        peer.start();
        QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated,
                         [this](qint64 pid) { activated.append(pid); });
        QObject::connect(&watcher, &X11ActivationWatcher::frontWindowChanged, [this] { monitor.frontApplicationChanged(); });
        monitor.start(false);
    }

    QString newestText()
    {
        return store.itemCount() && !store.itemAt(0).content().isImage() ? store.itemAt(0).content().textValue()
                                                                         : QString();
    }

    // One copy in the peer, timed until the store holds the new clip.
    double copyToStore(const QList<std::pair<QString, QByteArray>>& representations)
    {
        QByteArray stage = "stage";
        for (const auto& [mime, bytes] : representations)
            stage += ' ' + mime.toLatin1() + ' ' + bytes.toBase64();
        peer.command(stage, "ok stage");
        const qsizetype items = store.itemCount();
        const double createdBefore = items ? store.itemAt(0).createdAt() : 0;
        const auto isRecorded = [&] { return store.itemCount() > 0 && store.itemAt(0).createdAt() > createdBefore; };
        QElapsedTimer timer;
        timer.start();
        peer.command("copy-staged", "ok copy-staged");
        // Checked at every turn of the event loop: the store is written on this thread.
        while (!isRecorded() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        return isRecorded() ? seconds : -1;
    }

    // One copy by xclip of a file, as from a shell, timed from xclip's start until the store holds
    // the new clip. The xclip of the copy before goes once this one owns the clipboard.
    double xclipFileToStore(const QString& path, const QString& type)
    {
        const qsizetype items = store.itemCount();
        const double createdBefore = items ? store.itemAt(0).createdAt() : 0;
        const auto isRecorded = [&] { return store.itemCount() > 0 && store.itemAt(0).createdAt() > createdBefore; };
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<QProcess> owner(
            test::startXclip({"-quiet", "-selection", "clipboard", "-t", type, "-i", path}, QByteArray()));
        while (owner && !isRecorded() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (xclipOwner) {
            xclipOwner->kill();
            xclipOwner->waitForFinished(2000);
        }
        xclipOwner = std::move(owner);
        return isRecorded() ? seconds : -1;
    }
    std::unique_ptr<QProcess> xclipOwner;

    ~Rig()
    {
        if (xclipOwner) {
            xclipOwner->kill();
            xclipOwner->waitForFinished(2000);
        }
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

// The median and the slowest of the times taken, in milliseconds.
void reportSpread(benchmark::State& state, QList<double> seconds)
{
    if (seconds.isEmpty())
        return;
    std::sort(seconds.begin(), seconds.end());
    state.counters["median_ms"] = seconds.at(seconds.size() / 2) * 1000;
    state.counters["max_ms"] = seconds.constLast() * 1000;
}

// Times `copy` once an iteration: it makes the `iteration`th copy and gives the seconds it took to
// be recorded, or less than 0 if it was not.
void timeCopies(benchmark::State& state, const std::function<double(int iteration)>& copy)
{
    int iteration = 0;
    QList<double> times;
    for (auto _ : state) {
        const double seconds = copy(iteration++);
        if (seconds < 0) {
            state.SkipWithError("copy not recorded");
            break;
        }
        times.append(seconds);
        state.SetIterationTime(seconds);
        reportSpread(state, times);
    }
}

void BM_TextCopyToStore(benchmark::State& state)
{
    timeCopies(state, [](int iteration) {
        return rig().copyToStore({{"text/plain", "benchmark text " + QByteArray::number(iteration + 1)}});
    });
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
    timeCopies(state, [&images](int iteration) {
        return rig().copyToStore({{"image/png", images.at(iteration % images.size())}});
    });
}
BENCHMARK(BM_FiveMegabytePngCopyToStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The same images copied from files by xclip (xclip -selection clipboard -t image/png -i file),
// timed from xclip's start: what a user copying from a shell waits for.
void BM_FiveMegabytePngFromXclipToStore(benchmark::State& state)
{
    QTemporaryDir folder;
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        paths.append(folder.filePath(QStringLiteral("noise%1.png").arg(i)));
        QFile file(paths.last());
        if (!file.open(QIODevice::WriteOnly) || file.write(noisePng(1600, 1100)) <= 0) {
            state.SkipWithError("cannot write the images");
            return;
        }
    }
    state.counters["bytes"] = double(QFileInfo(paths.first()).size());
    timeCopies(state, [&paths](int iteration) {
        return rig().xclipFileToStore(paths.at(iteration % paths.size()), QStringLiteral("image/png"));
    });
}
BENCHMARK(BM_FiveMegabytePngFromXclipToStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// 50 distinct copies by xclip, 0.1 s apart: how many are in the store, and whether in order.
void BM_FiftyRapidCopies(benchmark::State& state)
{
    constexpr int copies = 50;
    int round = 0;
    for (auto _ : state) {
        ++round;
        QList<QProcess*> owners;
        QStringList texts;
        for (int i = 0; i < copies; ++i) {
            texts.append(QStringLiteral("rapid %1.%2").arg(round).arg(i));
            owners.append(test::startXclip({"-quiet", "-selection", "clipboard", "-i"}, texts.last().toUtf8()));
            test::pause(100);
        }
        test::waitUntil([&] { return rig().newestText() == texts.last(); }, 3000);
        int recorded = 0;
        bool inOrder = true;
        QStringList seen;
        for (qsizetype i = rig().store.itemCount() - 1; i >= 0; --i) {
            const ClipboardContent content = rig().store.itemAt(i).content();
            const QString text = content.isImage() ? QString() : content.textValue();
            if (text.startsWith(QStringLiteral("rapid %1.").arg(round)))
                seen.append(text);
        }
        recorded = int(seen.size());
        for (qsizetype i = 1; i < seen.size(); ++i)
            inOrder = inOrder && texts.indexOf(seen.at(i - 1)) < texts.indexOf(seen.at(i));
        state.counters["recorded"] = recorded;
        state.counters["of"] = copies;
        state.counters["in_order"] = inOrder ? 1 : 0;
        for (QProcess* owner : owners) {
            owner->kill();
            owner->waitForFinished(2000);
            delete owner;
        }
    }
}
BENCHMARK(BM_FiftyRapidCopies)->Unit(benchmark::kSecond)->Iterations(1);

// Five copies in the peer, each followed at once by switching to a terminal: how many are in the
// store, credited to the peer.
void BM_CopyThenSwitch(benchmark::State& state)
{
    Rig& r = rig();
    const std::optional<quint32> peerWindow = r.peer.showWindow();
    QProcess terminal;
    terminal.start(QStringLiteral("xterm"), {"-class", "TolviBenchTerm"});
    test::waitUntil([&] {
        const std::optional<RunningApplication> front = r.workspace.frontmostApplication();
        return front && front->identifier == QStringLiteral("TolviBenchTerm");
    }, 10000);
    const quint32 terminalWindow = r.workspace.activeWindow();
    if (!peerWindow || !terminalWindow) {
        state.SkipWithError("no windows (run under with-x11 --wm)");
        return;
    }
    test::activateUntil(*peerWindow, [&] { return r.workspace.activeWindow() == *peerWindow; });
    test::activateUntil(terminalWindow, [&] { return r.workspace.activeWindow() == terminalWindow; });
    test::waitUntil([&] { return r.activated.contains(terminal.processId()); }, 2000);
    r.logs.clear();
    constexpr int copies = 5;
    for (auto _ : state) {
        int credited = 0;
        int recorded = 0;
        for (int i = 0; i < copies; ++i) {
            // The user is in the peer (a moment after coming to it), copies and switches away.
            r.activated.clear();
            test::activateUntil(*peerWindow, [&] { return r.workspace.activeWindow() == *peerWindow; });
            test::waitUntil([&] { return r.activated.contains(r.peer.pid()); }, 2000);
            const QString text = QStringLiteral("copy then switch %1").arg(i);
            r.peer.copyText(text);
            QProcess::startDetached(QStringLiteral("xdotool"), {"windowactivate", QString::number(terminalWindow)});
            test::waitUntil([&] { return r.newestText() == text; }, 1500);
            if (r.newestText() == text) {
                ++recorded;
                const std::optional<ClipboardSourceApp> source = r.store.itemAt(0).sourceApp();
                if (source && source->bundleIdentifier() == QStringLiteral("TolviTestPeer"))
                    ++credited;
            }
            test::waitUntil([&] { return r.activated.contains(terminal.processId()); }, 2000);
            // A tick of the fallback timer while the terminal is in front.
            r.monitor.poll();
        }
        state.counters["recorded"] = recorded;
        state.counters["credited_to_source"] = credited;
        state.counters["skipped_as_switch"] =
            double(r.logs.count(QStringLiteral("Tolvi skipped clipboard change after source app transition")));
        state.counters["of"] = copies;
    }
    terminal.kill();
    terminal.waitForFinished(2000);
}
BENCHMARK(BM_CopyThenSwitch)->Unit(benchmark::kSecond)->Iterations(1);

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
