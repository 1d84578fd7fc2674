#include "TolviCore/persistence/FileLease.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tolvi {

struct FileLease::State {
    State(int fd, std::function<void()> onBreak) : fd(fd), onBreak(std::move(onBreak)) {}
    const int fd;
    const std::function<void()> onBreak;
    // Guarded by the lease thread's lock.
    bool breaking = false;
    bool closeAfterBreak = false; // the FileLease went away while onBreak ran
};

namespace {

// The write end of the lease thread's wake-up pipe, for the signal handler.
std::atomic<int> wakeFd{-1};

void onLeaseSignal(int, siginfo_t*, void*)
{
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd.load(std::memory_order_relaxed), &byte, 1);
    errno = saved;
}

// The signal for lease breaks: the first real-time signal (past the first few, which other
// libraries are likelier to take) whose action is still the default; 0 when there is none.
int claimSignal()
{
    for (int signal = SIGRTMIN + 4; signal <= SIGRTMAX; ++signal) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0)
            continue;
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_sigaction = onLeaseSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (::sigaction(signal, &action, nullptr) != 0)
            continue;
        // A break that finds the signal queue full is announced by SIGIO, whose default action
        // would end the program.
        struct sigaction io {};
        if (::sigaction(SIGIO, nullptr, &io) == 0 && !(io.sa_flags & SA_SIGINFO) && io.sa_handler == SIG_DFL)
            ::sigaction(SIGIO, &action, nullptr);
        return signal;
    }
    return 0;
}

class LeaseThread {
public:
    static LeaseThread& instance()
    {
        // Never destroyed: the thread serves leases until the process ends.
        static LeaseThread* const thread = new LeaseThread;
        return *thread;
    }

    bool add(const std::shared_ptr<FileLease::State>& lease)
    {
        if (signal_ == 0)
            return false;
        const std::lock_guard lock(mutex_);
        if (::fcntl(lease->fd, F_SETSIG, signal_) != 0 || ::fcntl(lease->fd, F_SETLEASE, F_RDLCK) != 0)
            return false;
        // Taking the lease makes the calling thread the one to be told of its break; that thread
        // may be gone by then, the process is not.
        ::fcntl(lease->fd, F_SETOWN, ::getpid());
        leases_.push_back(lease);
        return true;
    }

    void remove(const std::shared_ptr<FileLease::State>& lease)
    {
        const std::lock_guard lock(mutex_);
        leases_.erase(std::remove(leases_.begin(), leases_.end(), lease), leases_.end());
        if (lease->breaking)
            lease->closeAfterBreak = true;
        else
            ::close(lease->fd);
    }

private:
    LeaseThread()
    {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0)
            return;
        // The handler must never wait for the thread to read.
        ::fcntl(pipe[1], F_SETFL, ::fcntl(pipe[1], F_GETFL) | O_NONBLOCK);
        wakeFd.store(pipe[1]);
        readFd_ = pipe[0];
        signal_ = claimSignal();
        if (signal_ == 0)
            return;
        std::thread([this] { run(); }).detach();
    }

    void run()
    {
        ::pthread_setname_np(::pthread_self(), "tolvi.leases");
        // The lease signal is for the other threads: this one is woken through the pipe.
        sigset_t own;
        sigemptyset(&own);
        sigaddset(&own, signal_);
        ::pthread_sigmask(SIG_BLOCK, &own, nullptr);
        for (;;) {
            char bytes[64];
            const ssize_t got = ::read(readFd_, bytes, sizeof bytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return;
            serveBreaks();
        }
    }

    // A lease being broken reads as F_UNLCK (the type it is to be lowered to), as does one
    // the kernel has already taken away.
    void serveBreaks()
    {
        std::vector<std::shared_ptr<FileLease::State>> broken;
        {
            const std::lock_guard lock(mutex_);
            for (auto it = leases_.begin(); it != leases_.end();) {
                if (::fcntl((*it)->fd, F_GETLEASE) == F_UNLCK) {
                    (*it)->breaking = true;
                    broken.push_back(*it);
                    it = leases_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (const std::shared_ptr<FileLease::State>& lease : broken) {
            lease->onBreak();
            ::fcntl(lease->fd, F_SETLEASE, F_UNLCK);
            const std::lock_guard lock(mutex_);
            lease->breaking = false;
            if (lease->closeAfterBreak)
                ::close(lease->fd);
        }
    }

    std::mutex mutex_;
    std::vector<std::shared_ptr<FileLease::State>> leases_; // held, not yet broken
    int readFd_ = -1;
    int signal_ = 0;
};

} // namespace

std::unique_ptr<FileLease> FileLease::take(int fd, std::function<void()> onBreak)
{
    const int duplicate = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0)
        return nullptr;
    auto state = std::make_shared<State>(duplicate, std::move(onBreak));
    if (!LeaseThread::instance().add(state)) {
        ::close(duplicate);
        return nullptr;
    }
    return std::unique_ptr<FileLease>(new FileLease(std::move(state)));
}

FileLease::~FileLease()
{
    LeaseThread::instance().remove(state_);
}

int FileLease::fd() const
{
    return state_->fd;
}

} // namespace tolvi
