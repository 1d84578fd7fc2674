#include "Tolvi/clipviews/PasteAsMenu.h"

#include "Tolvi/design/SymbolCatalog.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using Kind = PasteAsMenu::Entry::Kind;

ClipboardItem textClip(const QString& text)
{
    return ClipboardItem(QUuid::createUuid(), text, 1000.0);
}

ClipboardItem imageClip(std::optional<QString> recognizedText, std::optional<qint64> width = 1920,
                        std::optional<qint64> height = 1080)
{
    ClipboardImage image(QByteArray("not really a png"), QStringLiteral("public.png"), width, height,
                         std::move(recognizedText));
    return ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image), 1000.0);
}

// The titles in menu order, a separator as "-".
QStringList titles(const QList<PasteAsMenu::Entry>& entries)
{
    QStringList result;
    for (const PasteAsMenu::Entry& entry : entries)
        result.append(entry.kind == Kind::separator ? QStringLiteral("-") : entry.title);
    return result;
}

QStringList titles(const QMenu& menu)
{
    QStringList result;
    for (const QAction* action : menu.actions())
        result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

QAction* actionTitled(const QMenu& menu, const QString& title)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

const QStringList everydayTransforms = {
    QStringLiteral("Email Draft"),  QStringLiteral("Code Block"),  QStringLiteral("Trimmed Text"),
    QStringLiteral("Clean Spacing"), QStringLiteral("Checklist"),  QStringLiteral("Bullet List"),
    QStringLiteral("Numbered List"), QStringLiteral("Slug"),
};

TEST(PasteAsMenuTest, TextClipsListPlainTextThenTheTransformsThatApply)
{
    // Neither JSON nor a web address (the empty text included): the eight everyday transforms.
    for (const QString& text : {QStringLiteral("Meeting notes\nsecond line"), QString(), QStringLiteral("ftp://host/x")}) {
        EXPECT_EQ(titles(PasteAsMenu::entries(textClip(text))),
                  QStringList({QStringLiteral("Plain Text"), QStringLiteral("-")}) + everydayTransforms)
            << text.toStdString();
    }
    EXPECT_EQ(titles(PasteAsMenu::entries(textClip(QStringLiteral("https://example.com/a?utm_source=x")))),
              QStringList({QStringLiteral("Plain Text"), QStringLiteral("-"), QStringLiteral("Clean URL"),
                           QStringLiteral("Markdown Link")})
                  + everydayTransforms);
    EXPECT_EQ(titles(PasteAsMenu::entries(textClip(QStringLiteral("{\"a\": [1, 2]}")))),
              QStringList({QStringLiteral("Plain Text"), QStringLiteral("-"), QStringLiteral("Pretty JSON")})
                  + everydayTransforms);
}

TEST(PasteAsMenuTest, OffersExactlyTheAvailableTransformsOfItsOwnSelection)
{
    // The menu never offers what the transforms themselves do not, and leaves out only the
    // case changes, sorting, de-duplication and quoting.
    const QList<TextTransform> neverOffered = {TextTransform::sentenceCase, TextTransform::titleCase,
                                               TextTransform::uppercase,    TextTransform::lowercase,
                                               TextTransform::sortLines,    TextTransform::deduplicateLines,
                                               TextTransform::quoteLines};
    for (const QString& text : {QStringLiteral("plain words"), QStringLiteral("[1,2,3]"),
                                QStringLiteral("  http://example.org/path  "), QStringLiteral("{broken json"),
                                QStringLiteral("https://exa mple.com")}) {
        const QList<TextTransform> available = TextTransform::available(text);
        const QList<TextTransform> offered = PasteAsMenu::pasteTransforms(text);
        for (TextTransform transform : offered)
            EXPECT_TRUE(available.contains(transform)) << text.toStdString() << " " << transform.rawValue().toStdString();
        for (TextTransform transform : available) {
            EXPECT_EQ(offered.contains(transform), !neverOffered.contains(transform))
                << text.toStdString() << " " << transform.rawValue().toStdString();
        }
    }
}

TEST(PasteAsMenuTest, ImageClipsListTheImageItsRecognisedTextAndItsSize)
{
    const QStringList bare = {QStringLiteral("Image"), QStringLiteral("-"), QStringLiteral("Paste Image Size")};
    EXPECT_EQ(titles(PasteAsMenu::entries(imageClip(std::nullopt))), bare);
    EXPECT_EQ(titles(PasteAsMenu::entries(imageClip(QString()))), bare);

    QStringList withURL = {QStringLiteral("Image"), QStringLiteral("-"), QStringLiteral("Extracted Text (OCR)"),
                           QStringLiteral("OCR Clean URL"), QStringLiteral("OCR Markdown Link")};
    for (const QString& title : everydayTransforms)
        withURL.append(QStringLiteral("OCR ") + title);
    withURL += QStringList{QStringLiteral("-"), QStringLiteral("Paste Image Size")};
    EXPECT_EQ(titles(PasteAsMenu::entries(imageClip(QStringLiteral("https://example.com")))), withURL);

    // Blanks are text too: recognised text is not trimmed before it is offered.
    EXPECT_TRUE(titles(PasteAsMenu::entries(imageClip(QStringLiteral("   ")))).contains(QStringLiteral("Extracted Text (OCR)")));
}

TEST(PasteAsMenuTest, EverySymbolIsDrawnByTheCatalogue)
{
    QList<ClipboardItem> clips = {textClip(QStringLiteral("https://example.com")), textClip(QStringLiteral("[1]")),
                                  imageClip(QStringLiteral("{\"a\":1}"))};
    for (const ClipboardItem& clip : clips) {
        for (const PasteAsMenu::Entry& entry : PasteAsMenu::entries(clip)) {
            if (entry.kind != Kind::separator) {
                EXPECT_TRUE(SymbolCatalog::contains(entry.systemImage)) << entry.systemImage.toStdString();
            }
        }
    }
    EXPECT_TRUE(SymbolCatalog::contains(PasteAsMenu::systemImage()));
}

// A host whose history can change between building the menu and choosing an entry.
struct Host {
    QHash<QUuid, ClipboardItem> clips;
    QList<ClipboardItem> pastedItems;
    QStringList pastedTexts;
    QWidget parent;

    QMenu* menuFor(const ClipboardItem& item)
    {
        clips.insert(item.id(), item);
        return PasteAsMenu::create(
            item,
            [this](const QUuid& id) -> std::optional<ClipboardItem> {
                if (const auto found = clips.constFind(id); found != clips.cend())
                    return *found;
                return std::nullopt;
            },
            [this](const ClipboardItem& clip) { pastedItems.append(clip); },
            [this](const QString& text) { pastedTexts.append(text); }, &parent);
    }
};

TEST(PasteAsMenuTest, EntriesWorkOnTheClipAsItIsWhenChosen)
{
    Host host;
    const ClipboardItem original = textClip(QStringLiteral("first draft"));
    QMenu* menu = host.menuFor(original);
    EXPECT_EQ(menu->title(), QStringLiteral("Paste As"));
    EXPECT_EQ(titles(*menu), titles(PasteAsMenu::entries(original)));

    // The clip was edited after the menu was built: its current text is what gets pasted.
    ClipboardItem edited = original;
    edited.setContent(ClipboardContent::text(QStringLiteral("  second   take  ")));
    host.clips.insert(edited.id(), edited);
    actionTitled(*menu, QStringLiteral("Trimmed Text"))->trigger();
    actionTitled(*menu, QStringLiteral("Clean Spacing"))->trigger();
    actionTitled(*menu, QStringLiteral("Plain Text"))->trigger();
    EXPECT_EQ(host.pastedTexts, QStringList({TextTransform(TextTransform::trimWhitespace).apply(QStringLiteral("  second   take  ")),
                                             TextTransform(TextTransform::collapseSpaces).apply(QStringLiteral("  second   take  ")),
                                             QStringLiteral("  second   take  ")}));
    EXPECT_TRUE(host.pastedItems.isEmpty());

    // Deleted meanwhile: nothing is pasted, not even the text the menu was built from.
    host.clips.remove(original.id());
    host.pastedTexts.clear();
    actionTitled(*menu, QStringLiteral("Plain Text"))->trigger();
    actionTitled(*menu, QStringLiteral("Slug"))->trigger();
    EXPECT_TRUE(host.pastedTexts.isEmpty());
}

TEST(PasteAsMenuTest, ImageEntriesPasteTheImageItsTextOrItsSize)
{
    Host host;
    const ClipboardItem image = imageClip(QStringLiteral("  https://example.com/?utm_source=mail  "));
    QMenu* menu = host.menuFor(image);
    actionTitled(*menu, QStringLiteral("Image"))->trigger();
    ASSERT_EQ(host.pastedItems.size(), 1);
    EXPECT_EQ(host.pastedItems.first(), image);

    actionTitled(*menu, QStringLiteral("Extracted Text (OCR)"))->trigger();
    actionTitled(*menu, QStringLiteral("OCR Clean URL"))->trigger();
    actionTitled(*menu, QStringLiteral("Paste Image Size"))->trigger();
    EXPECT_EQ(host.pastedTexts,
              QStringList({QStringLiteral("  https://example.com/?utm_source=mail  "),
                           TextTransform(TextTransform::cleanURL).apply(QStringLiteral("  https://example.com/?utm_source=mail  ")),
                           QStringLiteral("Image 1920 x 1080")}));

    // Recognition was cleared since: the recognised-text entries paste nothing.
    ClipboardItem cleared = image;
    cleared.content().imageValue().setRecognizedText(std::nullopt);
    host.clips.insert(cleared.id(), cleared);
    host.pastedTexts.clear();
    actionTitled(*menu, QStringLiteral("OCR Markdown Link"))->trigger();
    EXPECT_TRUE(host.pastedTexts.isEmpty());

    Host unknownSize;
    QMenu* sizeMenu = unknownSize.menuFor(imageClip(std::nullopt, 640, std::nullopt));
    actionTitled(*sizeMenu, QStringLiteral("Paste Image Size"))->trigger();
    EXPECT_EQ(unknownSize.pastedTexts, QStringList({QStringLiteral("Image Unknown size")}));
}

} // namespace
} // namespace tolvi
