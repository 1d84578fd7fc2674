#pragma once
// A Unix socket that takes connections and never answers, as another program could leave one.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvi::test {

// Listens at `path`; the descriptor, or -1 when the socket cannot be made there.
inline int silentListener(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    if (fd < 0 || encoded.size() >= qsizetype(sizeof(address.sun_path))) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    std::memcpy(address.sun_path, encoded.constData(), encoded.size());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace tolvi::test
