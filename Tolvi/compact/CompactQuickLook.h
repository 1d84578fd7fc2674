#pragma once

#include "Tolvi/compact/CompactClipboardPanel.h"

#include <QUrl>

#include <functional>

namespace tolvi {

class ThumbnailCache;

// The compact panel's full-size preview: the clip preview card over the panel, with the panel's
// own paste and copy actions, following the panel's history. Links open through `openUrl` (the
// desktop's default browser).
CompactClipboardPanel::PreviewFactory compactQuickLookFactory(ThumbnailCache* thumbnails,
                                                              std::function<bool(const QUrl&)> openUrl);

} // namespace tolvi
