#pragma once

#include "Tolvi/platform/process/RepeatedLineFolding.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>
#include <memory>

namespace tolvi {

// Log lines written to a descriptor by a thread of their own, so that no thread that logs ever
// waits for whoever reads the descriptor. A launcher may keep our standard error open without
// reading it: once its pipe is full, a write to it waits until somebody reads.
//
// Lines wait in a bounded queue. While it is full (the reader is not reading) further lines are
// lost and counted, and once lines are written again a line tells how many were lost. Floods of
// one kind of line are folded into counts (RepeatedLineFolding).
//
// The writer thread is never joined: neither the end of this object nor the end of the program
// waits for a write that does not finish.
class BackgroundLog {
public:
    struct Limits {
        std::size_t pendingLines = 512;
        // Longer lines are cut to this many bytes.
        qsizetype lineBytes = 4096;
        RepeatedLineFolding::Limits folding;
    };

    // Writes to `descriptor`, which is never closed here.
    explicit BackgroundLog(int descriptor, Limits limits);
    explicit BackgroundLog(int descriptor) : BackgroundLog(descriptor, Limits{}) {}
    // Lets the writer go: what is queued is still written if the descriptor takes it; nothing
    // waits for that.
    ~BackgroundLog();
    BackgroundLog(const BackgroundLog&) = delete;
    BackgroundLog& operator=(const BackgroundLog&) = delete;

    // Queues one line (without its newline) and returns at once. `kind` is what the lines folded
    // as repeats of one another share, and what their summary is told as.
    void post(const QString& kind, QByteArray line);

    // Waits at most `timeout` until every line queued so far (and the count of lost ones) is
    // written; whether it was.
    bool waitUntilWritten(std::chrono::milliseconds timeout);

    // This program's log: from now on Qt's messages of every thread go, in Qt's format, through
    // one BackgroundLog on standard error, which lasts until the process ends.
    static void installForProgram();
    // At the end of the program: lets the program's log write what it holds, for at most
    // `timeout` (a reader that reads gets the last lines; one that does not holds nothing up).
    static void finishProgram(std::chrono::milliseconds timeout);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace tolvi
