#include "Tolvi/platform/shell/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace tolvi {

void showDesktopNotification(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Servers that read markup in the body would read it in ours: it is escaped.
    message << QStringLiteral("Tolvi") << uint(0) << QStringLiteral("tolvi") << summary << body.toHtmlEscaped()
            << QStringList() << QVariantMap() << int(-1);
    bus.asyncCall(message);
}

} // namespace tolvi
