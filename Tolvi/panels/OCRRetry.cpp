#include "Tolvi/panels/OCRRetry.h"

#include "TolviCore/store/ClipboardStore.h"

namespace tolvi {

bool canRetryOCR(const ClipboardStore& store, const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return false;
    if (store.isRecognizing(*image))
        return false;
    if (const std::optional<ClipboardStore::OCRStatus> status = store.ocrStatusOf(*image))
        return *status != ClipboardStore::OCRStatus::unsupportedImage;
    return !image->recognizedText() || image->recognizedText()->isEmpty();
}

} // namespace tolvi
