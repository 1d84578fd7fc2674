#include "HardLinks.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
std::atomic<bool> refusing{false};
} // namespace

void tolvi::samples::refuseHardLinks(bool refuse)
{
    refusing = refuse;
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    if (refusing.load()) {
        errno = EPERM;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_linkat, fromFolder, from, toFolder, to, flags));
}
