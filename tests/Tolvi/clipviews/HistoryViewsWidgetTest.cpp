#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/clipviews/ClipboardRow.h"
#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "TolviCore/text/TextCharacters.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QTextLayout>
#include <QUuid>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using OCRStatus = ClipboardStore::OCRStatus;
using ThumbnailState = ClipboardRow::Thumbnail::State;

const QString ellipsis = QStringLiteral("\u2026");

QImage render(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool near(const QColor& a, const QColor& b, int tolerance = 4)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Source-over of a colour (with its alpha) onto an opaque one.
QColor over(const QColor& top, const QColor& bottom)
{
    const qreal a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                            float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)));
}

// --- Empty history view ---

class EmptyHistoryViewTest : public ::testing::Test {
protected:
    void SetUp() override { TolviWindowAppearance::attach(&host, &theme); }
    TolviTheme theme;
    QWidget host;
};

TEST_F(EmptyHistoryViewTest, ButtonNeedsBothTitleAndAction)
{
    int calls = 0;
    EmptyHistoryView titleOnly(QStringLiteral("No matches"), QStringLiteral("Clear the search."),
                               QStringLiteral("Show All Clips"), std::nullopt, {}, false, &host);
    EXPECT_EQ(titleOnly.actionButton(), nullptr);
    EmptyHistoryView actionOnly(QStringLiteral("No matches"), QStringLiteral("Clear the search."), std::nullopt,
                                QStringLiteral("xmark.circle"), [&] { ++calls; }, false, &host);
    EXPECT_EQ(actionOnly.actionButton(), nullptr);

    EmptyHistoryView both(QStringLiteral("No matches"), QStringLiteral("Clear the search."),
                          QStringLiteral("Show All Clips"), QStringLiteral("xmark.circle"), [&] { ++calls; }, false,
                          &host);
    TolviPrimaryButton* button = both.actionButton();
    ASSERT_NE(button, nullptr);
    both.resize(420, 320);
    both.show();
    QTest::mouseClick(button, Qt::LeftButton, {}, button->bodyRect().center());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Show All Clips"));

    // The texts are shown as given, never as markup.
    both.setContent(QStringLiteral("<b>Bold</b> & co"), QStringLiteral("<i>x</i>"), std::nullopt, std::nullopt, {});
    EXPECT_EQ(both.actionButton(), nullptr);
    EXPECT_EQ(both.title(), QStringLiteral("<b>Bold</b> & co"));
    for (QLabel* label : both.findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(EmptyHistoryViewTest, ActionMayReplaceTheViewsOwnContent)
{
    EmptyHistoryView* view = nullptr;
    int calls = 0;
    view = new EmptyHistoryView(QStringLiteral("No matches"), QString(), QStringLiteral("Show All Clips"), std::nullopt,
                                [&] {
                                    ++calls;
                                    // What the host does when clearing the filters brings the list back.
                                    view->setContent(QStringLiteral("No clipboard history"), QString(),
                                                     QStringLiteral("Show Quick Start"), QStringLiteral("sparkles"),
                                                     [&] { calls += 10; });
                                },
                                false, &host);
    view->resize(420, 320);
    view->show();
    TolviPrimaryButton* first = view->actionButton();
    QTest::mouseClick(first, Qt::LeftButton, {}, first->bodyRect().center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(calls, 1);
    TolviPrimaryButton* second = view->actionButton();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(view->findChildren<TolviPrimaryButton*>().size(), 1);
    second->click();
    EXPECT_EQ(calls, 11);
    delete view;
}

// The action's title is never cut short at the button's own size: the body leaves room for the
// title as the painter measures it, fractions of a pixel included.
TEST_F(EmptyHistoryViewTest, ActionTitleFitsTheButtonWhole)
{
    const QFontMetricsF metrics(TolviDesign::font(Typography::bodyStrong));
    const qreal symbol = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::bodyStrong));
    for (const QString& title : {QStringLiteral("Show All Clips"), QStringLiteral("Show Quick Start"),
                                 QStringLiteral("Illicit ill fill"), QStringLiteral("WWW MMM")}) {
        for (const bool compact : {false, true}) {
            EmptyHistoryView view(QStringLiteral("No matches"), QStringLiteral("Clear the search and filters."), title,
                                  QStringLiteral("xmark.circle"), [] {}, compact, &host);
            view.resize(view.sizeHint());
            view.layout()->activate();
            TolviPrimaryButton* button = view.actionButton();
            ASSERT_NE(button, nullptr);
            const qreal room =
                button->bodyRect().width() - 2 * TolviPrimaryButtonStyle::horizontalPadding - symbol - 6;
            EXPECT_GE(room, metrics.horizontalAdvance(title)) << title.toStdString();
            EXPECT_EQ(metrics.elidedText(title, Qt::ElideRight, room), title) << title.toStdString();
        }
    }
}

TEST_F(EmptyHistoryViewTest, ButtonSymbolDefaultsToArrowRight)
{
    auto buttonImage = [&](const std::optional<QString>& symbol) {
        EmptyHistoryView view(QStringLiteral("T"), QStringLiteral("S"), QStringLiteral("Go"), symbol, [] {}, false, &host);
        view.resize(view.sizeHint());
        view.layout()->activate();
        TolviPrimaryButton* button = view.actionButton();
        EXPECT_EQ(button->size(), button->sizeHint());
        return render(*button);
    };
    const QImage absent = buttonImage(std::nullopt);
    EXPECT_EQ(absent, buttonImage(QStringLiteral("arrow.right")));
    EXPECT_NE(absent, buttonImage(QStringLiteral("sparkles")));
}

// --- OCR status label ---

TEST(OCRStatusLabelTest, OnlyWarningsAreAmberAndEveryStatusHasItsOwnMessage)
{
    const OCRStatus all[] = {OCRStatus::processing, OCRStatus::noText,  OCRStatus::failed,   OCRStatus::unsupportedImage,
                             OCRStatus::timedOut,   OCRStatus::busy,    OCRStatus::cancelled};
    QStringList messages;
    for (OCRStatus status : all) {
        const auto p = OCRStatusLabel::presentation(status);
        const bool warning =
            status == OCRStatus::failed || status == OCRStatus::unsupportedImage || status == OCRStatus::timedOut;
        EXPECT_EQ(p.symbolColor == ColorToken::amber, warning) << p.message.toStdString();
        EXPECT_EQ(p.systemImage == QStringLiteral("exclamationmark.circle"), warning) << p.message.toStdString();
        EXPECT_FALSE(p.message.endsWith(QLatin1Char('.')));
        EXPECT_FALSE(messages.contains(p.message));
        messages.append(p.message);

        OCRStatusLabel label(status);
        EXPECT_EQ(label.toolTip(), p.message);
        EXPECT_EQ(label.accessibleName(), p.message);
    }
}

TEST(OCRStatusLabelTest, LongMessageWrapsInsteadOfBeingCut)
{
    OCRStatusLabel label(OCRStatus::unsupportedImage);
    const int oneLine = label.sizeHint().height();
    EXPECT_EQ(label.heightForWidth(label.sizeHint().width()), oneLine);
    EXPECT_GT(label.heightForWidth(80), oneLine);
    EXPECT_LE(label.minimumSizeHint().width(), 120);

    // In a layout the label gets the height its width needs.
    QWidget container;
    auto* layout = new QVBoxLayout(&container);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* inLayout = new OCRStatusLabel(OCRStatus::unsupportedImage, &container);
    layout->addWidget(inLayout);
    layout->addStretch(1);
    container.resize(90, 200);
    container.show();
    layout->activate();
    EXPECT_GE(inLayout->height(), inLayout->heightForWidth(90));
    EXPECT_GT(inLayout->height(), oneLine);

    label.setStatus(OCRStatus::busy);
    EXPECT_EQ(label.toolTip(), QStringLiteral("Text recognition is busy"));
}

// --- Row painter ---

constexpr double now = 750'000'000;

ClipboardItem textItem(const QString& text, bool pinned = false)
{
    return ClipboardItem(QUuid::createUuid(), text, now - 120, pinned, {QUuid::createUuid()},
                         ClipboardSourceApp(QStringLiteral("Editor")));
}

ClipboardItem imageItem()
{
    return ClipboardItem(QUuid::createUuid(),
                         ClipboardContent::image(ClipboardImage(QByteArray("png bytes"), QStringLiteral("public.png"),
                                                                640, 480, QStringLiteral("Receipt total"))),
                         now - 60);
}

DesignContext contextFor(ThemeAppearance appearance, bool increasedContrast = false)
{
    DesignContext context;
    context.appearance = appearance;
    context.increasedContrast = increasedContrast;
    return context;
}

// Paints one row into an image of the background colour, with a margin around the row.
QImage paintRow(const ClipboardItem& item, const ClipRowInput& input, const DesignContext& context,
                const ClipboardRow::Thumbnail& thumbnail = {}, int width = 400, int margin = 0,
                QColor background = Qt::white)
{
    const int height = ClipboardRow::rowHeight(ClipboardRow::isImageRow(item));
    QImage image(width + 2 * margin, height + 2 * margin, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    ClipboardRow::paint(painter, QRectF(margin, margin, width, height), item, input,
                          ClipRowPresentation::make(item, now), thumbnail, context);
    return image;
}

TEST(ClipboardRowTest, TitleShowsTwoLinesFromTheStartOfAHugeText)
{
    QString huge;
    while (huge.size() < 50'000)
        huge += QStringLiteral("line %1 of a long log\n").arg(huge.size());
    const QStringList lines = ClipboardRow::titleLines(huge, 260);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("line 0 of a long log"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("line 21 of")));
    EXPECT_TRUE(lines[1].endsWith(ellipsis));

    // One line of 50,000 characters without a blank breaks anywhere and is cut at line two.
    const QFontMetricsF metrics(TolviDesign::font(Typography::rowTitle));
    const QStringList word = ClipboardRow::titleLines(QString(50'000, u'W'), 200);
    ASSERT_EQ(word.size(), 2);
    EXPECT_TRUE(word[1].endsWith(ellipsis));
    for (const QString& line : word)
        EXPECT_LE(metrics.horizontalAdvance(line), 200.5);

    // Both paint as an ordinary row.
    const QImage image = paintRow(textItem(huge), {}, contextFor(ThemeAppearance::light));
    EXPECT_FALSE(image.isNull());
}

// One character of thousands of joined emoji wraps and is cut short as text is: the row shows
// its first emoji on two lines ending in an ellipsis, and reads no more of it than two lines hold.
TEST(ClipboardRowTest, OneCharacterOfJoinedEmojiShowsAsTwoLinesOfEmoji)
{
    QString emoji;
    for (int i = 0; i < 16'000; ++i)
        emoji += (i > 0 ? QString(QChar(0x200D)) : QString()) + QString::fromUcs4(U"\U0001F469", 1);
    const qreal width = 260;
    const QStringList lines = ClipboardRow::titleLines(emoji, width);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(ellipsis));
    const QFontMetricsF metrics(TolviDesign::font(Typography::rowTitle));
    int pictographs = 0;
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line), width + 0.5);
        for (const char32_t c : line.toUcs4())
            pictographs += TextCharacters::isPictograph(c) ? 1 : 0;
        // What the line shows of the text is the text itself (the invisible breaks aside).
        QString shown = line;
        shown.remove(QChar(0x200B));
        shown.remove(ellipsis);
        EXPECT_TRUE(emoji.contains(shown));
    }
    EXPECT_GT(pictographs, 2);
    EXPECT_LE(pictographs, 2 * int(width / 10) + 2);
}

TEST(ClipboardRowTest, LineBreaksStartLinesAndControlsShowAsBlanks)
{
    EXPECT_EQ(ClipboardRow::titleLines(QStringLiteral("first\nsecond\nthird"), 400),
              QStringList({QStringLiteral("first"), QStringLiteral("second") + ellipsis}));
    EXPECT_EQ(ClipboardRow::titleLines(QStringLiteral("first\r\nsecond"), 400),
              QStringList({QStringLiteral("first"), QStringLiteral("second")}));
    // Breaks that end the text add no line; a blank line inside it stays.
    EXPECT_EQ(ClipboardRow::titleLines(QStringLiteral("only\n\n"), 400), QStringList({QStringLiteral("only")}));
    EXPECT_EQ(ClipboardRow::titleLines(QStringLiteral("\n\nthird"), 400), QStringList({QString(), ellipsis}));
    EXPECT_EQ(ClipboardRow::titleLines(QStringLiteral("a\tb\x01"), 400), QStringList({QStringLiteral("a b ")}));
    // A title that just fits two lines gets no ellipsis.
    const QStringList two = ClipboardRow::titleLines(QStringLiteral("short one\nshort two"), 400);
    EXPECT_FALSE(two.back().endsWith(ellipsis));
}

// A row shows what is pasted: bidirectional controls are shown as their marks, so they cannot
// reverse the title ("RTL: \u202Eevil" is not shown as "RTL: live").
TEST(ClipboardRowTest, BidirectionalControlsInTheTitleShowAsTheirMarks)
{
    const QString text = QStringLiteral("RTL: \u202Eevil\u202C done\nnext \u2067line\u2069");
    const QStringList lines = ClipboardRow::titleLines(text, 600);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("RTL: \u21E0evil\u21E4 done"));
    EXPECT_EQ(lines[1], QStringLiteral("next \u21E0line\u21E4"));
    for (const QString& line : lines) {
        for (const QChar c : line)
            EXPECT_EQ(TextCharacters::bidiControlMark(c.unicode()), 0) << "U+" << std::hex << int(c.unicode());
    }
    // Laid out left to right as it stands: "evil" comes before "done" on the screen too.
    QTextLayout layout(lines[0], TolviDesign::font(Typography::rowTitle));
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    EXPECT_LT(line.cursorToX(int(lines[0].indexOf(QStringLiteral("evil")))),
              line.cursorToX(int(lines[0].indexOf(QStringLiteral("done")))));
    EXPECT_LT(line.cursorToX(int(lines[0].indexOf(QStringLiteral("ev")))),
              line.cursorToX(int(lines[0].indexOf(QStringLiteral("il")))));
}

TEST(ClipboardRowTest, RowsStayInsideTheirRectangle)
{
    EXPECT_GE(ClipboardRow::rowHeight(false), ClipboardRow::tileSide + 24);

    ClipRowInput everything;
    everything.shortcutNumber = 9;
    everything.isFocused = true;
    everything.isSelectedForBatch = true;
    everything.isRecognizingText = true;
    everything.ocrStatus = OCRStatus::unsupportedImage;
    const int margin = 20;
    for (const ClipboardItem& item : {textItem(QString(300, u'x') + QStringLiteral("\nmore"), true), imageItem()}) {
        for (bool contrast : {false, true}) {
            const QImage image = paintRow(item, everything, contextFor(ThemeAppearance::dark, contrast), {}, 300,
                                          margin, Qt::transparent);
            const QRect row(margin, margin, 300, ClipboardRow::rowHeight(ClipboardRow::isImageRow(item)));
            int outside = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    outside += !row.contains(x, y) && qAlpha(image.pixel(x, y)) != 0;
            EXPECT_EQ(outside, 0);
        }
    }
}

TEST(ClipboardRowTest, FillAndStrokeFollowSelectionAndContrast)
{
    const ClipboardItem item = textItem(QStringLiteral("hello"));
    const DesignContext light = contextFor(ThemeAppearance::light);
    const QColor white(Qt::white);
    // A point in the bottom padding shows the fill alone.
    auto fillOf = [&](const ClipRowInput& input, const DesignContext& context) {
        const QImage image = paintRow(item, input, context);
        return image.pixelColor(image.width() / 2, image.height() - 5);
    };
    ClipRowInput focused;
    focused.isFocused = true;
    ClipRowInput batch;
    batch.isSelectedForBatch = true;
    ClipRowInput both = batch;
    both.isFocused = true;

    QColor mint18 = light.color(ColorToken::mint);
    mint18.setAlphaF(0.18f);
    QColor mint12 = light.color(ColorToken::mint);
    mint12.setAlphaF(0.12f);
    EXPECT_TRUE(near(fillOf(both, light), over(mint18, white)));
    EXPECT_TRUE(near(fillOf(batch, light), over(mint12, white)));
    EXPECT_TRUE(near(fillOf(focused, light), light.color(ColorToken::focusedRowFill)));
    EXPECT_TRUE(near(fillOf({}, light), over(light.color(ColorToken::rowFill), white)));
    EXPECT_TRUE(near(fillOf({}, contextFor(ThemeAppearance::light, true)), light.color(ColorToken::surface)));
    EXPECT_FALSE(near(fillOf(focused, light), fillOf(batch, light), 2));

    // With increased contrast a chosen row has a two-point electric-blue outline.
    const QImage contrast = paintRow(item, focused, contextFor(ThemeAppearance::light, true));
    const QColor blue = light.color(ColorToken::electricBlue);
    EXPECT_TRUE(near(contrast.pixelColor(contrast.width() / 2, 0), blue, 8));
    EXPECT_TRUE(near(contrast.pixelColor(contrast.width() / 2, 1), blue, 8));
    const QImage standard = paintRow(item, focused, light);
    EXPECT_FALSE(near(standard.pixelColor(standard.width() / 2, 1), blue, 8));
}

TEST(ClipboardRowTest, ImageTileShowsTheReadyThumbnailAndAPlaceholderOtherwise)
{
    const ClipboardItem item = imageItem();
    QImage red(96, 64, QImage::Format_RGB32);
    red.fill(Qt::red);
    const DesignContext dark = contextFor(ThemeAppearance::dark);
    const QPoint tileCentre(12 + ClipboardRow::tileSide / 2, 12 + ClipboardRow::tileSide / 2);
    auto tileColor = [&](ThumbnailState state) {
        return paintRow(item, {}, dark, ClipboardRow::Thumbnail{state, red}).pixelColor(tileCentre);
    };
    EXPECT_TRUE(near(tileColor(ThumbnailState::ready), Qt::red));
    EXPECT_FALSE(near(tileColor(ThumbnailState::pending), Qt::red, 40));
    EXPECT_FALSE(near(tileColor(ThumbnailState::failed), Qt::red, 40));
}

} // namespace
} // namespace tolvi
