#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace tolvi {

// What an AI action reads.
enum class AIInputType { text, image, ocr };

// What an AI action produces: a text that replaces the one it ran on, or a new clip.
enum class AIOutputType { replacementText, newClip };

QString toRawValue(AIInputType type);
QString toRawValue(AIOutputType type);
std::optional<AIInputType> aiInputTypeFromRawValue(const QString& raw);
std::optional<AIOutputType> aiOutputTypeFromRawValue(const QString& raw);
QList<AIInputType> allAIInputTypes();
QList<AIOutputType> allAIOutputTypes();

// A built-in AI writing action. The id is also the action name the rewrite service receives;
// the prompt template is what a language model is instructed with.
struct AIAction {
    QString id;
    QString title;
    AIInputType inputType = AIInputType::text;
    AIOutputType outputType = AIOutputType::replacementText;
    QString promptTemplate;

    friend bool operator==(const AIAction&, const AIAction&) = default;

    static const AIAction& fixWriting();
    static const AIAction& draftReply();
    // The same action as fixWriting().
    static const AIAction& rewrite();
    // The actions the windows offer, in the order they offer them.
    static const QList<AIAction>& textActions();

    // JSON form: {"id", "title", "inputType", "outputType", "promptTemplate"}, every key required.
    QJsonObject toJson() const;
    // Nothing when a key is missing, a value is not a string or an enumeration value is unknown.
    static std::optional<AIAction> fromJson(const QJsonObject& object);
};

} // namespace tolvi
