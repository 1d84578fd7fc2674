#include "Tolvi/services/capture/CaptureLog.h"

#include <QLoggingCategory>

namespace tolvi {

Q_LOGGING_CATEGORY(captureLog, "tolvi.capture")

CaptureLogSink defaultCaptureLog()
{
    return [](const QString& line) { qCInfo(captureLog).noquote() << line; };
}

} // namespace tolvi
