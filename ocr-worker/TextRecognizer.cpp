#include "ocr-worker/TextRecognizer.h"

#include "ocr-protocol/OCRReadingOrder.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace tolvi {

namespace {

// Screen text is small next to the print Tesseract was trained on. Small images (crops,
// snippets) are read at twice their size, which is cheap for them and helps 10-12 px text;
// full screenshots are read as they are, which keeps their latency in bounds.
constexpr qint64 enlargeUpToPixels = 1'000'000;
constexpr int sourceResolution = 96;

// Cutting an image in two pays off only for large images (screenshots, not snippets). The cut
// lies within the middle half of the image, in a band of at least three rows without a
// strong step between neighbouring pixels (text always has such steps; a change of panel
// colour across a row does not).
constexpr qint64 splitFromPixels = 400'000;
constexpr int splitMinimumHeight = 96;
constexpr int emptyBandRows = 3;
constexpr int inkStep = 24;

struct TextDeleter {
    void operator()(char* text) const { delete[] text; }
};
using OwnedText = std::unique_ptr<char, TextDeleter>;

// Grey value of every pixel, composed over white.
QImage toGrey(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_Grayscale8);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QImage grey(argb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            out[x] = uchar((qGray(in[x]) * alpha + 255 * (255 - alpha)) / 255);
        }
    }
    return grey;
}

// Debian's Tesseract runs parts of recognition in OpenMP thread teams whose idle threads
// spin. For one image at a time that buys little, and several processes recognising at once
// (or a busy desktop) slow each other down by orders of magnitude. Every parallel region is
// made to run on the calling thread. The limit belongs to the calling thread (threads start
// with the runtime's defaults), so every thread that runs the engine sets it. The runtime comes
// in with the engine library, so it is looked up rather than linked; an engine built without
// OpenMP has nothing to limit.
void runEngineOnOneThread()
{
    using SetLevels = void (*)(int);
    if (auto setMaxActiveLevels = reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
        setMaxActiveLevels(0);
}

} // namespace

TextRecognizer::TextRecognizer(int engines) : m_wantedEngines(std::max(1, engines)) {}

TextRecognizer::~TextRecognizer()
{
    for (auto& engine : m_engines)
        engine->End();
}

bool TextRecognizer::initialize()
{
    if (m_ready)
        return true;
    runEngineOnOneThread();
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> engines;
    for (int i = 0; i < m_wantedEngines; ++i) {
        engines.push_back(std::make_unique<tesseract::TessBaseAPI>());
        // Diagnostics would otherwise go to standard error, which stays silent. Set here, on
        // this thread, before any engine loads.
        engines.back()->SetVariable("debug_file", "/dev/null");
    }
    // Each engine loads its own model; they load side by side, so two cost about the time of one.
    std::vector<int> results(engines.size(), -1);
    std::vector<std::thread> loaders;
    for (size_t i = 1; i < engines.size(); ++i) {
        try {
            loaders.emplace_back([&engines, &results, i] {
                runEngineOnOneThread();
                results[i] = engines[i]->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY);
            });
        } catch (const std::system_error&) {
            break; // no thread: fewer engines
        }
    }
    results[0] = engines[0]->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY);
    for (std::thread& loader : loaders)
        loader.join();
    for (size_t i = 0; i < engines.size(); ++i) {
        if (results[i] != 0) {
            if (i == 0)
                return false;
            continue;
        }
        engines[i]->SetVariable("debug_file", "/dev/null");
        m_engines.push_back(std::move(engines[i]));
    }
    m_ready = true;
    return true;
}

QImage TextRecognizer::prepare(const QImage& image, int* scale)
{
    QImage grey = toGrey(image);
    // Light text on a dark background: the engine reads dark on light best. The median
    // brightness tells which of the two covers most of the image.
    std::vector<int> histogram(256, 0);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++histogram[line[x]];
    }
    const qint64 half = qint64(grey.width()) * grey.height() / 2;
    qint64 seen = 0;
    int median = 255;
    for (int value = 0; value < 256; ++value) {
        seen += histogram[value];
        if (seen > half) {
            median = value;
            break;
        }
    }
    if (median < 128)
        grey.invertPixels();
    int factor = 1;
    if (qint64(grey.width()) * grey.height() <= enlargeUpToPixels)
        factor = 2;
    if (factor != 1)
        grey = grey.scaled(grey.size() * factor, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scale)
        *scale = factor;
    // The engines are handed one byte per pixel.
    if (grey.format() != QImage::Format_Grayscale8)
        grey = grey.convertToFormat(QImage::Format_Grayscale8);
    return grey;
}

std::optional<int> TextRecognizer::splitRow(const QImage& grey)
{
    const int width = grey.width();
    const int height = grey.height();
    if (grey.format() != QImage::Format_Grayscale8 || qint64(width) * height < splitFromPixels
        || height < splitMinimumHeight)
        return std::nullopt;
    auto empty = [&](int y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 1; x < width; ++x) {
            if (std::abs(int(line[x]) - int(line[x - 1])) > inkStep)
                return false;
        }
        return true;
    };
    // Rows outward from the middle; the first band of empty rows found wins.
    const int middle = height / 2;
    for (int distance = 0; distance <= height / 4; ++distance) {
        for (const int y : {middle - distance, middle + distance}) {
            if (y - emptyBandRows / 2 < 0 || y + emptyBandRows / 2 >= height)
                continue;
            bool band = true;
            for (int row = y - emptyBandRows / 2; band && row <= y + emptyBandRows / 2; ++row)
                band = empty(row);
            if (band)
                return y;
        }
    }
    return std::nullopt;
}

std::optional<QString> TextRecognizer::recognize(const QImage& image, Mode mode)
{
    if (!m_ready || image.isNull())
        return std::nullopt;
    const QImage grey = prepare(image);
    if (mode == Mode::document)
        return readDocument(grey);

    std::vector<Line> lines;
    const std::optional<int> split = m_engines.size() > 1 ? splitRow(grey) : std::nullopt;
    bool read = false;
    if (split) {
        std::optional<std::vector<Line>> lower;
        std::thread helper;
        try {
            helper = std::thread([&] {
                runEngineOnOneThread();
                lower = readLines(*m_engines[1], grey, *split, grey.height() - *split);
            });
        } catch (const std::system_error&) {
        }
        if (helper.joinable()) {
            auto upper = readLines(*m_engines[0], grey, 0, *split);
            helper.join();
            if (!upper || !lower)
                return std::nullopt;
            lines = std::move(*upper);
            lines.insert(lines.end(), lower->begin(), lower->end());
            read = true;
        }
    }
    if (!read) {
        auto whole = readLines(*m_engines[0], grey, 0, grey.height());
        if (!whole)
            return std::nullopt;
        lines = std::move(*whole);
    }

    // Tesseract measures from the top left in pixels; the reading order works in normalised
    // coordinates with the origin at the lower left.
    std::vector<OCRReadingOrder::Box> boxes;
    boxes.reserve(lines.size());
    const double width = grey.width();
    const double height = grey.height();
    for (const Line& line : lines) {
        const QRect& box = line.box;
        boxes.push_back({box.left() / width, 1.0 - (box.top() + box.height()) / height, box.width() / width,
                         box.height() / height});
    }
    QStringList ordered;
    for (const int index : OCRReadingOrder::readingOrder(boxes))
        ordered.append(lines.at(size_t(index)).text);
    return ordered.join(QLatin1Char('\n'));
}

std::optional<std::vector<TextRecognizer::Line>> TextRecognizer::readLines(tesseract::TessBaseAPI& engine,
                                                                           const QImage& grey, int top, int height)
{
    engine.SetPageSegMode(tesseract::PSM_SPARSE_TEXT);
    engine.SetImage(grey.constScanLine(top), grey.width(), height, 1, int(grey.bytesPerLine()));
    engine.SetSourceResolution(sourceResolution);
    if (engine.Recognize(nullptr) != 0) {
        engine.Clear();
        return std::nullopt;
    }
    std::vector<Line> lines;
    std::unique_ptr<tesseract::ResultIterator> it(engine.GetIterator());
    if (it) {
        do {
            OwnedText raw(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!raw)
                continue;
            QString text = QString::fromUtf8(raw.get());
            while (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
            if (text.trimmed().isEmpty())
                continue;
            int left = 0, boxTop = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &boxTop, &right, &bottom))
                continue;
            lines.push_back({text, QRect(QPoint(left, boxTop + top), QPoint(right - 1, bottom + top - 1))});
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    it.reset();
    engine.Clear();
    return lines;
}

std::optional<QString> TextRecognizer::readDocument(const QImage& grey)
{
    tesseract::TessBaseAPI& engine = *m_engines[0];
    engine.SetPageSegMode(tesseract::PSM_AUTO);
    engine.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    engine.SetSourceResolution(sourceResolution);
    if (engine.Recognize(nullptr) != 0) {
        engine.Clear();
        return std::nullopt;
    }
    QStringList blocks;
    std::unique_ptr<tesseract::ResultIterator> it(engine.GetIterator());
    if (it) {
        do {
            OwnedText raw(it->GetUTF8Text(tesseract::RIL_BLOCK));
            if (!raw)
                continue;
            const QString block = QString::fromUtf8(raw.get()).trimmed();
            if (!block.isEmpty())
                blocks.append(block);
        } while (it->Next(tesseract::RIL_BLOCK));
    }
    it.reset();
    engine.Clear();
    return blocks.join(QLatin1Char('\n'));
}

} // namespace tolvi
