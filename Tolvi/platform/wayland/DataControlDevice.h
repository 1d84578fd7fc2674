#pragma once

#include "Tolvi/platform/wayland/DataControlOffer.h"
#include "Tolvi/platform/wayland/SessionKind.h"

#include <functional>
#include <memory>

namespace tolvi {

class WaylandConnection;

// The data-control device of the first seat: receives every new clipboard selection (never the
// primary one) as an offer and sets the selection from sources of ours. Works with either
// data-control protocol, ext_data_control_v1 preferred. Its events arrive in the connection's
// dispatch thread; the selection handler runs there.
class DataControlDevice final : public DataControlSelectionOwner {
public:
    // The new selection: its offer (null when the clipboard was emptied) and whether it is the
    // source we set last.
    using SelectionHandler = std::function<void(std::shared_ptr<DataControlOffer> offer, bool ownSelection)>;

    // Null when the compositor offers no data control or no seat. Binds before the connection
    // starts dispatching; the first selection event (the current clipboard) follows soon after.
    static std::unique_ptr<DataControlDevice> create(WaylandConnection& connection, SelectionHandler handler);
    ~DataControlDevice() override;

    DataControlProtocol protocol() const;
    bool setSelection(const SelectionRepresentations& representations) override;

    class Backend;

private:
    explicit DataControlDevice(std::unique_ptr<Backend> backend);
    std::unique_ptr<Backend> backend_;
};

} // namespace tolvi
