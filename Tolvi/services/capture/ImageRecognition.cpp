#include "Tolvi/services/capture/ImageRecognition.h"

namespace tolvi {

std::optional<ClipboardStore::OCRStatus> ImageRecognitionOutcome::storeStatus() const
{
    using Status = ClipboardStore::OCRStatus;
    switch (kind) {
    case Kind::recognized:
        return std::nullopt;
    case Kind::noText:
        return Status::noText;
    case Kind::failed:
        return Status::failed;
    case Kind::unsupportedImage:
        return Status::unsupportedImage;
    case Kind::timedOut:
        return Status::timedOut;
    case Kind::busy:
        return Status::busy;
    case Kind::cancelled:
        return Status::cancelled;
    }
    return Status::failed;
}

std::optional<QString> ImageRecognitionOutcome::storeText() const
{
    if (kind == Kind::recognized)
        return text;
    return std::nullopt;
}

} // namespace tolvi
