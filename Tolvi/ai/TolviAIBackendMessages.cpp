#include "Tolvi/ai/TolviAIBackendMessages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace tolvi {

QByteArray BackendAIRequest::toJson() const
{
    const QJsonObject object{
        {QStringLiteral("action"), action},
        {QStringLiteral("input"), input},
        {QStringLiteral("accessToken"), accessToken},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<BackendAIResponse> BackendAIResponse::decode(const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    BackendAIResponse response;
    const auto readOptionalString = [&object](const char* key, std::optional<QString>& target) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull())
            return true;
        if (!value.isString())
            return false;
        target = value.toString();
        return true;
    };
    if (!readOptionalString("output", response.output) || !readOptionalString("error", response.error))
        return std::nullopt;
    return response;
}

} // namespace tolvi
