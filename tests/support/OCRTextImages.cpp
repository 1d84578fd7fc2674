#include "OCRTextImages.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <random>

namespace tolvi::testing {

namespace {

QFont fontFor(const TextStyle& style)
{
    QFont font(style.family);
    font.setPixelSize(style.pixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

const QStringList& vocabulary()
{
    static const QStringList words = QStringLiteral(
        "account address after again answer archive backup before branch browser budget calendar "
        "change channel client commit contact contract create customer daily default deliver design "
        "document draft edit email error event export family feature file folder follow format friday "
        "history import invoice issue label later library manager meeting message monday network notes "
        "number office order output package payment picture planning preview project quarter receipt "
        "record release report request review sales schedule search server settings share status "
        "storage summary support system table team thursday ticket today travel tuesday update upload "
        "version weekly window working")
                                         .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words;
}

QString phrase(std::mt19937& random, int words)
{
    const QStringList& pool = vocabulary();
    std::uniform_int_distribution<int> pick(0, int(pool.size()) - 1);
    std::uniform_int_distribution<int> digit(0, 99);
    QStringList parts;
    for (int i = 0; i < words; ++i) {
        QString word = pool.at(pick(random));
        if (i == 0)
            word[0] = word[0].toUpper();
        if (digit(random) < 8)
            word = QString::number(digit(random) + 1);
        parts.append(word);
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

QImage renderText(QSize size, const std::vector<PlacedText>& texts, const TextStyle& style)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(style.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(fontFor(style));
    painter.setPen(style.foreground);
    for (const PlacedText& placed : texts)
        painter.drawText(placed.baselineStart, placed.text);
    painter.end();
    return image;
}

QImage renderLines(const QStringList& lines, const TextStyle& style, int width)
{
    const QFontMetrics metrics(fontFor(style));
    const int margin = std::max(16, style.pixelSize);
    const int step = int(metrics.height() * 1.5);
    std::vector<PlacedText> placed;
    int baseline = margin + metrics.ascent();
    for (const QString& line : lines) {
        placed.push_back({line, QPoint(margin, baseline)});
        baseline += step;
    }
    return renderText(QSize(width, baseline - step + metrics.descent() + margin), placed, style);
}

QByteArray encode(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

Screenshot renderScreenshot(QSize size, const QString& family, int pixelSize, bool dark, unsigned seed)
{
    std::mt19937 random(seed);
    Screenshot shot;
    shot.image = QImage(size, QImage::Format_RGB32);
    const QColor page = dark ? QColor(30, 31, 34) : QColor(250, 250, 250);
    const QColor panel = dark ? QColor(43, 45, 49) : QColor(236, 238, 241);
    const QColor ink = dark ? QColor(222, 224, 228) : QColor(28, 28, 30);
    const QColor muted = dark ? QColor(170, 174, 180) : QColor(80, 84, 90);
    shot.image.fill(page);

    QPainter painter(&shot.image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QFont font(family);
    font.setPixelSize(pixelSize);
    QFont titleFont(family);
    titleFont.setPixelSize(std::max(pixelSize, 16));
    titleFont.setBold(true);

    // Title bar across the top.
    const QFontMetrics titleMetrics(titleFont);
    const int titleHeight = titleMetrics.height() + 20;
    painter.fillRect(QRect(0, 0, size.width(), titleHeight), panel);
    const QString title = phrase(random, 3);
    painter.setFont(titleFont);
    painter.setPen(ink);
    painter.drawText(QPoint(24, 10 + titleMetrics.ascent()), title);
    shot.lines.append(title);

    // Sidebar items and content paragraphs, laid out row by row so that the reading order
    // of the expected text is known: each row holds a sidebar item (if any) and then the
    // content line at the same height.
    const QFontMetrics metrics(font);
    const int sidebarWidth = size.width() / 5;
    painter.fillRect(QRect(0, titleHeight, sidebarWidth, size.height() - titleHeight), panel);
    painter.setFont(font);
    const int step = int(metrics.height() * 1.9);
    int baseline = titleHeight + 20 + metrics.ascent();
    const int contentLeft = sidebarWidth + 32;
    int row = 0;
    while (baseline + metrics.descent() + 16 < size.height()) {
        if (row % 2 == 0) {
            const QString item = phrase(random, 1 + int(random() % 2));
            painter.setPen(muted);
            painter.drawText(QPoint(20, baseline), item);
            shot.lines.append(item);
        }
        if (row % 6 != 5) {
            QString line = phrase(random, 3 + int(random() % 6));
            while (metrics.horizontalAdvance(line) > size.width() - contentLeft - 24 && line.contains(QLatin1Char(' ')))
                line = line.left(line.lastIndexOf(QLatin1Char(' ')));
            painter.setPen(ink);
            painter.drawText(QPoint(contentLeft, baseline), line);
            shot.lines.append(line);
        }
        baseline += step;
        ++row;
    }
    painter.end();
    return shot;
}

int editDistance(const QString& a, const QString& b)
{
    std::vector<int> previous(b.size() + 1);
    std::vector<int> current(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

} // namespace tolvi::testing
