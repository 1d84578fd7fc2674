#pragma once

#include <QObject>

class QSocketNotifier;

namespace tolvi {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that a
// logout, `kill` or Ctrl+C quits through the same path as the menu's Quit (which writes
// the history out first). One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tolvi
