#pragma once

#include "TolviCore/text/TextTransform.h"

#include <QString>

namespace tolvi {

// The subtitle under a transform's row in the compact panel's action list ("Remove repeated
// lines" for deduplicateLines).
QString compactSubtitle(TextTransform transform);

} // namespace tolvi
