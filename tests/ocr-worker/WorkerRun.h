#pragma once

// Runs the real OCR worker program with pipes on its standard input, output and error.

#include "ocr-protocol/OCRWire.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace tolvi::testing {

class WorkerRun {
public:
    // brokenOutput: the worker's standard output is a pipe whose read end is already closed.
    explicit WorkerRun(const QString& executable, bool brokenOutput = false);
    ~WorkerRun();

    pid_t pid() const { return m_pid; }
    bool sendFrame(const QByteArray& payload);
    bool sendRaw(const QByteArray& bytes);
    void closeInput();
    std::optional<OCRWire::Response> readReply();
    // Closes the input, waits for the exit and returns the exit status (-1 when killed).
    int wait();
    int terminatingSignal() const { return m_signal; }
    QByteArray remainingOutput(); // after wait(): bytes left on standard output
    QByteArray errorOutput();     // after wait(): everything written to standard error

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    int m_error = -1;
    int m_status = -1;
    int m_signal = 0;
};

} // namespace tolvi::testing
