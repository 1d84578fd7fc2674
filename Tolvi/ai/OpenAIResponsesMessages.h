#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace tolvi {

// The body sent to the public responses interface.
struct ResponsesRequest {
    QString model;
    bool store = false;
    QString instructions;
    QString input;

    // {"model", "store", "instructions", "input"}, compact.
    QByteArray toJson() const;
};

// Why a successful answer could not be read. Shown to the user as it is.
struct ResponsesDecodingFailure {
    QString description;
};

// The body of a successful answer from the responses interface. Every member is optional and
// unknown members are ignored, but a member that is present must have its documented type.
struct ResponsesResponse {
    struct OutputContent {
        std::optional<QString> text;
    };
    struct OutputItem {
        std::optional<QList<OutputContent>> content;
    };

    std::optional<QString> outputText;
    std::optional<QList<OutputItem>> output;

    static std::variant<ResponsesResponse, ResponsesDecodingFailure> decode(const QByteArray& body);

    // "output_text" unchanged when it is not blank; otherwise the texts of every content part of
    // every output item joined with line feeds and trimmed, when something is left.
    std::optional<QString> outputTextValue() const;
};

// The "error" member of an unsuccessful answer.
struct ResponsesAPIError {
    QString message;
};

// The body of an unsuccessful answer: {"error": {"message": "..."}}.
struct ResponsesErrorEnvelope {
    ResponsesAPIError error;

    // Nothing when the body has no such message.
    static std::optional<ResponsesErrorEnvelope> decode(const QByteArray& body);
};

} // namespace tolvi
