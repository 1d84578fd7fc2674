#include "Tolvi/platform/shell/DesktopNotifications.h"

#include "Tolvi/platform/shell/ShortNoticeWindow.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcNotifications, "tolvi.notifications")

QDBusMessage notifyMessage(const QString& summary, const QString& body, bool bodyIsMarkup)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // A server that reads markup in the body would read it in ours: there it is escaped. Any other
    // server shows the body as it stands, escapes included.
    message << QStringLiteral("Tolvi") << uint(0) << QStringLiteral("tolvi") << summary
            << (bodyIsMarkup ? body.toHtmlEscaped() : body) << QStringList() << QVariantMap() << int(-1);
    return message;
}

// Asks the server whether it reads markup in bodies, then sends the notification; undelivered runs
// when the notification gets an error answer (no server, or a refusal).
void notify(QDBusConnection bus, const QString& summary, const QString& body, std::function<void()> undelivered)
{
    const QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetCapabilities"));
    auto* asked = new QDBusPendingCallWatcher(bus.asyncCall(ask));
    QObject::connect(asked, &QDBusPendingCallWatcher::finished,
                     [bus, summary, body, undelivered = std::move(undelivered)](QDBusPendingCallWatcher* answer) {
                         answer->deleteLater();
                         const QDBusPendingReply<QStringList> capabilities = *answer;
                         // Unknown: escaped, so that no markup of the text's own is ever read as ours.
                         const bool markup = capabilities.isError() ||
                                             capabilities.value().contains(QStringLiteral("body-markup"));
                         auto* sent = new QDBusPendingCallWatcher(bus.asyncCall(notifyMessage(summary, body, markup)));
                         QObject::connect(sent, &QDBusPendingCallWatcher::finished,
                                          [undelivered](QDBusPendingCallWatcher* call) {
                                              call->deleteLater();
                                              if (!call->isError())
                                                  return;
                                              qCInfo(lcNotifications) << "No notification service took the notice:"
                                                                      << call->error().name();
                                              if (undelivered)
                                                  undelivered();
                                          });
                     });
}

} // namespace

void showDesktopNotification(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    notify(bus, summary, body, nullptr);
}

void showDesktopNotification(QDBusConnection bus, const QString& summary, const QString& body,
                             std::function<void()> undelivered)
{
    if (!bus.isConnected()) {
        if (undelivered)
            QTimer::singleShot(0, [undelivered] { undelivered(); });
        return;
    }
    notify(bus, summary, body, std::move(undelivered));
}

void showNotificationOrOwnNotice(const QString& summary, const QString& body)
{
    showDesktopNotification(QDBusConnection::sessionBus(), summary, body,
                            [body] { ShortNoticeWindow::showNotice(body); });
}

} // namespace tolvi
