#include "Tolvi/ai/OpenAIResponsesMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

namespace tolvi {

QByteArray ResponsesRequest::toJson() const
{
    const QJsonObject object{
        {QStringLiteral("model"), model},
        {QStringLiteral("store"), store},
        {QStringLiteral("instructions"), instructions},
        {QStringLiteral("input"), input},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

namespace {

ResponsesDecodingFailure typeMismatch(const QString& path, const char* expected)
{
    return ResponsesDecodingFailure{
        QStringLiteral("OpenAI returned an answer that could not be read: %1 is not %2.").arg(path, QLatin1String(expected))};
}

// Reads an optional string member: absent and null give nothing, a string gives itself.
bool readOptionalString(const QJsonObject& object, const char* key, std::optional<QString>& target)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    target = value.toString();
    return true;
}

} // namespace

std::variant<ResponsesResponse, ResponsesDecodingFailure> ResponsesResponse::decode(const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return ResponsesDecodingFailure{
            QStringLiteral("OpenAI returned an answer that could not be read: %1 at offset %2.")
                .arg(parseError.errorString())
                .arg(parseError.offset)};
    }
    if (!document.isObject())
        return typeMismatch(QStringLiteral("the answer"), "an object");
    const QJsonObject object = document.object();

    ResponsesResponse response;
    if (!readOptionalString(object, "output_text", response.outputText))
        return typeMismatch(QStringLiteral("\"output_text\""), "a string");

    const QJsonValue output = object.value(QLatin1String("output"));
    if (output.isUndefined() || output.isNull())
        return response;
    if (!output.isArray())
        return typeMismatch(QStringLiteral("\"output\""), "an array");

    QList<OutputItem> items;
    const QJsonArray outputArray = output.toArray();
    for (qsizetype itemIndex = 0; itemIndex < outputArray.size(); ++itemIndex) {
        const QString itemPath = QStringLiteral("\"output\"[%1]").arg(itemIndex);
        const QJsonValue itemValue = outputArray.at(itemIndex);
        if (!itemValue.isObject())
            return typeMismatch(itemPath, "an object");
        OutputItem item;
        const QJsonValue content = itemValue.toObject().value(QLatin1String("content"));
        if (!content.isUndefined() && !content.isNull()) {
            if (!content.isArray())
                return typeMismatch(itemPath + QStringLiteral(".\"content\""), "an array");
            QList<OutputContent> parts;
            const QJsonArray contentArray = content.toArray();
            for (qsizetype partIndex = 0; partIndex < contentArray.size(); ++partIndex) {
                const QString partPath = itemPath + QStringLiteral(".\"content\"[%1]").arg(partIndex);
                const QJsonValue partValue = contentArray.at(partIndex);
                if (!partValue.isObject())
                    return typeMismatch(partPath, "an object");
                OutputContent part;
                if (!readOptionalString(partValue.toObject(), "text", part.text))
                    return typeMismatch(partPath + QStringLiteral(".\"text\""), "a string");
                parts.append(part);
            }
            item.content = parts;
        }
        items.append(item);
    }
    response.output = items;
    return response;
}

std::optional<QString> ResponsesResponse::outputTextValue() const
{
    if (outputText && !outputText->trimmed().isEmpty())
        return *outputText;
    if (!output)
        return std::nullopt;
    QStringList texts;
    for (const OutputItem& item : *output) {
        if (!item.content)
            continue;
        for (const OutputContent& part : *item.content) {
            if (part.text)
                texts << *part.text;
        }
    }
    const QString joined = texts.join(QLatin1Char('\n')).trimmed();
    if (joined.isEmpty())
        return std::nullopt;
    return joined;
}

std::optional<ResponsesErrorEnvelope> ResponsesErrorEnvelope::decode(const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue error = document.object().value(QLatin1String("error"));
    if (!error.isObject())
        return std::nullopt;
    const QJsonValue message = error.toObject().value(QLatin1String("message"));
    if (!message.isString())
        return std::nullopt;
    return ResponsesErrorEnvelope{ResponsesAPIError{message.toString()}};
}

} // namespace tolvi
