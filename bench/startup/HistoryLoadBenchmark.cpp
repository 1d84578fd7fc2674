// Loading the generated histories of StartupBenchmark inside this process: the history file's
// load() alone, and the history store's creation (load and indexes), each timed as wall time,
// with the CPU time of the whole process (all threads) as the CPU column, the memory they leave
// behind (RSS after minus before) and the peak above the start (VmHWM, reset before each run
// through /proc/self/clear_refs).
//
// Run: build/test/bench/startup/HistoryLoadBenchmark
#include "GeneratedHistory.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/store/ClipboardStore.h"

#include <benchmark/benchmark.h>

#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <fstream>
#include <string>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

double statusMB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line[length] == ':')
            return std::stod(line.substr(length + 1)) / 1024.0;
    }
    return -1;
}

// Hands freed memory back first, so that the next run starts from what is really in use.
double resetPeak()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusMB("VmRSS");
}

FileClipboardHistoryPersistence::Options inlineOptions()
{
    FileClipboardHistoryPersistence::Options options;
    options.mainExecutor = [](std::function<void()> task) { task(); };
    return options;
}

void loadHistoryFile(benchmark::State& state, HistoryShape shape)
{
    const GeneratedHistory& generated = generatedHistory(shape);
    FileClipboardHistoryPersistence persistence(generated.historyPath(), inlineOptions());
    double retained = 0, peak = 0;
    for (auto _ : state) {
        const double base = resetPeak();
        {
            ClipboardHistoryState loaded = persistence.load();
            if (loaded.items.size() != generated.clipCount)
                state.SkipWithError("the loaded history differs");
            retained = statusMB("VmRSS") - base;
            peak = statusMB("VmHWM") - base;
        }
    }
    state.counters["file_MB"] = generated.fileMB;
    state.counters["decoded_MB"] = generated.decodedMB;
    state.counters["retained_MB"] = retained;
    state.counters["peak_extra_MB"] = peak;
}

void createStore(benchmark::State& state, HistoryShape shape)
{
    const GeneratedHistory& generated = generatedHistory(shape);
    double retained = 0, peak = 0;
    for (auto _ : state) {
        const double base = resetPeak();
        {
            ClipboardStore store(std::make_shared<FileClipboardHistoryPersistence>(generated.historyPath(), inlineOptions()),
                                 ClipboardStore::Configuration::standard());
            if (store.itemCount() != generated.clipCount)
                state.SkipWithError("the store holds another history");
            retained = statusMB("VmRSS") - base;
            peak = statusMB("VmHWM") - base;
        }
    }
    state.counters["decoded_MB"] = generated.decodedMB;
    state.counters["retained_MB"] = retained;
    state.counters["peak_extra_MB"] = peak;
}

} // namespace

int main(int argc, char** argv)
{
    for (const HistoryShape& shape : historyShapes()) {
        if (shape.texts == 0 && shape.images == 0)
            continue;
        benchmark::RegisterBenchmark((std::string("LoadHistoryFile/") + shape.name).c_str(), loadHistoryFile, shape)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime()
            ->Iterations(5);
        benchmark::RegisterBenchmark((std::string("CreateStore/") + shape.name).c_str(), createStore, shape)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime()
            ->Iterations(5);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
