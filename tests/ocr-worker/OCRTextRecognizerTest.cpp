// The recogniser in process: both ways of reading a page and the image preparation.

#include "OCRTextImages.h"
#include "ocr-worker/TextRecognizer.h"

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

TextRecognizer& recognizer()
{
    static TextRecognizer instance;
    return instance;
}

} // namespace

TEST(OCRTextRecognizer, LineModeKeepsFragmentsOfOneBaselineApartAndInOrder)
{
    ASSERT_TRUE(recognizer().initialize());
    TextStyle style;
    style.pixelSize = 20;
    const QImage image = renderText(QSize(800, 120), {{QStringLiteral("Name"), QPoint(30, 60)},
                                                     {QStringLiteral("Amount due"), QPoint(520, 60)}},
                                    style);
    EXPECT_EQ(recognizer().recognize(image, TextRecognizer::Mode::lines), QStringLiteral("Name\nAmount due"));
}

TEST(OCRTextRecognizer, DocumentModeReadsBlocks)
{
    ASSERT_TRUE(recognizer().initialize());
    const QImage image = renderLines({QStringLiteral("Meeting notes for Monday"), QStringLiteral("Review the budget")});
    const auto text = recognizer().recognize(image, TextRecognizer::Mode::document);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->simplified(), QStringLiteral("Meeting notes for Monday Review the budget"));
}

TEST(OCRTextRecognizer, PreparationInvertsDarkImagesAndComposesAlphaOnWhite)
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
