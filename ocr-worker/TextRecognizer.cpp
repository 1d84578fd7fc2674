#include "ocr-worker/TextRecognizer.h"

#include "ocr-protocol/OCRReadingOrder.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QStringList>

#include <algorithm>
#include <dlfcn.h>
#include <memory>
#include <vector>

namespace tolvi {

namespace {

// Screen text is small next to the print Tesseract was trained on. Small images (crops,
// snippets) are read at twice their size, which is cheap for them and helps 10-12 px text;
// full screenshots are read as they are, which keeps their latency in bounds.
constexpr qint64 enlargeUpToPixels = 1'000'000;
constexpr int sourceResolution = 96;

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
// made to run on the calling thread. The runtime comes in with the engine library, so it is
// looked up rather than linked; an engine built without OpenMP has nothing to limit.
void runEngineOnOneThread()
{
    using SetLevels = void (*)(int);
    if (auto setMaxActiveLevels = reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
        setMaxActiveLevels(0);
}

} // namespace

TextRecognizer::TextRecognizer() = default;

TextRecognizer::~TextRecognizer()
{
    if (m_api)
        m_api->End();
}

bool TextRecognizer::initialize()
{
    if (m_ready)
        return true;
    runEngineOnOneThread();
    m_api = std::make_unique<tesseract::TessBaseAPI>();
    // Diagnostics would otherwise go to standard error, which stays silent.
    m_api->SetVariable("debug_file", "/dev/null");
    if (m_api->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        m_api.reset();
        return false;
    }
    m_api->SetVariable("debug_file", "/dev/null");
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
    return grey;
}

std::optional<QString> TextRecognizer::recognize(const QImage& image, Mode mode)
{
    if (!m_ready || image.isNull())
        return std::nullopt;
    const QImage grey = prepare(image);
    m_api->SetPageSegMode(mode == Mode::lines ? tesseract::PSM_SPARSE_TEXT : tesseract::PSM_AUTO);
    m_api->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    m_api->SetSourceResolution(sourceResolution);
    std::optional<QString> text = mode == Mode::lines ? readLines(grey.width(), grey.height()) : readDocument();
    m_api->Clear();
    return text;
}

std::optional<QString> TextRecognizer::readLines(int width, int height)
{
    if (m_api->Recognize(nullptr) != 0)
        return std::nullopt;
    std::vector<OCRReadingOrder::Box> boxes;
    QStringList lines;
    std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
    if (it) {
        do {
            OwnedText raw(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!raw)
                continue;
            QString line = QString::fromUtf8(raw.get());
            while (line.endsWith(QLatin1Char('\n')))
                line.chop(1);
            if (line.trimmed().isEmpty())
                continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                continue;
            // Tesseract measures from the top left in pixels; the reading order works in
            // normalised coordinates with the origin at the lower left.
            boxes.push_back({double(left) / width, 1.0 - double(bottom) / height, double(right - left) / width,
                             double(bottom - top) / height});
            lines.append(line);
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    QStringList ordered;
    for (const int index : OCRReadingOrder::readingOrder(boxes))
        ordered.append(lines.at(index));
    return ordered.join(QLatin1Char('\n'));
}

std::optional<QString> TextRecognizer::readDocument()
{
    if (m_api->Recognize(nullptr) != 0)
        return std::nullopt;
    QStringList blocks;
    std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
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
    return blocks.join(QLatin1Char('\n'));
}

} // namespace tolvi
