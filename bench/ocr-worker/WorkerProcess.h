#pragma once

// A bare OCR worker process for measurements: started with pipes on its standard input and
// output, fed frames, asked for its peak memory.

#include "ocr-protocol/OCRWire.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace tolvi::bench {

class WorkerProcess {
public:
    explicit WorkerProcess(const QString& executable);
    ~WorkerProcess();

    bool running() const { return m_pid > 0; }
    std::optional<OCRWire::Response> request(const QByteArray& image);
    // VmHWM of the worker in kilobytes (0 when unknown).
    long peakResidentKilobytes() const;
    // CPU time (user and system) the worker has used so far, in milliseconds (-1 when unknown).
    double cpuMilliseconds() const;
    // Closes the input and waits for the exit status.
    int finish();

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
};

} // namespace tolvi::bench
