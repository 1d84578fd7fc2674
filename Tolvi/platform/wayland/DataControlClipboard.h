#pragma once

#include "Tolvi/platform/wayland/DataControlDevice.h"
#include "Tolvi/platform/wayland/DataControlPasteboard.h"

#include <chrono>
#include <memory>

namespace tolvi {

class WaylandConnection;

// The clipboard of a Wayland session with data control, put together: the device of the first
// seat feeding a pasteboard that writes through it. Made before the connection starts
// dispatching; the connection must outlive it, with its dispatching stopped first.
class DataControlClipboard {
public:
    // Null when the compositor offers no data control.
    static std::unique_ptr<DataControlClipboard> create(WaylandConnection& connection,
                                                        std::chrono::milliseconds readBudget = std::chrono::milliseconds(750));
    ~DataControlClipboard();

    DataControlPasteboard& pasteboard() { return *pasteboard_; }
    DataControlProtocol protocol() const { return device_->protocol(); }

private:
    DataControlClipboard() = default;
    std::unique_ptr<DataControlPasteboard> pasteboard_;
    std::unique_ptr<DataControlDevice> device_;
};

} // namespace tolvi
