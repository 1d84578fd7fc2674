#pragma once

#include <functional>
#include <memory>

namespace tolvi {

// A read lease on an open file (fcntl F_SETLEASE): while it is held, whoever opens the file for
// writing or truncates it, this program included, waits until the holder lets go. When someone
// does, `onBreak` runs on the one thread that serves every lease of the program, and the lease is
// let go as soon as it returns: that is the holder's time to take what it still needs of the
// file as it was. The kernel waits /proc/sys/fs/lease-break-time (45 s by default) at most, then
// lets the writer in regardless: a holder must check afterwards that the file did not change.
//
// The break is announced by a real-time signal of the program's own (one whose action was the
// default when the first lease was taken); its handler only wakes the lease thread.
class FileLease {
public:
    // Takes the lease on a descriptor open read-only (a duplicate of it is kept). Null when no
    // lease is granted: the file system has none, leases are turned off, or the file is open
    // for writing somewhere.
    static std::unique_ptr<FileLease> take(int fd, std::function<void()> onBreak);

    FileLease(const FileLease&) = delete;
    FileLease& operator=(const FileLease&) = delete;
    // Lets go at once, without waiting for a running onBreak (the lease thread lets go after it).
    ~FileLease();

    // The duplicate descriptor the lease is held on; open as long as this object lives.
    int fd() const;

    struct State;

private:
    explicit FileLease(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

} // namespace tolvi
