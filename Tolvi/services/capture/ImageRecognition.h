#pragma once

#include "TolviCore/store/ClipboardStore.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tolvi {

// The result of recognising text in one image, as the capture path sees it.
struct ImageRecognitionOutcome {
    enum class Kind { recognized, noText, failed, unsupportedImage, timedOut, busy, cancelled };
    Kind kind = Kind::failed;
    QString text; // only for recognized

    static ImageRecognitionOutcome recognized(QString text) { return {Kind::recognized, std::move(text)}; }
    static ImageRecognitionOutcome of(Kind kind) { return {kind, {}}; }

    // The status and the text the store is given for this outcome: recognized text with no
    // status, every other outcome as the status of the same name with no text.
    std::optional<ClipboardStore::OCRStatus> storeStatus() const;
    std::optional<QString> storeText() const;
};

// Recognises text in image bytes, away from the main thread; calls done exactly once, from any
// thread.
using RecognizeImage =
    std::function<void(const QByteArray& imageBytes, std::function<void(ImageRecognitionOutcome)> done)>;

} // namespace tolvi
