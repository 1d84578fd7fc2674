#pragma once

#include "Tolvi/services/capture/ImageRecognition.h"

#include "Tolvi/services/ocr/ImageOCRService.h"

namespace tolvi {

// The capture path's recogniser in the running program: the OCR client (one recognition at a
// time program-wide, in the worker process). Bytes the raster policy refuses are answered
// unsupportedImage without the worker.
RecognizeImage ocrClientRecognizer();

ImageRecognitionOutcome recognitionOutcome(const ImageOCRService::Outcome& outcome);

} // namespace tolvi
