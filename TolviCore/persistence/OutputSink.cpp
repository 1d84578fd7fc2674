#include "TolviCore/persistence/OutputSink.h"

#include "TolviCore/persistence/PersistenceError.h"

#include <cerrno>
#include <unistd.h>

namespace tolvi {

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void FileDescriptorSink::write(const char* data, std::size_t size)
{
    if (!writeAll(fd_, data, size))
        throwSystemError("write");
}

} // namespace tolvi
