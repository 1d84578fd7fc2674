#include "TolviCore/ai/AIAction.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

TEST(AIActionTest, BuiltInActions)
{
    const AIAction& fix = AIAction::fixWriting();
    EXPECT_EQ(fix.id, QStringLiteral("fix_writing"));
    EXPECT_EQ(fix.title, QStringLiteral("Fix Writing"));
    EXPECT_EQ(fix.inputType, AIInputType::text);
    EXPECT_EQ(fix.outputType, AIOutputType::replacementText);

    const AIAction& reply = AIAction::draftReply();
    EXPECT_EQ(reply.id, QStringLiteral("draft_reply"));
    EXPECT_EQ(reply.title, QStringLiteral("Draft Reply"));
    EXPECT_EQ(reply.inputType, AIInputType::text);
    EXPECT_EQ(reply.outputType, AIOutputType::replacementText);

    EXPECT_EQ(AIAction::rewrite(), AIAction::fixWriting());
    EXPECT_NE(AIAction::fixWriting(), AIAction::draftReply());

    ASSERT_EQ(AIAction::textActions().size(), 2);
    EXPECT_EQ(AIAction::textActions().at(0).id, QStringLiteral("fix_writing"));
    EXPECT_EQ(AIAction::textActions().at(1).id, QStringLiteral("draft_reply"));
}

TEST(AIActionTest, PromptTemplatesAreAsciiLinesWithoutTrailingLineFeed)
{
    const struct {
        const AIAction& action;
        qsizetype lines;
        qsizetype characters;
        const char* firstLine;
        const char* lastLine;
    } cases[] = {
        {AIAction::fixWriting(), 5, 465,
         "Correct the selected text for spelling, punctuation, grammar, and light wording based on its context.",
         "Return only the rewritten text with no preface, title, markdown fence, or explanation."},
        {AIAction::draftReply(), 7, 501, "Draft a useful reply to the selected message or email.",
         "Return only the reply text with no preface, title, markdown fence, or explanation."},
    };
    for (const auto& entry : cases) {
        const QString& prompt = entry.action.promptTemplate;
        const QStringList lines = prompt.split(QLatin1Char('\n'));
        EXPECT_EQ(lines.size(), entry.lines) << entry.action.id.toStdString();
        EXPECT_EQ(prompt.size(), entry.characters) << entry.action.id.toStdString();
        EXPECT_EQ(lines.first(), QLatin1String(entry.firstLine));
        EXPECT_EQ(lines.last(), QLatin1String(entry.lastLine));
        EXPECT_FALSE(prompt.endsWith(QLatin1Char('\n')));
        for (QChar character : prompt)
            EXPECT_LT(character.unicode(), 128);
    }
    EXPECT_TRUE(AIAction::draftReply().promptTemplate.contains(
        QStringLiteral("\nDo not mention that you are an AI and do not include a subject line unless the input asks for one.\n")));
}

TEST(AIActionTest, JsonRoundTripAndRequiredKeys)
{
    const AIAction custom{QStringLiteral("summarise"), QStringLiteral("Summarise"), AIInputType::ocr,
                          AIOutputType::newClip, QStringLiteral("Line 1\nLine 2")};
    const QJsonObject json = custom.toJson();
    EXPECT_EQ(json.value(QStringLiteral("inputType")).toString(), QStringLiteral("ocr"));
    EXPECT_EQ(json.value(QStringLiteral("outputType")).toString(), QStringLiteral("newClip"));
    EXPECT_EQ(json.keys().size(), 5);
    EXPECT_EQ(AIAction::fromJson(json), custom);
    EXPECT_EQ(AIAction::fromJson(AIAction::draftReply().toJson()), AIAction::draftReply());

    for (const QString& key : json.keys()) {
        QJsonObject missing = json;
        missing.remove(key);
        EXPECT_EQ(AIAction::fromJson(missing), std::nullopt) << key.toStdString();
    }
    QJsonObject wrongType = json;
    wrongType.insert(QStringLiteral("title"), 3);
    EXPECT_EQ(AIAction::fromJson(wrongType), std::nullopt);
    QJsonObject unknownCase = json;
    unknownCase.insert(QStringLiteral("outputType"), QStringLiteral("clipboard"));
    EXPECT_EQ(AIAction::fromJson(unknownCase), std::nullopt);
    QJsonObject extra = json;
    extra.insert(QStringLiteral("other"), true);
    EXPECT_EQ(AIAction::fromJson(extra), custom);
}

} // namespace
