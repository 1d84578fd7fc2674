#pragma once

// One running OCR worker process: started with posix_spawn, its standard input and output
// on pipes (this program keeps the write end of the one and the read end of the other), its
// standard error on the null device, only the descriptors 0 to 2 inherited, an empty signal
// mask, default signal actions and an explicit, cut-down environment.
//
// Signals are only ever sent to a process that has not been reaped: reaping and signalling
// happen under one lock, and waiting for the exit does not reap until it holds that lock. A
// pid that was reaped may already belong to an unrelated process.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <sys/types.h>

namespace tolvi {

class OCRWorkerProcess {
public:
    // The names a worker may see in its environment; those that are set keep their values.
    static const QStringList& allowedEnvironment();

    // No value when the pipes could not be made or the program could not be started.
    static std::unique_ptr<OCRWorkerProcess> launch(const QString& executable, const QStringList& arguments);

    ~OCRWorkerProcess();
    OCRWorkerProcess(const OCRWorkerProcess&) = delete;
    OCRWorkerProcess& operator=(const OCRWorkerProcess&) = delete;

    pid_t pid() const { return m_pid; }
    int inputFd() const { return m_input; }   // write end of the worker's standard input
    int outputFd() const { return m_output; } // read end of the worker's standard output

    // False once the process has ended (also before it was reaped).
    bool isRunning() const;
    // Sends a signal unless the process has been reaped; true when it was sent.
    bool signal(int signalNumber);
    // Blocks until the process has ended, then reaps it. Safe to call more than once.
    void waitForExit();
    bool reaped() const;
    // Raw wait status of a reaped process.
    int exitStatus() const;

    // Closes this program's ends: the input first (the worker sees the end of its input),
    // then the output. Failures are ignored.
    void closePipes();

private:
    OCRWorkerProcess(pid_t pid, int input, int output) : m_pid(pid), m_input(input), m_output(output) {}

    const pid_t m_pid;
    int m_input;
    int m_output;
    mutable std::mutex m_lock; // guards m_reaped and m_status; held while signalling
    bool m_reaped = false;
    int m_status = 0;
};

} // namespace tolvi
