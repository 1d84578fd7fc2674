#include "Tolvi/platform/shell/DesktopNotifications.h"

#include "Tolvi/platform/shell/ShortNoticeWindow.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QLoggingCategory>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcNotifications, "tolvi.notifications")

QDBusMessage notifyMessage(const QString& summary, const QString& body)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Servers that read markup in the body would read it in ours: it is escaped.
    message << QStringLiteral("Tolvi") << uint(0) << QStringLiteral("tolvi") << summary << body.toHtmlEscaped()
            << QStringList() << QVariantMap() << int(-1);
    return message;
}

} // namespace

void showDesktopNotification(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.asyncCall(notifyMessage(summary, body));
}

void showDesktopNotification(QDBusConnection bus, const QString& summary, const QString& body,
                             std::function<void()> undelivered)
{
    if (!bus.isConnected()) {
        if (undelivered)
            QTimer::singleShot(0, [undelivered] { undelivered(); });
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notifyMessage(summary, body)));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [undelivered](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (!call->isError())
            return;
        qCInfo(lcNotifications) << "No notification service took the notice:" << call->error().name();
        if (undelivered)
            undelivered();
    });
}

void showNotificationOrOwnNotice(const QString& summary, const QString& body)
{
    showDesktopNotification(QDBusConnection::sessionBus(), summary, body,
                            [body] { ShortNoticeWindow::showNotice(body); });
}

} // namespace tolvi
