#pragma once

#include <QLocale>
#include <QString>

namespace tolvi {

// Byte counts as a file manager shows file sizes: decimal units (1 KB = 1,000 bytes), "Zero KB"
// for nothing, "1 byte" and "N bytes" below a kilobyte, whole kilobytes, one decimal for
// megabytes and two for gigabytes and above, trailing zeros dropped.
namespace ByteCountFormatter {

QString fileStyle(qint64 byteCount, const QLocale& locale = QLocale());

} // namespace ByteCountFormatter
} // namespace tolvi
