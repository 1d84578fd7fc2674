#pragma once

// The OCR worker's request loop: one image per request frame on the input descriptor, one
// JSON reply frame per request on the output descriptor, strictly in turn.

#include "ocr-protocol/OCRWire.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

namespace tolvi::OCRWorker {

// Exit statuses of the worker program.
inline constexpr int exitNormal = 0;
inline constexpr int exitWireError = 74; // sysexits' EX_IOERR

// Recognised text past this many UTF-8 bytes (after trimming) is answered as failed, which
// leaves room for the JSON around it inside the reply frame limit.
inline constexpr qsizetype maximumTextBytes = OCRWire::maximumResponseBytes - 1'025;

// Turns recognised text into a reply: trimmed at both ends; noText when nothing is left;
// failed when it is too long for a reply; recognized otherwise.
OCRWire::Response recognizedResponse(const QString& text);

// Recognises one request's image bytes.
using Recognize = std::function<OCRWire::Response(QByteArrayView image)>;

// Serves requests until the input ends (exitNormal), a failed or unsupportedImage reply has
// been written (exitNormal), or a frame cannot be read, encoded or written (exitWireError).
int run(int inputFd, int outputFd, const Recognize& recognize);

} // namespace tolvi::OCRWorker
