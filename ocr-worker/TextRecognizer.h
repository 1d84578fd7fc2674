#pragma once

// Text recognition of one decoded image with Tesseract 5 (LSTM engine, English).
//
// Two ways to read a page:
// - lines: sparse-text segmentation (every text fragment found on its own, fragments that
//   share a baseline stay apart), one result per text line with its box; the lines are put
//   into reading order by OCRReadingOrder and joined with line feeds. This is how the worker
//   reads every image. A large image is cut at an empty band of rows near its middle and the
//   two parts are read at the same time by two engines; no text line crosses such a band.
// - document: full page layout analysis; Tesseract's own block order decides, and each
//   block's transcript is joined to the next with a line feed.

#include <QImage>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace tolvi {

class TextRecognizer {
public:
    enum class Mode { lines, document };

    // `engines`: how many parts of one image may be read at once (each engine holds its own
    // copy of the model, about 14 MB).
    explicit TextRecognizer(int engines = 2);
    ~TextRecognizer();
    TextRecognizer(const TextRecognizer&) = delete;
    TextRecognizer& operator=(const TextRecognizer&) = delete;

    // Loads the engines and the English model, all at once; false when not even one engine
    // could be loaded. Call once.
    bool initialize();
    bool isReady() const { return m_ready; }

    // The recognised text, untrimmed; no value when recognition could not run.
    std::optional<QString> recognize(const QImage& image, Mode mode = Mode::lines);

    // Grey image handed to the engine: alpha composed onto white, light text on a dark
    // background inverted, small images enlarged. Exposed for tests and measurements.
    static QImage prepare(const QImage& image, int* scale = nullptr);

    // The row at which a prepared image is cut into two parts read at the same time: the
    // middle of an empty band of rows near the middle of the image. No value for an image too
    // small to be worth it or without such a band.
    static std::optional<int> splitRow(const QImage& grey);

    int engineCount() const { return int(m_engines.size()); }

private:
    struct Line {
        QString text;
        QRect box; // in the pixels of the prepared image
    };
    // Lines of rows [top, top + height) of `grey`.
    static std::optional<std::vector<Line>> readLines(tesseract::TessBaseAPI& engine, const QImage& grey, int top,
                                                      int height);
    std::optional<QString> readDocument(const QImage& grey);

    const int m_wantedEngines;
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> m_engines;
    bool m_ready = false;
};

} // namespace tolvi
