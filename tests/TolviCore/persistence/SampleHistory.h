#pragma once

#include "TolviCore/model/ClipboardHistoryState.h"

namespace tolvi::samples {

// A history that uses every field: non-ASCII and NUL in texts, fractional dates, an image with
// and without optional values, kept RTF/HTML and file URLs, source apps with and without an
// identifier, and boards.
ClipboardHistoryState sampleHistory();

// A history whose every clip carries the generation number, so a reader can tell which of
// several written states it found (the image's width is the generation plus one, as a size is
// at least one pixel); the number of clips depends on the generation.
ClipboardHistoryState generationHistory(int generation, int imageBytes);
// The generation of a state built by generationHistory, or -1 when the state is not one.
int generationOf(const ClipboardHistoryState& state);

} // namespace tolvi::samples
