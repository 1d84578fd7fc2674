#pragma once

#include <QString>

#include <functional>

namespace tolvi {

// Where the capture path writes its one line per skipped or recorded change. Lines never carry
// anything the user copied.
using CaptureLogSink = std::function<void(const QString& line)>;

// Writes to the system log through Qt's logging category "tolvi.capture".
CaptureLogSink defaultCaptureLog();

} // namespace tolvi
