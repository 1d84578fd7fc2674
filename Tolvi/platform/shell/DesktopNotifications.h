#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>

namespace tolvi {

// A desktop notification through the session's notification service
// (org.freedesktop.Notifications), its body shown as the text it is: escaped only for a server
// that reads markup in bodies. Sent without waiting for an answer; where no service runs, nothing
// is shown.
void showDesktopNotification(const QString& summary, const QString& body);

// The same on the given bus; undelivered runs (on this thread, once) when no service takes it: no
// bus, no notification server on it, or an error answer.
void showDesktopNotification(QDBusConnection bus, const QString& summary, const QString& body,
                             std::function<void()> undelivered);

// A notification, or where the session has no notification service, the body at once in a
// ShortNoticeWindow of ours.
void showNotificationOrOwnNotice(const QString& summary, const QString& body);

} // namespace tolvi
