#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvi {

// The body sent to the rewrite service: the action's identifier, the text and the access token.
struct BackendAIRequest {
    QString action;
    QString input;
    QString accessToken;

    // {"action": ..., "input": ..., "accessToken": ...}, compact.
    QByteArray toJson() const;
};

// The body the rewrite service answers with. Both members are optional strings; other members
// are ignored.
struct BackendAIResponse {
    std::optional<QString> output;
    std::optional<QString> error;

    // Nothing unless the body is a JSON object whose "output" and "error", where present and not
    // null, are strings.
    static std::optional<BackendAIResponse> decode(const QByteArray& body);
};

} // namespace tolvi
