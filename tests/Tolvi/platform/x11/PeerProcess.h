#pragma once

#include "EventTimeout.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

namespace tolvi::test {

// Drives the TolviTestPeer program (see TestPeer.cpp) from a test.
class PeerProcess {
public:
    PeerProcess();
    ~PeerProcess();

    bool start();
    // The Qt platform the peer runs on ("wayland", "xcb"); set before start().
    void setPlatform(const QString& platform);
    qint64 pid() const { return process_.processId(); }

    // Sends one command line and waits for its answer (a line starting with the expected prefix).
    std::optional<QByteArray> command(const QByteArray& line, const QByteArray& answerPrefix,
                                      int timeoutMs = eventTimeoutMs);
    bool copy(const QList<std::pair<QString, QByteArray>>& representations);
    bool copyText(const QString& text) { return copy({{QStringLiteral("text/plain"), text.toUtf8()}}); }
    // Shows and activates its window; the X window id.
    std::optional<quint32> showWindow();

    // The latest text the line edit reported.
    QString lastText() const { return lastText_; }
    // Processes output until the predicate holds on the reported text or the time runs out.
    bool waitForText(const std::function<bool(const QString&)>& predicate, int timeoutMs = eventTimeoutMs);

    void stop();
    void suspend();
    void resume();

    static QString programPath();

private:
    void readLines();
    QProcess process_;
    QByteArray buffer_;
    QList<QByteArray> lines_;
    QString lastText_;
};

// Runs xclip with the arguments and the given standard input; xclip stays in the background as
// the selection owner. Returns the process (owned by the caller) once the selection is taken.
QProcess* startXclip(const QStringList& arguments, const QByteArray& input);
// The same, returning once the new xclip owns CLIPBOARD (so that copies made one after another
// take the clipboard in the order they were made); null when it never does.
QProcess* startXclipOwning(const QStringList& arguments, const QByteArray& input);

// Asks the window manager to activate a window (as a pager would, so it is never refused).
bool activateWindow(quint32 window);
// Activates the window until the predicate says it is active (a window just shown may not be
// mapped yet when the first request arrives).
bool activateUntil(quint32 window, const std::function<bool()>& isActive, int timeoutMs = eventTimeoutMs);

// Waits, processing events, until the predicate holds or the time runs out.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = eventTimeoutMs);
// Processes events for the given time.
void pause(int milliseconds);

// A timer of the calling thread, ticking from construction until stop(): how often it ticked and
// the longest time the thread went without a tick (a thread held up misses ticks).
class TickWatch {
public:
    explicit TickWatch(int intervalMs = 10, std::function<void()> onTick = {});
    void stop() { timer_.stop(); }
    int ticks() const { return ticks_; }
    qint64 longestGap() const { return longestGap_; }

private:
    QTimer timer_;
    QElapsedTimer sinceTick_;
    std::function<void()> onTick_;
    int ticks_ = 0;
    qint64 longestGap_ = 0;
};

} // namespace tolvi::test
