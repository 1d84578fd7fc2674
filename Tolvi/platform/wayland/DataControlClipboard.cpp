#include "Tolvi/platform/wayland/DataControlClipboard.h"

namespace tolvi {

std::unique_ptr<DataControlClipboard> DataControlClipboard::create(WaylandConnection& connection,
                                                                   std::chrono::milliseconds readBudget)
{
    std::unique_ptr<DataControlClipboard> clipboard(new DataControlClipboard);
    DataControlClipboard* self = clipboard.get();
    // The device's events start only once the connection dispatches, after the pasteboard exists.
    self->device_ = DataControlDevice::create(connection, [self](std::shared_ptr<DataControlOffer> offer, bool own) {
        self->pasteboard_->selectionChanged(std::move(offer), own);
    });
    if (!self->device_)
        return nullptr;
    self->pasteboard_ = std::make_unique<DataControlPasteboard>(self->device_.get(), readBudget);
    return clipboard;
}

DataControlClipboard::~DataControlClipboard()
{
    // The device first: no selection arrives for a pasteboard that is gone.
    device_.reset();
}

} // namespace tolvi
