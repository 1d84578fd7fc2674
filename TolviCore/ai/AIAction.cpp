#include "TolviCore/ai/AIAction.h"

#include <QStringList>

namespace tolvi {

namespace {

QString joinedLines(const QStringList& lines)
{
    return lines.join(QLatin1Char('\n'));
}

AIAction makeFixWriting()
{
    return AIAction{
        QStringLiteral("fix_writing"),
        QStringLiteral("Fix Writing"),
        AIInputType::text,
        AIOutputType::replacementText,
        joinedLines({
            QStringLiteral("Correct the selected text for spelling, punctuation, grammar, and light wording based on its context."),
            QStringLiteral("Preserve the original meaning, names, facts, numbers, URLs, commands, formatting intent, and approximate length."),
            QStringLiteral("Keep the writer's voice unless the text clearly needs a slightly more professional tone."),
            QStringLiteral("Do not add new facts, commitments, explanations, greetings, or signatures."),
            QStringLiteral("Return only the rewritten text with no preface, title, markdown fence, or explanation."),
        }),
    };
}

AIAction makeDraftReply()
{
    return AIAction{
        QStringLiteral("draft_reply"),
        QStringLiteral("Draft Reply"),
        AIInputType::text,
        AIOutputType::replacementText,
        joinedLines({
            QStringLiteral("Draft a useful reply to the selected message or email."),
            QStringLiteral("Identify the sender's requests, questions, deadlines, and next steps."),
            QStringLiteral("Write in a clear, professional, natural tone."),
            QStringLiteral("Keep the reply concise unless the copied message requires a detailed response."),
            QStringLiteral("If key information is missing, ask for it instead of inventing facts."),
            QStringLiteral("Do not mention that you are an AI and do not include a subject line unless the input asks for one."),
            QStringLiteral("Return only the reply text with no preface, title, markdown fence, or explanation."),
        }),
    };
}

} // namespace

QString toRawValue(AIInputType type)
{
    switch (type) {
    case AIInputType::text: return QStringLiteral("text");
    case AIInputType::image: return QStringLiteral("image");
    case AIInputType::ocr: return QStringLiteral("ocr");
    }
    return {};
}

QString toRawValue(AIOutputType type)
{
    switch (type) {
    case AIOutputType::replacementText: return QStringLiteral("replacementText");
    case AIOutputType::newClip: return QStringLiteral("newClip");
    }
    return {};
}

QList<AIInputType> allAIInputTypes()
{
    return {AIInputType::text, AIInputType::image, AIInputType::ocr};
}

QList<AIOutputType> allAIOutputTypes()
{
    return {AIOutputType::replacementText, AIOutputType::newClip};
}

std::optional<AIInputType> aiInputTypeFromRawValue(const QString& raw)
{
    for (AIInputType type : allAIInputTypes()) {
        if (toRawValue(type) == raw)
            return type;
    }
    return std::nullopt;
}

std::optional<AIOutputType> aiOutputTypeFromRawValue(const QString& raw)
{
    for (AIOutputType type : allAIOutputTypes()) {
        if (toRawValue(type) == raw)
            return type;
    }
    return std::nullopt;
}

const AIAction& AIAction::fixWriting()
{
    static const AIAction action = makeFixWriting();
    return action;
}

const AIAction& AIAction::draftReply()
{
    static const AIAction action = makeDraftReply();
    return action;
}

const AIAction& AIAction::rewrite()
{
    return fixWriting();
}

const QList<AIAction>& AIAction::textActions()
{
    static const QList<AIAction> actions{fixWriting(), draftReply()};
    return actions;
}

QJsonObject AIAction::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("title"), title},
        {QStringLiteral("inputType"), toRawValue(inputType)},
        {QStringLiteral("outputType"), toRawValue(outputType)},
        {QStringLiteral("promptTemplate"), promptTemplate},
    };
}

std::optional<AIAction> AIAction::fromJson(const QJsonObject& object)
{
    const auto stringMember = [&object](const char* key) -> std::optional<QString> {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString())
            return std::nullopt;
        return value.toString();
    };
    const auto id = stringMember("id");
    const auto title = stringMember("title");
    const auto input = stringMember("inputType");
    const auto output = stringMember("outputType");
    const auto prompt = stringMember("promptTemplate");
    if (!id || !title || !input || !output || !prompt)
        return std::nullopt;
    const auto inputType = aiInputTypeFromRawValue(*input);
    const auto outputType = aiOutputTypeFromRawValue(*output);
    if (!inputType || !outputType)
        return std::nullopt;
    return AIAction{*id, *title, *inputType, *outputType, *prompt};
}

} // namespace tolvi
