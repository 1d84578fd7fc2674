// Speed and memory of the history file with a large history: 10,000 text clips and 400 MB of
// images. Peak memory is read from the kernel's high-water mark (VmHWM), reset before each run.
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/JsonStreamWriter.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

using namespace tolvi;

namespace {

constexpr int textClipCount = 10'000;
constexpr int imageCount = 100;
constexpr int imageBytes = 4'000'000;

const ClipboardHistoryState& largeHistory()
{
    static const ClipboardHistoryState state = [] {
        ClipboardHistoryState s;
        quint64 x = 0x9E3779B97F4A7C15ull;
        for (int i = 0; i < imageCount; ++i) {
            QByteArray bytes(imageBytes, Qt::Uninitialized);
            auto* words = reinterpret_cast<quint64*>(bytes.data());
            for (int w = 0; w < imageBytes / 8; ++w) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                words[w] = x;
            }
            s.items.append(ClipboardItem(QUuid::createUuid(),
                                         ClipboardContent::image(ClipboardImage(bytes, QStringLiteral("public.png"),
                                                                                1920, 1080, QStringLiteral("text"))),
                                         700'000'000.0 + i * 0.001));
        }
        const QString sentence = QString::fromUtf8("The quick brown fox jumps over the lazy dog \xE2\x80\x94 caf\xC3\xA9 ");
        for (int i = 0; i < textClipCount; ++i) {
            s.items.append(ClipboardItem(QUuid::createUuid(), sentence.repeated(1 + i % 6) + QString::number(i),
                                         700'000'000.0 + i / 7.0, i % 50 == 0, {},
                                         ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("org.example.editor"))));
        }
        s.pinboards = DefaultPinboards::all();
        return s;
    }();
    return state;
}

long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0)
            return std::stol(line.substr(length + 1));
    }
    return -1;
}

// Resets the peak to the current size and returns the current size in bytes.
double resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKilobytes("VmRSS") * 1024.0;
}

double peakBytes()
{
    return statusKilobytes("VmHWM") * 1024.0;
}

class CountingSink final : public OutputSink {
public:
    void write(const char*, std::size_t size) override { total += size; }
    std::size_t total = 0;
};

FileClipboardHistoryPersistence::Options inlineOptions()
{
    return {[](std::function<void()> task) { task(); }, {}, {}};
}

} // namespace

static void BM_EncodeHistoryInMemoryStream(benchmark::State& state)
{
    const ClipboardHistoryState& history = largeHistory();
    std::size_t bytes = 0;
    double extra = 0;
    for (auto _ : state) {
        const double base = resetPeak();
        CountingSink sink;
        HistoryJsonCodec::encodeState(history, sink);
        bytes = sink.total;
        extra = peakBytes() - base;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["file_MB"] = bytes / 1e6;
    state.counters["peak_extra_MB"] = extra / 1e6;
}
BENCHMARK(BM_EncodeHistoryInMemoryStream)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_SaveHistoryFile(benchmark::State& state)
{
    const ClipboardHistoryState& history = largeHistory();
    QTemporaryDir dir;
    FileClipboardHistoryPersistence persistence(dir.filePath("Tolvi/history.json"), inlineOptions());
    double extra = 0;
    for (auto _ : state) {
        const double base = resetPeak();
        persistence.save(history);
        extra = std::max(extra, peakBytes() - base);
    }
    const qint64 size = QFileInfo(dir.filePath("Tolvi/history.json")).size();
    state.SetBytesProcessed(size * state.iterations());
    state.counters["file_MB"] = size / 1e6;
    state.counters["peak_extra_MB"] = extra / 1e6;
}
BENCHMARK(BM_SaveHistoryFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

static void BM_LoadHistoryFile(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tolvi/history.json");
    {
        FileClipboardHistoryPersistence writer(path, inlineOptions());
        writer.save(largeHistory());
    }
    const qint64 size = QFileInfo(path).size();
    FileClipboardHistoryPersistence persistence(path, inlineOptions());
    double extra = 0;
    for (auto _ : state) {
        const double base = resetPeak();
        ClipboardHistoryState loaded = persistence.load();
        extra = std::max(extra, peakBytes() - base);
        if (loaded.items.size() != largeHistory().items.size())
            state.SkipWithError("the loaded history differs");
    }
    state.SetBytesProcessed(size * state.iterations());
    state.counters["file_MB"] = size / 1e6;
    state.counters["peak_extra_MB"] = extra / 1e6;
    state.counters["peak_to_file"] = extra / size;
}
BENCHMARK(BM_LoadHistoryFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// enqueueSave on the calling thread while the writer is busy with the large history.
static void BM_EnqueueSaveDuringWrite(benchmark::State& state)
{
    const ClipboardHistoryState& history = largeHistory();
    QTemporaryDir dir;
    std::atomic<int> completions{0};
    std::mutex mutex;
    std::vector<std::function<void()>> mainQueue;
    FileClipboardHistoryPersistence persistence(
        dir.filePath("history.json"),
        {[&](std::function<void()> task) {
             std::lock_guard lock(mutex);
             mainQueue.push_back(std::move(task));
         },
         {},
         {}});
    int calls = 0;
    for (auto _ : state) {
        persistence.enqueueSave(history, [&](const SaveResult&) { ++completions; });
        ++calls;
    }
    persistence.flush();
    for (auto& task : mainQueue)
        task();
    if (completions.load() != calls)
        state.SkipWithError("lost completions");
    state.counters["writes"] = static_cast<double>(mainQueue.size());
}
BENCHMARK(BM_EnqueueSaveDuringWrite)->Unit(benchmark::kMicrosecond)->Iterations(1000);
