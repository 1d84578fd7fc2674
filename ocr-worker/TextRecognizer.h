#pragma once

// Text recognition of one decoded image with Tesseract 5 (LSTM engine, English).
//
// Two ways to read a page:
// - lines: sparse-text segmentation (every text fragment found on its own, fragments that
//   share a baseline stay apart), one result per text line with its box; the lines are put
//   into reading order by OCRReadingOrder and joined with line feeds. This is how the worker
//   reads every image.
// - document: full page layout analysis; Tesseract's own block order decides, and each
//   block's transcript is joined to the next with a line feed.

#include <QImage>
#include <QString>

#include <memory>
#include <optional>

namespace tesseract {
class TessBaseAPI;
}

namespace tolvi {

class TextRecognizer {
public:
    enum class Mode { lines, document };

    TextRecognizer();
    ~TextRecognizer();
    TextRecognizer(const TextRecognizer&) = delete;
    TextRecognizer& operator=(const TextRecognizer&) = delete;

    // Loads the engine and the English model; false when that failed. Call once.
    bool initialize();
    bool isReady() const { return m_ready; }

    // The recognised text, untrimmed; no value when recognition could not run.
    std::optional<QString> recognize(const QImage& image, Mode mode = Mode::lines);

    // Grey image handed to the engine: alpha composed onto white, light text on a dark
    // background inverted, small images enlarged. Exposed for tests and measurements.
    static QImage prepare(const QImage& image, int* scale = nullptr);

private:
    std::optional<QString> readLines(int width, int height);
    std::optional<QString> readDocument();

    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    bool m_ready = false;
};

} // namespace tolvi
