// The recogniser in process: both ways of reading a page and the image preparation.

#include "OCRTextImages.h"
#include "ocr-worker/TextRecognizer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tolvi;
using namespace tolvi::testing;

// One recogniser for the suite, ended before the program exits: the engine library's own
// caches are static objects, and an engine released after them leaves its dictionaries behind.
class OCRTextRecognizer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_recognizer = new TextRecognizer; }
    static void TearDownTestSuite()
    {
        delete s_recognizer;
        s_recognizer = nullptr;
    }
    static TextRecognizer& recognizer() { return *s_recognizer; }

private:
    static inline TextRecognizer* s_recognizer = nullptr;
};

TEST_F(OCRTextRecognizer, LineModeKeepsFragmentsOfOneBaselineApartAndInOrder)
{
    ASSERT_TRUE(recognizer().initialize());
    TextStyle style;
    style.pixelSize = 20;
    const QImage image = renderText(QSize(800, 120), {{QStringLiteral("Name"), QPoint(30, 60)},
                                                     {QStringLiteral("Amount due"), QPoint(520, 60)}},
                                    style);
    EXPECT_EQ(recognizer().recognize(image, TextRecognizer::Mode::lines), QStringLiteral("Name\nAmount due"));
}

TEST_F(OCRTextRecognizer, DocumentModeReadsBlocks)
{
    ASSERT_TRUE(recognizer().initialize());
    const QImage image = renderLines({QStringLiteral("Meeting notes for Monday"), QStringLiteral("Review the budget")});
    const auto text = recognizer().recognize(image, TextRecognizer::Mode::document);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->simplified(), QStringLiteral("Meeting notes for Monday Review the budget"));
}

TEST_F(OCRTextRecognizer, PreparationInvertsDarkImagesAndComposesAlphaOnWhite)
{
    QImage dark(100, 50, QImage::Format_RGB32);
    dark.fill(QColor(20, 20, 20));
    int scale = 0;
    const QImage preparedDark = TextRecognizer::prepare(dark, &scale);
    EXPECT_EQ(scale, 2);
    EXPECT_EQ(preparedDark.size(), QSize(200, 100));
    EXPECT_GT(qGray(preparedDark.pixel(10, 10)), 200);

    QImage transparent(100, 50, QImage::Format_ARGB32);
    transparent.fill(Qt::transparent);
    EXPECT_EQ(qGray(TextRecognizer::prepare(transparent).pixel(5, 5)), 255);

    QImage screen(1440, 900, QImage::Format_RGB32);
    screen.fill(Qt::white);
    TextRecognizer::prepare(screen, &scale);
    EXPECT_EQ(scale, 1);
}

TEST_F(OCRTextRecognizer, LargeImagesAreCutOnlyWhereNoTextIs)
{
    // Too small to be worth cutting.
    EXPECT_EQ(TextRecognizer::splitRow(TextRecognizer::prepare(renderLines({QStringLiteral("short")}))), std::nullopt);

    // Lines so close that ascenders meet the descenders above: no empty band anywhere.
    TextStyle style;
    style.pixelSize = 14;
    std::vector<PlacedText> dense;
    for (int baseline = 20; baseline < 900; baseline += 11)
        dense.push_back({QStringLiteral("Typography lifts jumpy quilted glyphs"), QPoint(10, baseline)});
    EXPECT_EQ(TextRecognizer::splitRow(TextRecognizer::prepare(renderText(QSize(1200, 900), dense, style))), std::nullopt);

    // A screenshot: the cut lies in an empty band, near the middle, clear of every line.
    const auto shot = renderScreenshot(QSize(1440, 900), QStringLiteral("DejaVu Sans"), 14, true, 3);
    const QImage grey = TextRecognizer::prepare(shot.image);
    const auto row = TextRecognizer::splitRow(grey);
    ASSERT_TRUE(row);
    EXPECT_GE(*row, 900 / 4);
    EXPECT_LE(*row, 900 * 3 / 4);
    // No text pixel on the rows around the cut: after preparation the panels are light and
    // every glyph has dark pixels.
    for (int y = *row - 1; y <= *row + 1; ++y) {
        const uchar* line = grey.constScanLine(y);
        EXPECT_GT(*std::min_element(line, line + grey.width()), 180) << y;
    }
}

TEST_F(OCRTextRecognizer, AnImageReadInTwoPartsReadsAsWhenReadWhole)
{
    // Lines above and below the middle, and two fragments on one baseline just below the cut:
    // the parts are read at the same time and the lines still come out in reading order.
    TextStyle style;
    style.pixelSize = 18;
    const QImage image = renderText(QSize(1200, 700),
                                    {{QStringLiteral("Invoice number 2291"), QPoint(40, 80)},
                                     {QStringLiteral("Billing period March"), QPoint(40, 200)},
                                     {QStringLiteral("Subtotal"), QPoint(40, 420)},
                                     {QStringLiteral("880 euros"), QPoint(900, 420)},
                                     {QStringLiteral("Thank you for your order"), QPoint(40, 600)}},
                                    style);
    ASSERT_TRUE(TextRecognizer::splitRow(TextRecognizer::prepare(image)));
    ASSERT_TRUE(recognizer().initialize());
    ASSERT_EQ(recognizer().engineCount(), 2);
    TextRecognizer single(1);
    ASSERT_TRUE(single.initialize());
    const QString expected = QStringLiteral("Invoice number 2291\nBilling period March\nSubtotal\n880 euros\nThank you for your order");
    EXPECT_EQ(recognizer().recognize(image, TextRecognizer::Mode::lines), expected);
    EXPECT_EQ(single.recognize(image, TextRecognizer::Mode::lines), expected);
}
