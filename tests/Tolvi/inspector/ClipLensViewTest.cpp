#include "Tolvi/inspector/ClipLensView.h"

#include "../history/HistoryTestSupport.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipPreviewSurface.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "Tolvi/inspector/SelectablePlainText.h"
#include "TolviCore/model/ByteCountFormatter.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using OCRStatus = ClipboardStore::OCRStatus;
constexpr double now = 800'000'000.0;

ClipboardItem textClip(const QString& text, bool pinned = false, QList<QUuid> boards = {})
{
    return ClipboardItem(QUuid::createUuid(), text, now - 30, pinned, std::move(boards));
}

ClipboardItem imageClip(std::optional<QString> recognized = std::nullopt, bool withSize = true)
{
    ClipboardImage image(test::pngBytes(8, 6), QStringLiteral("public.png"), withSize ? std::optional<qint64>(8) : std::nullopt,
                         withSize ? std::optional<qint64>(6) : std::nullopt, std::move(recognized));
    return ClipboardItem(QUuid::createUuid(), ClipboardContent::image(std::move(image)), now - 30);
}

ClipboardItem fileClip(const QStringList& urls)
{
    return ClipboardItem(QUuid::createUuid(), QStringLiteral("paths"), now - 30, false, {}, std::nullopt,
                         ClipboardOriginalPayload::create(std::nullopt, std::nullopt, urls));
}

QStringList titles(const QList<InspectorButton*>& buttons)
{
    QStringList result;
    for (const InspectorButton* button : buttons)
        result.append(button->title());
    return result;
}

QStringList titles(const QList<TolviBadge*>& badges)
{
    QStringList result;
    for (const TolviBadge* badge : badges)
        result.append(badge->title());
    return result;
}

void click(InspectorButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, button->bodyRect().center());
}

// Everything the pane asked of its host, in order.
struct Host {
    QStringList calls;
    QStringList copied;
    QStringList pasted;
    QList<QUuid> toggledBoards;

    ClipLensView::Actions actions(bool canRetry = true)
    {
        auto record = [this](const char* name) {
            return [this, name](const ClipboardItem& item) {
                calls.append(QString::fromLatin1(name) + QLatin1Char(' ') + item.id().toString());
            };
        };
        ClipLensView::Actions a;
        a.pasteItem = record("paste");
        a.copyItem = record("copy");
        a.editItem = record("edit");
        a.togglePinned = record("pin");
        a.toggleQueue = record("queue");
        a.openPreview = record("preview");
        if (canRetry)
            a.retryOCR = record("retry");
        a.pasteText = [this](const QString& text) { pasted.append(text); };
        a.copyText = [this](const QString& text) { copied.append(text); };
        a.togglePinboard = [this](const Pinboard& board, const ClipboardItem&) { toggledBoards.append(board.id()); };
        return a;
    }
};

class ClipLensViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TolviWindowAppearance::attach(&window, &theme);
        new QVBoxLayout(&window);
        window.resize(480, 760);
        window.show();
    }

    ClipLensView& makeLens(bool canRetry = true, ThumbnailCache* thumbnails = nullptr)
    {
        lens = new ClipLensView(host.actions(canRetry), thumbnails, [] { return now; }, &window);
        window.layout()->addWidget(lens);
        return *lens;
    }

    void show(const ClipboardItem& item, const std::function<void(ClipLensView::Input&)>& adjust = {})
    {
        ClipLensView::Input input(item);
        input.pinboards = boards;
        if (adjust)
            adjust(input);
        lens->setInput(input);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }

    QString call(const char* name, const ClipboardItem& item) const
    {
        return QString::fromLatin1(name) + QLatin1Char(' ') + item.id().toString();
    }

    TolviTheme theme;
    QWidget window;
    Host host;
    ClipLensView* lens = nullptr;
    QList<Pinboard> boards = DefaultPinboards::all();
};

TEST_F(ClipLensViewTest, PrimaryActionsHandTheClipToTheHost)
{
    makeLens();
    const ClipboardItem clip = textClip(QStringLiteral("hello"));
    show(clip);
    for (InspectorButton* button : {lens->pasteButton(), lens->copyButton(), lens->editButton(), lens->pinButton(),
                                    lens->quickLookButton(), lens->selectButton()})
        click(button);
    EXPECT_EQ(host.calls, QStringList({call("paste", clip), call("copy", clip), call("edit", clip), call("pin", clip),
                                       call("preview", clip), call("queue", clip)}));

    // An editor or preview the window cannot open now is not offered.
    host.calls.clear();
    show(clip, [](ClipLensView::Input& input) {
        input.canEdit = false;
        input.canOpenPreview = false;
    });
    click(lens->editButton());
    click(lens->quickLookButton());
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST_F(ClipLensViewTest, ReturnPastesOnlyWhileTheFocusIsInThePane)
{
    auto* outside = new QLineEdit(&window);
    window.layout()->addWidget(outside);
    makeLens();
    const ClipboardItem clip = textClip(QStringLiteral("hello"));
    show(clip);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    outside->setFocus();
    QTest::keyClick(outside, Qt::Key_Return);
    EXPECT_TRUE(host.calls.isEmpty());
    lens->pinButton()->setFocus();
    QTest::keyClick(lens->pinButton(), Qt::Key_Return);
    EXPECT_EQ(host.calls, QStringList({call("paste", clip)}));
}

TEST_F(ClipLensViewTest, PinSelectAndEditFollowTheClip)
{
    makeLens();
    show(textClip(QStringLiteral("hello"), true));
    EXPECT_EQ(lens->pinButton()->title(), QStringLiteral("Unpin"));
    EXPECT_EQ(lens->pinButton()->systemImage(), QStringLiteral("pin.slash"));
    EXPECT_EQ(lens->selectButton()->title(), QStringLiteral("Select"));

    show(textClip(QStringLiteral("hello")), [](ClipLensView::Input& input) { input.isQueued = true; });
    EXPECT_EQ(lens->pinButton()->title(), QStringLiteral("Pin"));
    EXPECT_EQ(lens->selectButton()->title(), QStringLiteral("Selected"));
    EXPECT_EQ(lens->selectButton()->systemImage(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_FALSE(lens->editButton()->isHidden());
    EXPECT_FALSE(lens->pasteAsButton()->isHidden());

    show(imageClip());
    EXPECT_TRUE(lens->editButton()->isHidden());
}

TEST_F(ClipLensViewTest, FileReferencesOfferPathsInsteadOfTransforms)
{
    makeLens();
    const ClipboardItem clip = fileClip({QStringLiteral("file:///home/ada/Quarterly%20Report.pdf"),
                                         QStringLiteral("file://localhost/tmp/notes&more.txt")});
    show(clip);
    EXPECT_TRUE(lens->pasteAsButton()->isHidden());
    EXPECT_EQ(lens->editButton()->title(), QStringLiteral("Edit Paths"));
    EXPECT_FALSE(lens->fileNote()->isHidden());
    EXPECT_FALSE(lens->fileList()->isHidden());
    EXPECT_TRUE(lens->textPreview()->isHidden());
    EXPECT_EQ(lens->fileList()->entryCount(), 2);
    EXPECT_EQ(titles(lens->badges()).first(), QStringLiteral("2 Files"));
    ASSERT_EQ(titles(lens->toolButtons()), QStringList({QStringLiteral("Copy Paths")}));
    click(lens->toolButtons().first());
    EXPECT_EQ(host.copied, QStringList({QStringLiteral("/home/ada/Quarterly Report.pdf\n/tmp/notes&more.txt")}));
}

TEST_F(ClipLensViewTest, ImageToolsCopyFactsAndRecognizedTextAsStored)
{
    makeLens();
    const ClipboardItem plain = imageClip(std::nullopt, false);
    show(plain);
    ASSERT_EQ(titles(lens->toolButtons()), QStringList({QStringLiteral("Size"), QStringLiteral("Bytes")}));
    click(lens->toolButtons().at(0));
    click(lens->toolButtons().at(1));
    EXPECT_EQ(host.copied, QStringList({QStringLiteral("Image Unknown size"),
                                        ByteCountFormatter::fileStyle(plain.content().imageValue().byteCount())}));

    // Blanks count as recognised text, and are copied as they are.
    host.copied.clear();
    show(imageClip(QStringLiteral("   ")));
    ASSERT_EQ(titles(lens->toolButtons()),
              QStringList({QStringLiteral("Size"), QStringLiteral("Bytes"), QStringLiteral("Extract Text (OCR)")}));
    click(lens->toolButtons().at(0));
    click(lens->toolButtons().at(2));
    EXPECT_EQ(host.copied, QStringList({QStringLiteral("Image 8 x 6"), QStringLiteral("   ")}));
    EXPECT_EQ(titles(lens->badges()), QStringList({QStringLiteral("OCR"), QStringLiteral("Searchable")}));
}

TEST_F(ClipLensViewTest, PrioritizedTransformsPutTheSpecificOnesFirst)
{
    using T = TextTransform;
    const QList<TextTransform> general{T::emailDraft, T::codeBlock, T::trimWhitespace, T::collapseSpaces, T::checklist,
                                       T::bulletList};
    EXPECT_EQ(ClipLensView::prioritizedTransforms(QStringLiteral("Meet at noon")), general);
    EXPECT_EQ(ClipLensView::prioritizedTransforms(QString()), general);
    EXPECT_EQ(ClipLensView::prioritizedTransforms(QStringLiteral("{\"a\": [1, 2]}")),
              QList<TextTransform>({T::prettyJSON, T::emailDraft, T::codeBlock, T::trimWhitespace, T::collapseSpaces,
                                    T::checklist}));
    EXPECT_EQ(ClipLensView::prioritizedTransforms(QStringLiteral("https://example.com/a?utm_source=x")),
              QList<TextTransform>({T::cleanURL, T::markdownLink, T::emailDraft, T::codeBlock, T::trimWhitespace,
                                    T::collapseSpaces}));
}

TEST_F(ClipLensViewTest, BoardMenuMarksTheClipsBoardsAndTogglesTheChosenOne)
{
    makeLens();
    const Pinboard work = boards.at(0);
    const Pinboard code = boards.at(1);
    boards.append(Pinboard(QUuid::createUuid(), QStringLiteral("Q&A"), QStringLiteral("star"), now));
    const ClipboardItem clip = textClip(QStringLiteral("hello"), true, {code.id()});
    const QList<ClipLensView::BoardEntry> entries = ClipLensView::boardEntries(clip, boards);
    ASSERT_EQ(entries.size(), boards.size());
    EXPECT_FALSE(entries.at(0).holdsClip);
    EXPECT_EQ(entries.at(0).systemImage, work.systemName());
    EXPECT_TRUE(entries.at(1).holdsClip);
    EXPECT_EQ(entries.at(1).systemImage, QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(entries.last().menuText, QStringLiteral("Q&&A"));

    show(clip);
    emit lens->boardMenu()->aboutToShow();
    const QList<QAction*> actions = lens->boardMenu()->actions();
    ASSERT_EQ(actions.size(), boards.size());
    actions.at(1)->trigger();
    EXPECT_EQ(host.toggledBoards, QList<QUuid>({code.id()}));

    // With no boards the menu is still there, empty.
    boards.clear();
    show(textClip(QStringLiteral("other")));
    emit lens->boardMenu()->aboutToShow();
    EXPECT_TRUE(lens->boardMenu()->actions().isEmpty());
    EXPECT_FALSE(lens->boardButton()->isHidden());
}

TEST_F(ClipLensViewTest, RetryAndExplanationFollowTheRecognitionState)
{
    struct Case {
        std::optional<OCRStatus> status;
        bool recognizing;
        bool canRetry;
        bool explained;
    };
    const Case cases[] = {
        {std::nullopt, false, true, false},          {std::nullopt, true, false, true},
        {OCRStatus::processing, false, false, true}, {OCRStatus::noText, false, true, false},
        {OCRStatus::failed, true, true, true},       {OCRStatus::unsupportedImage, false, false, true},
        {OCRStatus::timedOut, false, true, true},    {OCRStatus::busy, false, true, true},
        {OCRStatus::cancelled, false, true, true},
    };
    for (const Case& c : cases) {
        ClipLensView::Input input(imageClip());
        input.ocrStatus = c.status;
        input.isRecognizingText = c.recognizing;
        SCOPED_TRACE(int(c.status.value_or(OCRStatus(-1))));
        EXPECT_EQ(ClipLensView::canRetryOCR(input, true), c.canRetry);
        EXPECT_FALSE(ClipLensView::canRetryOCR(input, false));
        EXPECT_EQ(ClipLensView::ocrExplanation(input).has_value(), c.explained);
    }
    // Recognised text that is only blanks can be read again; real text cannot.
    EXPECT_TRUE(ClipLensView::canRetryOCR(ClipLensView::Input(imageClip(QStringLiteral(" \n"))), true));
    EXPECT_FALSE(ClipLensView::canRetryOCR(ClipLensView::Input(imageClip(QStringLiteral("Total 6.00"))), true));
    ClipLensView::Input text(textClip(QStringLiteral("hello")));
    text.ocrStatus = OCRStatus::failed;
    EXPECT_FALSE(ClipLensView::canRetryOCR(text, true));
    EXPECT_FALSE(ClipLensView::ocrExplanation(text));
    EXPECT_FALSE(ClipLensView::ocrAnnouncement(text));
}

TEST_F(ClipLensViewTest, RecognitionCardShowsWhatTheStateAllows)
{
    makeLens();
    auto withStatus = [](std::optional<OCRStatus> status, bool recognizing = false) {
        return [status, recognizing](ClipLensView::Input& input) {
            input.ocrStatus = status;
            input.isRecognizingText = recognizing;
        };
    };
    // A text clip never has the card.
    show(textClip(QStringLiteral("hello")), withStatus(OCRStatus::failed, true));
    EXPECT_TRUE(lens->ocrCard()->isHidden());

    const ClipboardItem image = imageClip();
    show(image, withStatus(std::nullopt));
    EXPECT_FALSE(lens->ocrCard()->isHidden());
    EXPECT_TRUE(lens->ocrStatusRow()->isHidden());
    EXPECT_EQ(lens->ocrButton()->title(), QStringLiteral("Read Image Text"));
    click(lens->ocrButton());
    EXPECT_EQ(host.calls, QStringList({call("retry", image)}));

    show(image, withStatus(std::nullopt, true));
    EXPECT_FALSE(lens->ocrProgress()->isHidden());
    EXPECT_EQ(lens->ocrStatusLabel()->status(), OCRStatus::processing);
    EXPECT_FALSE(lens->ocrExplanationLabel()->isHidden());
    EXPECT_FALSE(lens->ocrButton()->parentWidget()->isVisibleTo(lens));

    show(image, withStatus(OCRStatus::noText, true));
    EXPECT_TRUE(lens->ocrProgress()->isHidden());
    EXPECT_TRUE(lens->ocrExplanationLabel()->isHidden());
    EXPECT_EQ(lens->ocrButton()->title(), QStringLiteral("Retry"));

    // Without a retry action: the status, never a button.
    delete lens;
    makeLens(false);
    show(image, withStatus(OCRStatus::failed));
    EXPECT_FALSE(lens->ocrStatusRow()->isHidden());
    EXPECT_FALSE(lens->ocrButton()->parentWidget()->isVisibleTo(lens));
    show(imageClip(), withStatus(std::nullopt));
    EXPECT_TRUE(lens->ocrCard()->isHidden());
}

TEST_F(ClipLensViewTest, BadgesCountBoardsAndPreviewFontFollowsTheCodeTest)
{
    makeLens();
    show(textClip(QStringLiteral("<b>Bold</b>"), true, {QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid()}));
    EXPECT_EQ(titles(lens->badges()), QStringList({QStringLiteral("Text"), QStringLiteral("Pinned"), QStringLiteral("3 boards")}));
    EXPECT_EQ(lens->detectedKind().title(), QStringLiteral("Text Clip"));
    EXPECT_EQ(lens->textPreview()->textFont().styleHint(), QFont::Monospace);
    show(textClip(QStringLiteral("x"), false, {QUuid::createUuid()}));
    EXPECT_EQ(titles(lens->badges()), QStringList({QStringLiteral("Text"), QStringLiteral("1 board")}));
    EXPECT_NE(lens->textPreview()->textFont().styleHint(), QFont::Monospace);

    EXPECT_TRUE(ClipLensView::looksLikeCode(QStringLiteral("ends in let ")));
    EXPECT_TRUE(ClipLensView::looksLikeCode(QStringLiteral("x => y")));
    EXPECT_FALSE(ClipLensView::looksLikeCode(QStringLiteral("Let x be")));
    EXPECT_FALSE(ClipLensView::looksLikeCode(QStringLiteral("a -> b")));
}

TEST_F(ClipLensViewTest, AnotherClipStartsAtTheTopOfTheColumn)
{
    makeLens();
    window.resize(480, 420);
    show(textClip(QStringLiteral("line\n").repeated(200)));
    QScrollBar* bar = lens->scrollArea()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    show(textClip(QStringLiteral("line\n").repeated(200)));
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(ClipLensViewTest, ImagePreviewDecodesOffTheMainThreadOrSaysItCannot)
{
    ThumbnailCache thumbnails;
    makeLens(true, &thumbnails);
    show(imageClip());
    ClipImagePreview* preview = lens->imagePreview();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        preview->repaint();
        return preview->state() == ClipImagePreview::State::shown;
    }));

    ClipboardImage broken(QByteArray("not an image at all"), QStringLiteral("public.png"), 10, 10);
    show(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(broken), now));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        preview->repaint();
        return preview->state() == ClipImagePreview::State::unavailable;
    }));
    EXPECT_GE(preview->height(), ClipImagePreview::minimumHeight);
    EXPECT_LE(preview->height(), ClipImagePreview::maximumHeight);
}

} // namespace
} // namespace tolvi
