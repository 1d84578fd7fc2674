#include "Tolvi/inspector/SelectablePlainText.h"

#include "Tolvi/design/DesignTokens.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QScrollArea>
#include <QTest>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <cmath>

namespace tolvi {
namespace {

constexpr int padding = 14;
constexpr qreal spacing = 3;

SelectablePlainText::Appearance preview()
{
    SelectablePlainText::Appearance appearance;
    appearance.padding = padding;
    appearance.lineSpacing = spacing;
    appearance.minimumHeight = 100;
    appearance.drawsBackground = true;
    return appearance;
}

// The height of the text laid out in one piece per paragraph, as a plain QTextLayout does it.
int wholeHeight(const QString& text, const QFont& font, int width)
{
    qreal y = 0;
    int lines = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setTabStopDistance(4 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width - 2 * padding);
            y += (lines++ > 0 ? spacing : 0) + line.height();
        }
        layout.endLayout();
    }
    return int(std::ceil(y)) + 2 * padding;
}

QString words(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("word%1 ").arg(i % 97);
    return text;
}

class SelectablePlainTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        area.setWidgetResizable(true);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        text = new SelectablePlainText(preview());
        area.setWidget(text);
        area.resize(400, 300);
        area.show();
    }

    // Lets the idle slices finish the layout.
    bool finish() { return QTest::qWaitFor([this] { return text->isFullyLaidOut(); }, 10'000); }

    QScrollArea area;
    SelectablePlainText* text = nullptr;
    const QFont font = TolviDesign::systemFont(13);
};

TEST_F(SelectablePlainTextTest, LongLinesWrapAsTheyWouldWhole)
{
    // A single line of ten pieces, and paragraphs of every length around the piece limit.
    const QString content = words(4000) + QStringLiteral("\n\n") + words(10) + QLatin1Char('\n') + words(330) +
                            QLatin1Char('\n') + QStringLiteral("x").repeated(SelectablePlainText::pieceLimit * 2 + 7);
    text->setText(content, font);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    text->repaint();
    // What shows is laid out first; the rest waits for the event loop.
    EXPECT_FALSE(text->isFullyLaidOut());
    ASSERT_TRUE(finish());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(text->height(), wholeHeight(content, font, text->width()));
}

TEST_F(SelectablePlainTextTest, PiecesThatGaveUpTheirLinesShowAndHitTheSameAgain)
{
    // Far more than keeps its lines: by the end of the layout the first pieces have given theirs up.
    const QString content = words(9000) + QLatin1Char('\n') + words(9000);
    ASSERT_GT(content.size(), 2 * SelectablePlainText::keptLayoutLength);
    text->setText(content, font);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    text->repaint();
    const int lineStep = QFontMetrics(font).height() + int(spacing);
    const QList<QPointF> points{QPointF(padding + 37, padding + 4), QPointF(padding + 150, padding + lineStep + 4),
                                QPointF(padding + 90, padding + 3 * lineStep + 4)};
    QList<int> before;
    for (const QPointF& point : points)
        before.append(text->positionAt(point));
    const QImage first = text->grab(QRect(0, 0, text->width(), 4 * lineStep)).toImage();

    ASSERT_TRUE(finish());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(text->height(), wholeHeight(content, font, text->width()));
    QList<int> after;
    for (const QPointF& point : points)
        after.append(text->positionAt(point));
    EXPECT_EQ(after, before);
    EXPECT_GT(before.last(), before.first());
    EXPECT_EQ(text->grab(QRect(0, 0, text->width(), 4 * lineStep)).toImage(), first);
    QTest::mouseDClick(text, Qt::LeftButton, {}, QPoint(padding + 2, padding + 4));
    EXPECT_EQ(text->selectedText(), QStringLiteral("word0"));
}

TEST_F(SelectablePlainTextTest, ShortTextsMeasureExactlyAtAnyWidth)
{
    const QString content = QStringLiteral("Hi team,\n\n\tthe release candidate is ready.\r\nThanks,\nAda");
    text->setText(content, font);
    for (int width : {180, 260, 400})
        EXPECT_EQ(text->heightForWidth(width), std::max(100, wholeHeight(QString(content).remove(QLatin1Char('\r')), font, width)));
}

// The column sizing itself asks for the height at other widths: each is exact, and the text keeps
// the lines it shows (laid out once whatever else is measured).
TEST_F(SelectablePlainTextTest, MeasuringOtherWidthsKeepsTheShownLines)
{
    const QString content = words(400) + QLatin1Char('\n') + words(60);
    ASSERT_LT(content.size(), SelectablePlainText::wholeLayoutLimit);
    text->setText(content, font);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    text->repaint();
    ASSERT_TRUE(finish());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QImage shown = text->grab().toImage();
    for (int width : {text->width() + 300, 180, 320})
        EXPECT_EQ(text->heightForWidth(width), wholeHeight(content, font, width)) << "at " << width;
    EXPECT_TRUE(text->isFullyLaidOut());
    EXPECT_EQ(text->height(), wholeHeight(content, font, text->width()));
    EXPECT_EQ(text->sizeHint().height(), text->height());
    EXPECT_EQ(text->grab().toImage(), shown);
}

TEST_F(SelectablePlainTextTest, SelectionIsCopiedThroughTheHandler)
{
    QStringList copied;
    text->setCopyHandler([&copied](const QString& selected) { copied.append(selected); });
    text->setText(QStringLiteral("alpha beta gamma\nsecond line"), font);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    text->setFocus();

    // A drag from the start of the first line to the start of the second.
    const QPoint start(padding + 1, padding + 4);
    const QPoint end(padding + 1, padding + QFontMetrics(font).height() + int(spacing) + 4);
    QTest::mousePress(text, Qt::LeftButton, {}, start);
    QTest::mouseMove(text, end);
    QMouseEvent move(QEvent::MouseMove, end, text->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(text, &move);
    QTest::mouseRelease(text, Qt::LeftButton, {}, end);
    EXPECT_EQ(text->selectedText(), QStringLiteral("alpha beta gamma\n"));
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);

    QTest::mouseDClick(text, Qt::LeftButton, {}, start + QPoint(2, 0));
    EXPECT_EQ(text->selectedText(), QStringLiteral("alpha"));
    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copied, QStringList({QStringLiteral("alpha beta gamma\n"), QStringLiteral("alpha beta gamma\nsecond line")}));

    // Another text drops the selection.
    text->setText(QStringLiteral("other"), font);
    EXPECT_TRUE(text->selectedText().isEmpty());
}

} // namespace
} // namespace tolvi
