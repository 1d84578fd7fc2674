#pragma once

#include "Tolvi/services/capture/CapturePreferences.h"

namespace tolvi::bench {

// Capture preferences with text and images both on, for the capture benchmarks.
class CaptureEverything final : public CapturePreferences {
public:
    bool capturesText() const override { return true; }
    bool capturesImages() const override { return true; }
};

} // namespace tolvi::bench
