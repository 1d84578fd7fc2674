#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace tolvi {

// One running Tolvi per user. The first launch listens on a private local socket; a later
// launch finds it, asks it to show its history window and exits. The socket's folder must belong
// to the user and be closed to everyone else (claim fails otherwise): the user's runtime folder,
// else a per-user folder in the temporary folder, made 0700 when missing.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role { Primary, Secondary, Failed };

    // `socketPath`: empty for the default path of the user (private runtime folder).
    explicit SingleInstance(QString socketPath = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance, or hands over to the running one (which then emits
    // activationRequested) and answers Secondary.
    Role claim();
    // Stops answering as the primary instance (removing its socket) and asks whatever instance
    // now answers on the socket to show its history window; true when one took the request.
    bool handOver();

    static QString defaultSocketPath();
    QString socketPath() const { return m_socketPath; }

signals:
    void activationRequested();

private:
    bool notifyRunningInstance();
    bool listen();

    QString m_socketPath;
    QLocalServer m_server;
};

} // namespace tolvi
