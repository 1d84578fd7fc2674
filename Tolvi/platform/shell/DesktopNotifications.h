#pragma once

#include <QString>

namespace tolvi {

// A desktop notification through the session's notification service
// (org.freedesktop.Notifications). Sent without waiting for an answer; where no service runs,
// nothing is shown.
void showDesktopNotification(const QString& summary, const QString& body);

} // namespace tolvi
