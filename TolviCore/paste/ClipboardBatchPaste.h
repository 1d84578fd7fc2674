#pragma once

#include "TolviCore/paste/ClipboardBatchPayload.h"

#include "TolviCore/model/ClipboardItem.h"

#include <QList>
#include <QString>

namespace tolvi::ClipboardBatchPaste {

// empty for no clips; images when every clip is an image; mixed when texts and images come
// together (every clip's content, in selection order); otherwise text with the joined texts.
// Only the contents count: pins, boards, sources and kept representations play no part.
ClipboardBatchPayload payload(const QList<ClipboardItem>& items);

// The clips' text segments joined with one line feed, without a trailing one.
QString text(const QList<ClipboardItem>& items);

// A text clip's text unchanged; an image as "[Image 1440 x 900]" (or "[Image Unknown size]").
QString textSegment(const ClipboardItem& item);

} // namespace tolvi::ClipboardBatchPaste
