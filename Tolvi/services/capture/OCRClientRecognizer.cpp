#include "Tolvi/services/capture/OCRClientRecognizer.h"

#include <QCoreApplication>

namespace tolvi {

ImageRecognitionOutcome recognitionOutcome(const ImageOCRService::Outcome& outcome)
{
    using From = ImageOCRService::Outcome::Kind;
    using To = ImageRecognitionOutcome::Kind;
    switch (outcome.kind) {
    case From::recognized:
        return ImageRecognitionOutcome::recognized(outcome.text);
    case From::noText:
        return ImageRecognitionOutcome::of(To::noText);
    case From::failed:
        return ImageRecognitionOutcome::of(To::failed);
    case From::unsupportedImage:
        return ImageRecognitionOutcome::of(To::unsupportedImage);
    case From::timedOut:
        return ImageRecognitionOutcome::of(To::timedOut);
    case From::busy:
        return ImageRecognitionOutcome::of(To::busy);
    case From::cancelled:
        return ImageRecognitionOutcome::of(To::cancelled);
    }
    return ImageRecognitionOutcome::of(To::failed);
}

RecognizeImage ocrClientRecognizer()
{
    return [](const QByteArray& bytes, std::function<void(ImageRecognitionOutcome)> done) {
        ImageOCRService::recognizeOutcome(bytes, QCoreApplication::instance(),
                                          [done = std::move(done)](ImageOCRService::Outcome outcome) {
                                              done(recognitionOutcome(outcome));
                                          });
    };
}

} // namespace tolvi
