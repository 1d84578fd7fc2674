#include "ocr-protocol/OCRWire.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace tolvi::OCRWire {

namespace {

constexpr qsizetype headerSize = 4;

// Linux has no per-descriptor "no SIGPIPE" flag and pipes take no send flags, so the
// writing thread blocks SIGPIPE for the duration of the write. A SIGPIPE raised by our own
// failed write is thread-directed; it is consumed before the old mask comes back, unless one
// was already pending before we started (that one belongs to someone else and stays).
class SigpipeGuard {
public:
    SigpipeGuard()
    {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        if (pthread_sigmask(SIG_BLOCK, &pipeOnly, &m_previousMask) != 0)
            return;
        m_active = true;
        sigset_t pending;
        sigemptyset(&pending);
        m_wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    }

    ~SigpipeGuard()
    {
        if (!m_active)
            return;
        if (m_brokenPipe && !m_wasPending) {
            sigset_t pipeOnly;
            sigemptyset(&pipeOnly);
            sigaddset(&pipeOnly, SIGPIPE);
            const timespec zero{0, 0};
            int result;
            do {
                result = sigtimedwait(&pipeOnly, nullptr, &zero);
            } while (result == -1 && errno == EINTR);
        }
        pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    }

    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

    bool active() const { return m_active; }
    void noteBrokenPipe() { m_brokenPipe = true; }

private:
    sigset_t m_previousMask{};
    bool m_active = false;
    bool m_wasPending = false;
    bool m_brokenPipe = false;
};

std::optional<WireError> writeAll(const char* bytes, qsizetype count, int fd)
{
    SigpipeGuard guard;
    if (!guard.active())
        return WireError::io;
    qsizetype offset = 0;
    while (offset < count) {
        const ssize_t written = ::write(fd, bytes + offset, size_t(count - offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EPIPE)
                guard.noteBrokenPipe();
            return WireError::io;
        }
        if (written == 0)
            return WireError::io;
        offset += written;
    }
    return std::nullopt;
}

// Reads exactly `count` bytes into `buffer`. Returns true on success; false with no error
// for a clean end before the first byte when that is allowed.
std::optional<WireError> readExactly(char* buffer, qsizetype count, int fd, bool allowEOF, bool& endedCleanly)
{
    endedCleanly = false;
    qsizetype offset = 0;
    while (offset < count) {
        const ssize_t got = ::read(fd, buffer + offset, size_t(count - offset));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return WireError::io;
        }
        if (got == 0) {
            if (offset == 0 && allowEOF) {
                endedCleanly = true;
                return std::nullopt;
            }
            return WireError::truncated;
        }
        offset += got;
    }
    return std::nullopt;
}

} // namespace

const char* describe(WireError error)
{
    switch (error) {
    case WireError::invalidLength:
        return "invalidLength";
    case WireError::truncated:
        return "truncated";
    case WireError::io:
        return "io";
    }
    return "io";
}

QString rawValue(Response::Kind kind)
{
    switch (kind) {
    case Response::Kind::recognized:
        return QStringLiteral("recognized");
    case Response::Kind::noText:
        return QStringLiteral("noText");
    case Response::Kind::failed:
        return QStringLiteral("failed");
    case Response::Kind::unsupportedImage:
        return QStringLiteral("unsupportedImage");
    }
    return QStringLiteral("failed");
}

std::optional<Response::Kind> kindFromRawValue(QStringView raw)
{
    for (auto kind : {Response::Kind::recognized, Response::Kind::noText, Response::Kind::failed,
                      Response::Kind::unsupportedImage}) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

QByteArray encodeResponse(const Response& response)
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), rawValue(response.kind));
    if (response.text)
        object.insert(QStringLiteral("text"), *response.text);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Response> decodeResponse(QByteArrayView json)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue kindValue = object.value(QStringLiteral("kind"));
    if (!kindValue.isString())
        return std::nullopt;
    const auto kind = kindFromRawValue(kindValue.toString());
    if (!kind)
        return std::nullopt;
    Response response{*kind, std::nullopt};
    const QJsonValue textValue = object.value(QStringLiteral("text"));
    if (textValue.isString())
        response.text = textValue.toString();
    else if (!textValue.isUndefined() && !textValue.isNull())
        return std::nullopt;
    return response;
}

std::optional<WireError> writeFrame(QByteArrayView payload, int fd, qsizetype limit)
{
    const qsizetype count = payload.size();
    if (count <= 0 || count > limit || quint64(count) > quint64(UINT32_MAX))
        return WireError::invalidLength;
    const auto length = quint32(count);
    const std::array<char, headerSize> header{char(length >> 24), char((length >> 16) & 0xff),
                                              char((length >> 8) & 0xff), char(length & 0xff)};
    if (auto error = writeAll(header.data(), headerSize, fd))
        return error;
    return writeAll(payload.data(), count, fd);
}

FrameRead readFrame(int fd, qsizetype limit)
{
    std::array<char, headerSize> header{};
    bool endedCleanly = false;
    if (auto error = readExactly(header.data(), headerSize, fd, true, endedCleanly))
        return {std::nullopt, error};
    if (endedCleanly)
        return {};
    const quint32 length = (quint32(quint8(header[0])) << 24) | (quint32(quint8(header[1])) << 16)
        | (quint32(quint8(header[2])) << 8) | quint32(quint8(header[3]));
    if (length < 1 || qint64(length) > qint64(limit))
        return {std::nullopt, WireError::invalidLength};
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    if (auto error = readExactly(payload.data(), payload.size(), fd, false, endedCleanly))
        return {std::nullopt, error};
    return {std::move(payload), std::nullopt};
}

} // namespace tolvi::OCRWire
