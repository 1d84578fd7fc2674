#pragma once

#include "Tolvi/services/capture/CaptureLog.h"

#include "Tolvi/platform/pasteboard/Pasteboard.h"

#include "TolviCore/model/ClipboardItem.h"

#include <optional>

namespace tolvi {

// Writes a clip back to the pasteboard with the representations it kept.
namespace ClipboardPasteboardWriter {

// True when the clip is on the pasteboard afterwards. False, with the pasteboard untouched, when
// an image no longer passes the raster policy or a referenced file is missing or unreadable;
// false also when the pasteboard refused the write. The old contents are replaced in one step.
bool write(const ClipboardItem& item, Pasteboard& pasteboard, Pasteboard::WriteKind kind,
           const CaptureLogSink& log = defaultCaptureLog());

// Puts a plain text on the pasteboard, replacing its contents.
bool writeText(const QString& text, Pasteboard& pasteboard, Pasteboard::WriteKind kind);

// The one pasteboard item a text clip is written as: its text in UTF-8 with the rich forms it
// kept. Nothing for a clip of files or an image. Touches no pasteboard, so a long text can be
// encoded on a worker thread and written once it is ready.
std::optional<PasteboardItem> textItem(const ClipboardItem& item);

} // namespace ClipboardPasteboardWriter
} // namespace tolvi
