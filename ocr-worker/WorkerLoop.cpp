#include "ocr-worker/WorkerLoop.h"

#include "ocr-protocol/OCRRasterPolicy.h"

namespace tolvi::OCRWorker {

OCRWire::Response recognizedResponse(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {OCRWire::Response::Kind::noText, std::nullopt};
    if (trimmed.toUtf8().size() > maximumTextBytes)
        return {OCRWire::Response::Kind::failed, std::nullopt};
    return {OCRWire::Response::Kind::recognized, trimmed};
}

int run(int inputFd, int outputFd, const Recognize& recognize)
{
    for (;;) {
        const OCRWire::FrameRead request = OCRWire::readFrame(inputFd, OCRRasterPolicy::maximumBytes);
        if (request.error)
            return exitWireError;
        if (!request.payload)
            return exitNormal;
        const OCRWire::Response response = recognize(*request.payload);
        const QByteArray encoded = OCRWire::encodeResponse(response);
        if (encoded.isEmpty() || OCRWire::writeFrame(encoded, outputFd, OCRWire::maximumResponseBytes))
            return exitWireError;
        if (response.kind == OCRWire::Response::Kind::failed
            || response.kind == OCRWire::Response::Kind::unsupportedImage)
            return exitNormal;
    }
}

} // namespace tolvi::OCRWorker
