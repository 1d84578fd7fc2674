#pragma once

// Text images for the OCR tests and benchmarks, drawn at run time with QPainter (needs a
// QGuiApplication; the offscreen platform will do).

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <vector>

namespace tolvi::testing {

struct PlacedText {
    QString text;
    QPoint baselineStart; // left end of the baseline, in pixels
};

struct TextStyle {
    QString family = QStringLiteral("DejaVu Sans");
    int pixelSize = 24;
    QColor foreground = Qt::black;
    QColor background = Qt::white;
};

QImage renderText(QSize size, const std::vector<PlacedText>& texts, const TextStyle& style = {});

// Lines stacked from the top with a margin and the given line spacing factor.
QImage renderLines(const QStringList& lines, const TextStyle& style = {}, int width = 900);

QByteArray encode(const QImage& image, const char* format = "PNG", int quality = -1);

// A screenshot-like image: a title bar, a sidebar of short items, and a content pane of
// paragraphs in several sizes. `expected` receives every text drawn, in reading order.
struct Screenshot {
    QImage image;
    QStringList lines;
};
Screenshot renderScreenshot(QSize size, const QString& family, int pixelSize, bool dark, unsigned seed);

// Levenshtein distance over characters, the numerator of the character error rate.
int editDistance(const QString& a, const QString& b);

} // namespace tolvi::testing
