#pragma once

// Framing and reply format between the app and the OCR worker program.
//
// A frame is a 4-byte big-endian unsigned payload length followed by exactly that many
// payload bytes (never zero). The app writes one request frame (the raw bytes of one image)
// to the worker's standard input and reads one reply frame (the JSON of one Response) from
// its standard output; the streams strictly alternate and carry no other correlation.
//
// Every call blocks on a plain file descriptor, retries interrupted calls, and turns a
// vanished peer into WireError::io: a write into a pipe whose reader is gone never raises
// SIGPIPE in the calling process.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace tolvi::OCRWire {

// Reply frame limit used by both programs.
inline constexpr qsizetype maximumResponseBytes = 1'000'000;

enum class WireError {
    invalidLength, // frame length 0 or above the limit (reading or writing)
    truncated,     // the stream ended inside a frame
    io,            // read or write failed, or a write made no progress
};

const char* describe(WireError error);

struct Response {
    enum class Kind { recognized, noText, failed, unsupportedImage };

    Kind kind = Kind::failed;
    std::optional<QString> text; // present only with Kind::recognized

    friend bool operator==(const Response&, const Response&) = default;
};

// Wire spelling of a kind ("recognized", "noText", "failed", "unsupportedImage").
QString rawValue(Response::Kind kind);
// No value for any other string (the comparison is case-sensitive).
std::optional<Response::Kind> kindFromRawValue(QStringView raw);

// Compact JSON object: "kind" always, "text" only when present (never null).
QByteArray encodeResponse(const Response& response);
// No value when the bytes are not a JSON object, "kind" is missing, not a string or
// not one of the four raw values. "text" may be absent or null (no text); other keys
// are ignored. A "text" of any other JSON type makes decoding fail.
std::optional<Response> decodeResponse(QByteArrayView json);

// Writes one frame. Nothing is written when the payload is empty or over the limit.
// Returns no value on success.
std::optional<WireError> writeFrame(QByteArrayView payload, int fd, qsizetype limit);

struct FrameRead {
    std::optional<QByteArray> payload; // no value with no error: clean end before a header
    std::optional<WireError> error;

    bool cleanEnd() const { return !payload && !error; }
};

// Reads one frame. The announced length is checked against the limit before any payload
// byte is read or any buffer of that size exists.
FrameRead readFrame(int fd, qsizetype limit);

} // namespace tolvi::OCRWire
