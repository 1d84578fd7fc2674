// Accuracy and speed of the OCR worker on generated screenshot-like images.
//
//   CharacterErrorRate/<pixel size>: recognition through the worker's own recogniser (the
//     code the worker runs), over several fonts on light and dark screens; the counter "CER"
//     is edit distance / expected characters with runs of white space folded to one space.
//   WarmLatency: one 1440x900 screenshot per request to a running worker process.
//   StartToReady: worker start until its first reply (an empty PNG answers noText).
//   Counters on WarmLatency: "peakMB", the worker's peak resident memory; "workerCPUms", the
//     worker's CPU time per request summed over its threads (on a busy machine the latency
//     grows with what other programs take; this does not).

#include "OCRTextImages.h"
#include "WorkerProcess.h"
#include "ocr-protocol/OCRRasterPolicy.h"
#include "ocr-worker/TextRecognizer.h"
#include "ocr-worker/WorkerLoop.h"

#include <benchmark/benchmark.h>

#include <QRegularExpression>

#include <memory>

using namespace tolvi;

namespace {

const QStringList fonts{QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Serif"), QStringLiteral("Nimbus Sans"),
                        QStringLiteral("DejaVu Sans Mono")};

QString folded(const QString& text)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return QString(text).replace(space, QStringLiteral(" ")).trimmed();
}

TextRecognizer& recognizer()
{
    static TextRecognizer instance;
    instance.initialize();
    return instance;
}

void CharacterErrorRate(benchmark::State& state)
{
    const int pixelSize = int(state.range(0));
    const auto mode = state.range(1) == 0 ? TextRecognizer::Mode::lines : TextRecognizer::Mode::document;
    qint64 errors = 0;
    qint64 characters = 0;
    int images = 0;
    for (auto _ : state) {
        unsigned seed = 1;
        for (const QString& family : fonts) {
            for (const bool dark : {false, true}) {
                const auto shot = testing::renderScreenshot(QSize(1440, 900), family, pixelSize, dark, seed++);
                const QByteArray png = testing::encode(shot.image);
                const auto text = recognizer().recognize(OCRRasterPolicy::validatedImage(png), mode);
                const QString expected = folded(shot.lines.join(QLatin1Char('\n')));
                errors += testing::editDistance(folded(text.value_or(QString())), expected);
                characters += expected.size();
                ++images;
            }
        }
    }
    state.counters["CER"] = characters ? double(errors) / double(characters) : 1.0;
    state.counters["images"] = images;
}
BENCHMARK(CharacterErrorRate)
    ->ArgsProduct({{10, 12, 14, 16, 20, 28}, {0}})
    ->Args({14, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

QString workerPath()
{
    return QStringLiteral(TOLVI_OCR_WORKER_PATH);
}

void WarmLatency(benchmark::State& state)
{
    const auto shot = testing::renderScreenshot(QSize(1440, 900), QStringLiteral("DejaVu Sans"), 14, state.range(0) != 0, 7);
    const QByteArray png = testing::encode(shot.image);
    bench::WorkerProcess worker(workerPath());
    if (!worker.request(testing::encode(testing::renderLines({QStringLiteral("warm up")})))) {
        state.SkipWithError("worker did not answer");
        return;
    }
    const double cpuBefore = worker.cpuMilliseconds();
    qint64 requests = 0;
    for (auto _ : state) {
        const auto reply = worker.request(png);
        if (!reply || reply->kind != OCRWire::Response::Kind::recognized) {
            state.SkipWithError("no text recognised");
            return;
        }
        ++requests;
    }
    state.counters["peakMB"] = double(worker.peakResidentKilobytes()) / 1024.0;
    if (requests > 0 && cpuBefore >= 0)
        state.counters["workerCPUms"] = (worker.cpuMilliseconds() - cpuBefore) / double(requests);
}
BENCHMARK(WarmLatency)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void StartToReady(benchmark::State& state)
{
    QImage blank(64, 64, QImage::Format_RGB32);
    blank.fill(Qt::white);
    const QByteArray png = testing::encode(blank);
    for (auto _ : state) {
        bench::WorkerProcess worker(workerPath());
        const auto reply = worker.request(png);
        state.PauseTiming();
        if (!reply || reply->kind != OCRWire::Response::Kind::noText)
            state.SkipWithError("worker did not answer noText");
        worker.finish();
        state.ResumeTiming();
    }
}
BENCHMARK(StartToReady)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace
