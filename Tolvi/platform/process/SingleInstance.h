#pragma once

#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace tolvi {

// One running Tolvi per user. The first launch listens on a private local socket; a later
// launch finds it, hands it its request (show the history window, or toggle one of the windows
// with the launch's activation token, as "Tolvi --history" asks) and exits. The socket's folder must belong
// to the user and be closed to everyone else (claim fails otherwise): the user's runtime folder,
// else a per-user folder in the temporary folder, made 0700 when missing.
//
// A launch sends one short line right after connecting. A connection gets a short deadline for
// it and only a few are kept open at once (the oldest goes when another arrives), so programs
// that connect and never finish cannot use up the process's open files; and should the socket
// ever stop listening (Qt closes it when a connection cannot be accepted), it is opened again.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role { Primary, Secondary, Failed };

    // What a launch asks of the running program.
    enum class Command {
        reopen,   // a plain launch: show the history window unless a window is on screen
        history,  // toggle the history window
        compact,  // toggle the compact panel
        settings, // toggle the settings window
    };
    struct Request {
        Command command = Command::reopen;
        // The launcher's activation token (XDG_ACTIVATION_TOKEN or DESKTOP_STARTUP_ID), which
        // lets the window take the keyboard focus; empty when there was none.
        QByteArray activationToken;
        friend bool operator==(const Request&, const Request&) = default;
    };
    // The line a request travels as, and back; nothing for a malformed line. A token must be
    // printable ASCII without spaces, at most 512 bytes; one that is not is dropped.
    static QByteArray encode(const Request& request);
    static std::optional<Request> decode(const QByteArray& line);
    // The request of a launch with this command and environment's token.
    static Request requestFromEnvironment(Command command);

    // `socketPath`: empty for the default path of the user (private runtime folder).
    explicit SingleInstance(QString socketPath = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance, or hands over to the running one (which then emits
    // activationRequested) and answers Secondary.
    Role claim();
    // What claim() and handOver() hand to the running program (a plain reopen by default).
    void setRequest(Request request) { m_request = std::move(request); }
    // Stops answering as the primary instance (removing its socket) and asks whatever instance
    // now answers on the socket to show its history window; true when one took the request.
    bool handOver();

    static QString defaultSocketPath();
    // How long a connection may take to send its line, and how many are kept open at once.
    static constexpr int kLineDeadlineMs = 2000;
    static constexpr int kMaximumOpenConnections = 16;
    QString socketPath() const { return m_socketPath; }

signals:
    // A plain launch (Command::reopen).
    void activationRequested();
    // A launch with a window command.
    void requestReceived(const tolvi::SingleInstance::Request& request);

private:
    bool notifyRunningInstance();
    bool listen();
    void accept(QLocalSocket* socket);
    void readLine(QLocalSocket* socket);
    void dropConnection(QLocalSocket* socket);
    void keepListening();

    QString m_socketPath;
    // Connections that have not sent their line yet, oldest first (outlives the server, whose
    // children they are).
    QList<QLocalSocket*> m_connections;
    QLocalServer m_server;
    // Checks now and then that the primary instance still listens.
    QTimer m_listenWatch;
    Request m_request;
};

} // namespace tolvi
