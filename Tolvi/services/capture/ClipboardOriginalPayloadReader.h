#pragma once

#include "TolviCore/model/ClipboardOriginalPayload.h"

#include <QString>

#include <optional>

namespace tolvi {

class Pasteboard;

// Reads a copied text or a set of file references from the pasteboard, with the rich forms kept
// beside a text (RTF, HTML) or the file references themselves. Reads only.
namespace ClipboardOriginalPayloadReader {

struct Result {
    QString text;
    std::optional<ClipboardOriginalPayload> payload;
};

// Nothing when the copy holds no usable text: no plain text or only white space; a copy of files
// mixed with anything else, of more than 100 files, or of any reference that is not a local file.
std::optional<Result> read(Pasteboard& pasteboard);

// The pasteboard's data for the type when present, not empty and at most 1,000,000 bytes.
std::optional<QByteArray> bounded(Pasteboard& pasteboard, const QString& type);

} // namespace ClipboardOriginalPayloadReader
} // namespace tolvi
