#include "TolviCore/persistence/FileCopy.h"

#include "TolviCore/persistence/OutputSink.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace tolvi {

bool copyWholeFile(int from, int to)
{
    off_t offset = 0;
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, &offset, to, nullptr, 1 << 30, 0);
        if (copied > 0)
            continue;
        if (copied == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
        break;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!writeAll(to, buffer.data(), static_cast<std::size_t>(got)))
            return false;
        offset += got;
    }
}

int privateCopyOf(int fd, const QString& folder)
{
    const int unnamed = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        if (copyWholeFile(fd, unnamed))
            return unnamed;
        ::close(unnamed);
    }
    const int inMemory = ::memfd_create("tolvi-file-copy", MFD_CLOEXEC);
    if (inMemory < 0)
        return -1;
    if (copyWholeFile(fd, inMemory))
        return inMemory;
    ::close(inMemory);
    return -1;
}

} // namespace tolvi
