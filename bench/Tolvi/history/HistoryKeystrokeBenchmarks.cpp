// What the user feels typing in the history window's search field: the real window is shown
// with 10,000 or 100,000 texts of about 2.5 KB, read from the history file's form and prepared as
// after start-up, and left to settle;
// then each key goes to the window as the platform delivers it (a key event posted to the
// window, and turned through the event loop), and the time runs until the window has painted
// the list for the new text: everything the program does between the two (queued calls, timers,
// the search, the list model, layout and painting) is in it.
// The keys: a clip's name typed a character at a time (the first one the first search after
// start-up; the early ones match nearly every clip, the last ones a single clip), deleted back a
// character at a time, then a word one clip in ten holds and a character that leaves none, and
// that character deleted again.
// Counters (milliseconds): first_ms (the first keystroke), typing_max_ms / typing_mean_ms (later
// typed characters), backspace_max_ms / backspace_mean_ms, slowest_ms, main_cpu_mean_ms (the
// main thread's own processor time a keystroke, which a busy machine blurs less); first_search_MB:
// resident memory after the first keystroke painted less before it (search prepared, settled).
//   HistoryKeystrokeBenchmarks [--benchmark_filter=...]
// TOLVI_BENCH_TRACE=1 prints each keystroke's time; TOLVI_BENCH_PERF_CONTROL names the control
// FIFO of `perf record --control=fifo:<path> -D -1`, which then records the keystrokes only.
#include "Tolvi/clipviews/ClipListModel.h"
#include "Tolvi/clipviews/PartitionedClipSearch.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/store/ClipboardStore.h"

#include "BenchmarkHistory.h"
#include "GeneratedHistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QRandomGenerator>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <map>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

const ClipboardHistoryState& textsHistory(int count)
{
    static std::map<int, ClipboardHistoryState> histories;
    auto found = histories.find(count);
    if (found != histories.end())
        return found->second;
    QRandomGenerator random(7);
    QList<ClipboardItem> items;
    items.reserve(count);
    const double now = ReferenceDate::now();
    for (int i = 0; i < count; ++i) {
        items.append(ClipboardItem(QUuid::createUuid(), ordinaryText(i, random), now - i * 13.0, false, {},
                                   ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("org.example.editor"))));
    }
    // Through the history file's form, so that the clips are held as after a load (long ASCII
    // texts as their bytes).
    const QByteArray file = HistoryJsonCodec::encodeState(ClipboardHistoryState{items, DefaultPinboards::all()});
    return histories.emplace(count, HistoryJsonCodec::decodeState(file)).first->second;
}

// The main thread's own processor time, in milliseconds.
double mainThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double residentMB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Turns the event loop for `ms` milliseconds.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Notes paints of the window's widgets made once the list shows the results of the field's
// current text.
class PaintWatcher : public QObject {
public:
    PaintWatcher(ClipboardHistoryPanel& view, QWidget* window) : m_view(view), m_window(window)
    {
        qApp->installEventFilter(this);
    }
    ~PaintWatcher() override { qApp->removeEventFilter(this); }

    void arm(const QElapsedTimer* timer)
    {
        m_painted = false;
        m_timer = timer;
    }
    bool painted() const { return m_painted; }
    // When the paint began, in milliseconds of the timer given to arm().
    double paintedAt() const { return m_paintedAt; }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_painted && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->window() == m_window && showsResults()) {
            m_painted = true;
            m_paintedAt = m_timer ? double(m_timer->nsecsElapsed()) / 1e6 : 0;
        }
        return false;
    }

private:
    // The state searched the field's text and the list holds its result.
    bool showsResults() const
    {
        const HistoryWindowState& state = m_view.state();
        if (state.query() != m_view.searchField()->text())
            return false;
        const QList<ClipboardItem>& results = state.filteredItems();
        const ClipListModel& model = m_view.model();
        if (model.rowCount() != results.size())
            return false;
        return results.isEmpty()
            || (model.itemAt(0)->id() == results.first().id() && model.itemAt(int(results.size()) - 1)->id() == results.last().id());
    }

    ClipboardHistoryPanel& m_view;
    QWidget* m_window;
    bool m_painted = false;
    const QElapsedTimer* m_timer = nullptr;
    double m_paintedAt = 0;
};

// Switches a perf recording on and off around the keystrokes (TOLVI_BENCH_PERF_CONTROL).
void perfControl(const char* command)
{
    static const QByteArray path = qgetenv("TOLVI_BENCH_PERF_CONTROL");
    if (path.isEmpty())
        return;
    std::ofstream control(path.constData());
    control << command << '\n';
}

struct Key {
    int key;
    QString text; // empty for backspace
};

QList<Key> keySequence()
{
    QList<Key> keys;
    auto type = [&keys](const QString& text) {
        for (const QChar c : text) {
            const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A')
                : c.isDigit()            ? Qt::Key_0 + (c.unicode() - '0')
                                         : Qt::Key_Space;
            keys.append({c.unicode() > 127 ? int(Qt::Key_unknown) : key, QString(c)});
        }
    };
    auto erase = [&keys](int count) {
        for (int i = 0; i < count; ++i)
            keys.append({Qt::Key_Backspace, QString()});
    };
    type(QStringLiteral("clip 4217:"));
    erase(10);
    type(QString::fromUtf8("caf\xC3\xA9x"));
    erase(1);
    return keys;
}

enum class KeyKind { first, typed, backspace };

struct Window {
    explicit Window(const ClipboardHistoryState& state)
        : store(std::make_shared<PreparedHistory>(state), uncappedConfiguration())
    {
    }

    std::unique_ptr<ClipboardPanelController> makeController()
    {
        return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, nullptr, nullptr, {}, {}, nullptr,
            nullptr, &thumbnails, {}, {}, {}});
    }

    ClipboardStore store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    InMemoryPasteboard pasteboard;
    PasteService paste{pasteboard, inertPasteEnvironment()};
    ThumbnailCache thumbnails;
};

void BM_TypingInShownWindow(benchmark::State& state)
{
    const ClipboardHistoryState& history = textsHistory(int(state.range(0)));
    const QList<Key> keys = keySequence();
    std::map<KeyKind, std::vector<double>> times;
    double firstSearchMB = -1;
    double keystrokes = 0;
    std::vector<double> mainCpu;
    for (auto _ : state) {
        PartitionedClipSearch::shared().clearCaches();
        Window window(history);
        // As at start-up: search prepares the loaded history in the background.
        PartitionedClipSearch::shared().prepare(window.store.items());
        std::unique_ptr<ClipboardPanelController> controller = window.makeController();
        controller->show(false);
        ClipboardHistoryPanel* view = controller->view();
        QWidget* top = view->window();
        QWindow* handle = top->windowHandle();
        PartitionedClipSearch::shared().waitUntilPrepared();
        settle(300);
        if (!view->searchField()->hasFocus()) {
            state.SkipWithError("the search field has no focus");
            break;
        }
        PaintWatcher watcher(*view, top);
        malloc_trim(0);
        const double before = residentMB();
        double total = 0;
        QString expected;
        perfControl("enable");
        for (qsizetype k = 0; k < keys.size(); ++k) {
            const Key& key = keys[k];
            if (key.text.isEmpty())
                expected.chop(1);
            else
                expected += key.text;
            QElapsedTimer timer;
            timer.start();
            const double cpuBefore = mainThreadCpuMs();
            watcher.arm(&timer);
            double searchedMs = 0;
            const QMetaObject::Connection searched =
                QObject::connect(&view->state(), &HistoryWindowState::filteredItemsChanged, [&] {
                    searchedMs = double(timer.nsecsElapsed()) / 1e6;
                });
            QCoreApplication::postEvent(handle, new QKeyEvent(QEvent::KeyPress, key.key, Qt::NoModifier, key.text));
            QCoreApplication::postEvent(handle, new QKeyEvent(QEvent::KeyRelease, key.key, Qt::NoModifier, key.text));
            while (!watcher.painted()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
                if (timer.elapsed() > 20'000)
                    break;
            }
            // The paint is flushed with the rest of the events it came with.
            QCoreApplication::processEvents();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            mainCpu.push_back(mainThreadCpuMs() - cpuBefore);
            QObject::disconnect(searched);
            if (!watcher.painted() || view->searchField()->text() != expected) {
                state.SkipWithError("the window did not show the typed text's results");
                break;
            }
            total += ms;
            times[k == 0 ? KeyKind::first : key.text.isEmpty() ? KeyKind::backspace : KeyKind::typed].push_back(ms);
            if (k == 0 && firstSearchMB < 0) {
                malloc_trim(0);
                firstSearchMB = residentMB() - before;
            }
            if (qEnvironmentVariableIsSet("TOLVI_BENCH_TRACE"))
                fprintf(stderr, "%-12s %7.2f ms  %lld rows, searched at %.2f ms, painting from %.2f ms\n",
                        qPrintable(expected), ms, static_cast<long long>(view->model().rowCount()), searchedMs,
                        watcher.paintedAt());
            // Keys come from a person, not all at once.
            settle(20);
        }
        perfControl("disable");
        keystrokes += double(keys.size());
        state.SetIterationTime(total / 1000.0 / double(keys.size()));
        controller.reset();
        QCoreApplication::processEvents();
    }
    auto mean = [](const std::vector<double>& values) {
        double sum = 0;
        for (double v : values)
            sum += v;
        return values.empty() ? 0.0 : sum / double(values.size());
    };
    auto most = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    };
    state.counters["first_ms"] = mean(times[KeyKind::first]);
    state.counters["first_max_ms"] = most(times[KeyKind::first]);
    state.counters["typing_mean_ms"] = mean(times[KeyKind::typed]);
    state.counters["typing_max_ms"] = most(times[KeyKind::typed]);
    state.counters["backspace_mean_ms"] = mean(times[KeyKind::backspace]);
    state.counters["backspace_max_ms"] = most(times[KeyKind::backspace]);
    state.counters["slowest_ms"] = std::max({most(times[KeyKind::first]), most(times[KeyKind::typed]),
                                             most(times[KeyKind::backspace])});
    state.counters["main_cpu_mean_ms"] = mean(mainCpu);
    state.counters["first_search_MB"] = firstSearchMB;
    state.counters["keystrokes"] = keystrokes;
}
BENCHMARK(BM_TypingInShownWindow)->ArgName("texts")->Arg(10'000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingInShownWindow)->ArgName("texts")->Arg(100'000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
