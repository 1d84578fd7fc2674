#pragma once

#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"

namespace tolvi::gallery {

// What a window's controller needs besides its history and theme, as fakes that never touch
// the desktop: a clipboard in memory, a paste service in the given environment (by default one
// with no other program to paste into), settings in memory, and the stores and thumbnails
// made from them.
struct GalleryServices {
    GalleryServices();
    explicit GalleryServices(PasteService::Environment environment);

    InMemoryPasteboard pasteboard;
    PasteService paste;
    InMemoryKeyValueSettings settings;
    SystemClock clock;
    UsageMetricsStore usage{settings, clock};
    PreferencesStore preferences{settings};
    ThumbnailCache thumbnails;
};

} // namespace tolvi::gallery
