// The history window's filter controls with a large mixed history (texts, links, code and
// images from forty applications, some pinned and filed on boards, over two months): choosing a
// scope or a category, or toggling one Power Search filter, to the window painted again; and
// building the Power Search menu with its application submenu right after the history changed.
//   HistoryFilterBenchmarks [--benchmark_filter=...]
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryFilterBars.h"
#include "Tolvi/history/HistoryHeader.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/history/PowerSearchMenu.h"
#include "Tolvi/clipviews/ThumbnailCache.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include "BenchmarkHistory.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLayout>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <functional>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

const QStringList& words = clipWords();

QByteArray smallPng(int index)
{
    QImage image(96, 60, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(index * 7 % 360, 160, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// `count` clips, newest first: mostly prose, one in eight a link, one in eight code, one in fifty
// an image (every other one with recognised text); two in a hundred pinned, half of those on a
// board; forty source applications (a few known by name only); spread over the last sixty days.
ClipboardHistoryState history(int count)
{
    QRandomGenerator random(11);
    QList<ClipboardItem> items;
    items.reserve(count);
    const double now = ReferenceDate::now();
    const QList<Pinboard>& boards = DefaultPinboards::all();
    for (int i = 0; i < count; ++i) {
        const double createdAt = now - i * (60.0 * 86'400.0 / count);
        std::optional<ClipboardSourceApp> app;
        if (i % 17 != 0) {
            const int n = random.bounded(40);
            app = n < 4 ? ClipboardSourceApp(QStringLiteral("Tool %1").arg(n))
                        : ClipboardSourceApp(QStringLiteral("App %1").arg(n), QStringLiteral("org.example.app%1").arg(n));
        }
        const bool pinned = i % 50 == 3;
        QList<QUuid> onBoards;
        if (pinned && i % 100 == 3)
            onBoards.append(boards.at(random.bounded(int(boards.size()))).id());
        if (i % 50 == 25) {
            std::optional<QString> text;
            if (i % 100 == 25)
                text = QStringLiteral("receipt %1 total").arg(i);
            ClipboardImage image(smallPng(i), QStringLiteral("public.png"), 96, 60, text);
            items.append(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image), createdAt, pinned, onBoards,
                                       app));
            continue;
        }
        QString text;
        if (i % 8 == 1) {
            text = QStringLiteral("https://example.com/%1/%2").arg(words[random.bounded(int(words.size()))]).arg(i);
        } else if (i % 8 == 2) {
            text = QStringLiteral("let %1 = %2(%3);").arg(words[random.bounded(int(words.size()))],
                                                         words[random.bounded(int(words.size()))])
                       .arg(i);
        } else {
            const int wordCount = 3 + random.bounded(30);
            for (int w = 0; w < wordCount; ++w) {
                if (w)
                    text += QLatin1Char(' ');
                text += words[random.bounded(int(words.size()))];
            }
        }
        items.append(ClipboardItem(QUuid::createUuid(), text, createdAt, pinned, onBoards, app));
    }
    return {items, boards};
}

const ClipboardHistoryState& historyFor(const benchmark::State& state)
{
    static const ClipboardHistoryState tenThousand = history(10'000);
    static const ClipboardHistoryState hundredThousand = history(100'000);
    return state.range(0) == 10'000 ? tenThousand : hundredThousand;
}

// The history window with the header and the filter controls in their places, shown.
struct Window {
    explicit Window(const ClipboardHistoryState& state)
        : store(std::make_shared<PreparedHistory>(state), uncappedConfiguration())
    {
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, nullptr, nullptr, {}, {},
            nullptr, nullptr, &thumbnails, {}, {}, {}});
        controller->show(false);
        HistoryWindowState& windowState = *controller->windowState();
        ClipboardHistoryPanel* view = controller->view();
        header = new HistoryHeader(windowState, nullptr);
        scopes = new ScopeBar(windowState);
        power = new PowerSearchButton(windowState);
        categories = new CategoryBar(windowState);
        filters = new ActiveFilterBar(windowState);
        for (QWidget* widget : std::initializer_list<QWidget*>{header, scopes, power})
            view->headerPlace()->layout()->addWidget(widget);
        view->filterBarPlace()->layout()->addWidget(categories);
        view->filterBarPlace()->layout()->addWidget(filters);
        view->filterBarPlace()->show();
        view->updatePlaces();
        QCoreApplication::processEvents();
        paint();
    }

    HistoryWindowState& state() const { return *controller->windowState(); }

    // Paints the window as the screen would get it.
    void paint()
    {
        QWidget* panel = controller->panel();
        if (target.size() != panel->size())
            target = QImage(panel->size(), QImage::Format_ARGB32_Premultiplied);
        panel->render(&target);
    }

    QAction* powerSearchAction(const std::function<QAction*(PowerSearchMenu&)>& find)
    {
        PowerSearchMenu& menu = *power->powerSearchMenu();
        menu.rebuild();
        return find(menu);
    }

    ClipboardStore store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    InMemoryPasteboard pasteboard;
    PasteService paste{pasteboard, inertPasteEnvironment()};
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
    HistoryHeader* header = nullptr;
    ScopeBar* scopes = nullptr;
    PowerSearchButton* power = nullptr;
    CategoryBar* categories = nullptr;
    ActiveFilterBar* filters = nullptr;
    QImage target;
};

// Runs `steps` in turn, one per iteration, timing each from the control's action to the window
// painted; reports the slowest step.
void runSteps(benchmark::State& state, Window& window, const QList<std::function<void()>>& steps)
{
    qsizetype step = 0;
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        steps[step]();
        window.paint();
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
        step = (step + 1) % steps.size();
    }
    state.counters["slowest_ms"] = slowest;
    state.counters["shown"] = double(window.state().filteredItems().size());
}

// History, Pinned, each board, in the strip.
void BM_ChooseScopeToRepaint(benchmark::State& state)
{
    Window window(historyFor(state));
    QList<std::function<void()>> steps;
    for (FilterChoiceChip* chip : window.scopes->scopeButtons())
        steps.append([chip] { chip->click(); });
    runSteps(state, window, steps);
}
BENCHMARK(BM_ChooseScopeToRepaint)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// All, Text, Images, Links, Code, in the category bar.
void BM_ChooseCategoryToRepaint(benchmark::State& state)
{
    Window window(historyFor(state));
    QList<std::function<void()>> steps;
    for (FilterChoiceChip* chip : window.categories->categoryButtons())
        steps.append([chip] { chip->click(); });
    runSteps(state, window, steps);
}
BENCHMARK(BM_ChooseCategoryToRepaint)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// One Power Search entry at a time, each switched on and off again: OCR Text Only, Today,
// Last 30 days, one application.
void BM_TogglePowerSearchFilterToRepaint(benchmark::State& state)
{
    Window window(historyFor(state));
    auto date = [&window](ClipboardSearchDateFilter filter) {
        return [&window, filter] {
            window.powerSearchAction([filter](PowerSearchMenu& menu) {
                for (QAction* action : menu.dateMenu()->actions()) {
                    if (action->data().toInt() == int(filter))
                        return action;
                }
                return static_cast<QAction*>(nullptr);
            })->trigger();
        };
    };
    auto app = [&window](std::optional<QString> id) {
        return [&window, id] {
            window.powerSearchAction([id](PowerSearchMenu& menu) {
                for (QAction* action : menu.sourceAppMenu()->actions()) {
                    if (action->isCheckable() && (id ? action->data().toString() == *id : !action->data().isValid()))
                        return action;
                }
                return static_cast<QAction*>(nullptr);
            })->trigger();
        };
    };
    auto ocr = [&window] { window.powerSearchAction([](PowerSearchMenu& menu) { return menu.ocrTextOnlyAction(); })->trigger(); };
    const QList<std::function<void()>> steps{ocr,
                                             ocr,
                                             date(ClipboardSearchDateFilter::today),
                                             date(ClipboardSearchDateFilter::anyTime),
                                             date(ClipboardSearchDateFilter::last30Days),
                                             date(ClipboardSearchDateFilter::anyTime),
                                             app(QStringLiteral("org.example.app7")),
                                             app(std::nullopt)};
    runSteps(state, window, steps);
}
BENCHMARK(BM_TogglePowerSearchFilterToRepaint)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// The Power Search menu made as it opens, right after the history changed (so the applications
// are collected from every clip again).
void BM_BuildSourceAppMenuAfterHistoryChange(benchmark::State& state)
{
    Window window(historyFor(state));
    PowerSearchMenu& menu = *window.power->powerSearchMenu();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.store.record(QStringLiteral("new clip %1").arg(n++), ReferenceDate::now(),
                            ClipboardSourceApp(QStringLiteral("Fresh App"), QStringLiteral("org.example.fresh")));
        state.ResumeTiming();
        menu.rebuild();
    }
    state.counters["apps"] = double(window.state().sourceAppOptions().size());
}
BENCHMARK(BM_BuildSourceAppMenuAfterHistoryChange)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace
