#pragma once

#include "Tolvi/services/capture/CaptureLog.h"

#include "TolviCore/model/ClipboardItem.h"

namespace tolvi {

class Pasteboard;

// Writes a clip back to the pasteboard with the representations it kept.
namespace ClipboardPasteboardWriter {

// True when the clip is on the pasteboard afterwards. False, with the pasteboard untouched, when
// an image no longer passes the raster policy or a referenced file is missing or unreadable;
// false also when the pasteboard refused the write. The old contents are replaced in one step.
bool write(const ClipboardItem& item, Pasteboard& pasteboard, const CaptureLogSink& log = defaultCaptureLog());

// Puts a plain text on the pasteboard, replacing its contents.
bool writeText(const QString& text, Pasteboard& pasteboard);

} // namespace ClipboardPasteboardWriter
} // namespace tolvi
