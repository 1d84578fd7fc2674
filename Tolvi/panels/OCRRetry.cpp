#include "Tolvi/panels/OCRRetry.h"

#include "TolviCore/store/ClipboardStore.h"

namespace tolvi {

bool canRetryOCR(const ClipboardStore& store, const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return false;
    // (Without any OCR state no image's fingerprint is worked out.)
    if (store.ocrInProgress().isEmpty() && store.ocrStatuses().isEmpty())
        return !image->recognizedText() || image->recognizedText()->isEmpty();
    if (store.ocrInProgress().contains(image->fingerprint()))
        return false;
    const auto status = store.ocrStatuses().constFind(image->fingerprint());
    if (status != store.ocrStatuses().cend())
        return *status != ClipboardStore::OCRStatus::unsupportedImage;
    return !image->recognizedText() || image->recognizedText()->isEmpty();
}

} // namespace tolvi
