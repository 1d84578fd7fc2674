#include "Tolvi/gallerysupport/GalleryServices.h"

#include "Tolvi/services/paste/InertPasteEnvironment.h"

namespace tolvi::gallery {

GalleryServices::GalleryServices()
    : GalleryServices(inertPasteEnvironment())
{
}

GalleryServices::GalleryServices(PasteService::Environment environment)
    : paste(pasteboard, std::move(environment))
{
}

} // namespace tolvi::gallery
