#include "Tolvi/compact/CompactPasteAction.h"

#include <QSet>
#include <QUuid>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

QStringList titles(const CompactPasteActionSection& section)
{
    QStringList result;
    for (const CompactPasteAction& action : section.actions)
        result.append(action.title);
    return result;
}

const CompactPasteAction* find(const QList<CompactPasteActionSection>& sections, const QString& id)
{
    for (const CompactPasteActionSection& section : sections) {
        for (const CompactPasteAction& action : section.actions) {
            if (action.id == id)
                return &action;
        }
    }
    return nullptr;
}

ClipboardItem text(const QString& value)
{
    return ClipboardItem(QUuid::createUuid(), value, 0);
}

ClipboardItem image(std::optional<QString> recognised, std::optional<qint64> width = 640)
{
    return ClipboardItem(QUuid::createUuid(),
                         ClipboardContent::image(ClipboardImage(QByteArray("png bytes"), QStringLiteral("public.png"), width,
                                                                400, std::move(recognised))),
                         0);
}

void expectUniqueIDs(const QList<CompactPasteActionSection>& sections)
{
    QSet<QString> ids;
    for (const CompactPasteActionSection& section : sections) {
        for (const CompactPasteAction& action : section.actions) {
            EXPECT_FALSE(ids.contains(action.id)) << qPrintable(action.id);
            ids.insert(action.id);
        }
    }
}

TEST(CompactPasteActionCatalogue, TextClipsRecommendByKindAndNeverRepeatARecommendation)
{
    const auto url = CompactPasteActionSection::sections(text(QStringLiteral("https://example.com/a?utm_source=x")), true);
    ASSERT_EQ(url.size(), 2);
    EXPECT_EQ(url[0].id, QStringLiteral("recommended"));
    EXPECT_TRUE(url[0].isRecommended);
    EXPECT_EQ(url[1].title, QStringLiteral("Other Actions"));
    EXPECT_EQ(titles(url[0]), (QStringList{"Fix Writing", "Draft Reply", "Edit Text", "Clean URL", "Markdown"}));
    EXPECT_EQ(titles(url[1]), (QStringList{"Paste", "Preview", "Plain Text", "Email Draft", "Checklist", "Bullet List",
                                           "Numbered List", "Code Block", "Trimmed Text", "Clean Spacing", "Slug"}));
    expectUniqueIDs(url);

    const auto json = CompactPasteActionSection::sections(text(QStringLiteral("{\"b\": 1, \"a\": [2]}")), false);
    EXPECT_EQ(titles(json[0]), (QStringList{"Edit Text", "JSON"}));
    EXPECT_EQ(titles(json[1]).first(), QStringLiteral("Paste"));
    EXPECT_FALSE(titles(json[1]).contains(QStringLiteral("JSON")));

    const auto plain = CompactPasteActionSection::sections(text(QStringLiteral("buy milk\ncall Anna")), false);
    EXPECT_EQ(titles(plain[0]), (QStringList{"Edit Text", "Email Draft", "Checklist"}));
    EXPECT_EQ(titles(plain[1]), (QStringList{"Paste", "Preview", "Plain Text", "Bullet List", "Numbered List",
                                             "Code Block", "Trimmed Text", "Clean Spacing", "Slug"}));
    // The transforms this panel never offers.
    for (const char* id : {"text-sentenceCase", "text-titleCase", "text-uppercase", "text-lowercase", "text-sortLines",
                           "text-deduplicateLines", "text-quoteLines"})
        EXPECT_EQ(find(plain, QLatin1String(id)), nullptr) << id;
    EXPECT_EQ(find(plain, QStringLiteral("paste"))->systemImage, QStringLiteral("arrow.down.doc"));
}

TEST(CompactPasteActionCatalogue, AIActionsComeOnlyWithTheSwitchAndCarryTheClipsText)
{
    const ClipboardItem clip = text(QStringLiteral("teh quick fox"));
    const auto off = CompactPasteActionSection::sections(clip, false);
    for (const CompactPasteActionSection& section : off) {
        for (const CompactPasteAction& action : section.actions)
            EXPECT_FALSE(action.id.startsWith(QStringLiteral("ai-"))) << qPrintable(action.id);
    }
    EXPECT_EQ(off[0].actions.first().id, QStringLiteral("edit-text"));

    const auto on = CompactPasteActionSection::sections(clip, true);
    const CompactPasteAction* fix = find(on, QStringLiteral("ai-fix_writing"));
    const CompactPasteAction* reply = find(on, QStringLiteral("ai-draft_reply"));
    ASSERT_TRUE(fix && reply);
    EXPECT_EQ(fix->kind, CompactPasteAction::Kind::aiText);
    EXPECT_EQ(fix->text, clip.content().textValue());
    EXPECT_EQ(fix->aiAction->id, AIAction::fixWriting().id);
    EXPECT_EQ(fix->subtitle, QStringLiteral("Fix spelling and punctuation"));
    EXPECT_EQ(reply->systemImage, QStringLiteral("envelope"));
}

TEST(CompactPasteActionCatalogue, ImagesOfferRecognisedTextOnlyWhenThereIsSome)
{
    const auto withText = CompactPasteActionSection::sections(image(QStringLiteral("Dear team\nthe build is green")), true);
    EXPECT_EQ(titles(withText[0]), (QStringList{"Preview", "OCR Text", "OCR Email Draft"}));
    EXPECT_EQ(titles(withText[1]), (QStringList{"Paste", "Paste Image Size", "OCR Checklist", "OCR Bullet List",
                                                "OCR Code Block", "OCR Trimmed Text", "OCR Clean Spacing"}));
    EXPECT_EQ(find(withText, QStringLiteral("paste"))->systemImage, QStringLiteral("photo"));
    EXPECT_EQ(find(withText, QStringLiteral("ocr-text"))->pastedText(), QStringLiteral("Dear team\nthe build is green"));
    expectUniqueIDs(withText);

    const auto without = CompactPasteActionSection::sections(image(std::nullopt), true);
    EXPECT_EQ(titles(without[0]), (QStringList{"Paste", "Preview"}));
    EXPECT_EQ(titles(without[1]), (QStringList{"Paste Image Size"}));
    // An empty recognised text is none; blanks are text.
    EXPECT_EQ(titles(CompactPasteActionSection::sections(image(QString()), false)[0]), (QStringList{"Paste", "Preview"}));
    EXPECT_NE(find(CompactPasteActionSection::sections(image(QStringLiteral("  ")), false), QStringLiteral("ocr-text")),
              nullptr);

    const auto unknown = CompactPasteActionSection::sections(image(std::nullopt, std::nullopt), false);
    const CompactPasteAction* size = find(unknown, QStringLiteral("image-size"));
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->subtitle, QStringLiteral("Unknown size"));
    EXPECT_EQ(size->pastedText(), QStringLiteral("Image Unknown size"));
}

TEST(CompactPasteActionCatalogue, FileReferenceClipsAreTextClipsAndTransformsApplyWhenRun)
{
    ClipboardItem files(QUuid::createUuid(), QStringLiteral("/home/me/report.pdf"), 0, false, {}, std::nullopt,
                        ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {QStringLiteral("file:///home/me/report.pdf")}));
    const auto sections = CompactPasteActionSection::sections(files, false);
    EXPECT_EQ(find(sections, QStringLiteral("paste"))->systemImage, QStringLiteral("arrow.down.doc"));
    EXPECT_NE(find(sections, QStringLiteral("edit-text")), nullptr);

    const auto lines = CompactPasteActionSection::sections(text(QStringLiteral("one\ntwo")), false);
    const CompactPasteAction* bullets = find(lines, QStringLiteral("text-bulletList"));
    ASSERT_NE(bullets, nullptr);
    EXPECT_EQ(bullets->pastedText(), TextTransform(TextTransform::bulletList).apply(QStringLiteral("one\ntwo")));
    EXPECT_EQ(find(lines, QStringLiteral("plain-text"))->pastedText(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(find(lines, QStringLiteral("edit-text"))->pastedText(), QString());
}

} // namespace
} // namespace tolvi
