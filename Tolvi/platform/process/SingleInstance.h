#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace tolvi {

// One running Tolvi per user. The first launch listens on a private local socket; a later
// launch finds it, asks it to show its history window and exits.
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
