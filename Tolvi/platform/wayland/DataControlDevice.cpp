#include "Tolvi/platform/wayland/DataControlDevice.h"

#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <QLoggingCategory>

#include <csignal>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include <cerrno>
#include <pthread.h>
#include <unistd.h>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcDataControl, "tolvi.wayland.datacontrol")

// The two protocols have the same interfaces under different names: one set of plain functions
// for each lets the device below be written once.
#define TOLVI_DATA_CONTROL_PROTOCOL(Name, prefix, value)                                                          \
    struct Name {                                                                                                \
        using Manager = prefix##_data_control_manager_v1;                                                        \
        using Device = prefix##_data_control_device_v1;                                                          \
        using Source = prefix##_data_control_source_v1;                                                          \
        using Offer = prefix##_data_control_offer_v1;                                                            \
        using DeviceListener = prefix##_data_control_device_v1_listener;                                         \
        using SourceListener = prefix##_data_control_source_v1_listener;                                         \
        using OfferListener = prefix##_data_control_offer_v1_listener;                                           \
        static constexpr DataControlProtocol protocol = value;                                                   \
        static const wl_interface* managerInterface() { return &prefix##_data_control_manager_v1_interface; }   \
        static Device* getDevice(Manager* m, wl_seat* s) { return prefix##_data_control_manager_v1_get_data_device(m, s); } \
        static Source* createSource(Manager* m) { return prefix##_data_control_manager_v1_create_data_source(m); } \
        static void destroyManager(Manager* m) { prefix##_data_control_manager_v1_destroy(m); }                 \
        static void destroyDevice(Device* d) { prefix##_data_control_device_v1_destroy(d); }                    \
        static void setSelection(Device* d, Source* s) { prefix##_data_control_device_v1_set_selection(d, s); } \
        static void listen(Device* d, const DeviceListener* l, void* data) { prefix##_data_control_device_v1_add_listener(d, l, data); } \
        static void offerType(Source* s, const char* mime) { prefix##_data_control_source_v1_offer(s, mime); }  \
        static void destroySource(Source* s) { prefix##_data_control_source_v1_destroy(s); }                   \
        static void listen(Source* s, const SourceListener* l, void* data) { prefix##_data_control_source_v1_add_listener(s, l, data); } \
        static void receive(Offer* o, const char* mime, int fd) { prefix##_data_control_offer_v1_receive(o, mime, fd); } \
        static void destroyOffer(Offer* o) { prefix##_data_control_offer_v1_destroy(o); }                      \
        static void listen(Offer* o, const OfferListener* l, void* data) { prefix##_data_control_offer_v1_add_listener(o, l, data); } \
    };

TOLVI_DATA_CONTROL_PROTOCOL(ExtProtocol, ext, DataControlProtocol::ext)
TOLVI_DATA_CONTROL_PROTOCOL(WlrProtocol, zwlr, DataControlProtocol::wlr)
#undef TOLVI_DATA_CONTROL_PROTOCOL

// Writes the bytes into the pipe of a reader and closes it, in a thread of its own so that a slow
// reader never holds the dispatch thread. A reader that went away fails the write (EPIPE) instead
// of ending the program.
void serveInBackground(QByteArray bytes, int fd)
{
    std::thread([bytes = std::move(bytes), fd] {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t result = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (result < 0 && errno == EINTR)
                continue;
            if (result <= 0)
                break;
            written += result;
        }
        ::close(fd);
    }).detach();
}

template <typename P>
class WaylandOffer final : public DataControlOffer {
public:
    WaylandOffer(typename P::Offer* offer, WaylandConnection& connection) : offer_(offer), connection_(connection)
    {
        static const typename P::OfferListener listener = {&WaylandOffer::handleOffer};
        P::listen(offer_, &listener, this);
    }
    ~WaylandOffer() override { P::destroyOffer(offer_); }

    QList<QByteArray> mimeTypes() const override
    {
        std::lock_guard lock(mutex_);
        return mimeTypes_;
    }

    bool receive(const QByteArray& mimeType, int fd) override
    {
        if (connection_.isBroken())
            return false;
        {
            std::lock_guard lock(mutex_);
            if (!mimeTypes_.contains(mimeType))
                return false;
        }
        // libwayland duplicates the descriptor while sending the request.
        P::receive(offer_, mimeType.constData(), fd);
        return connection_.flush();
    }

private:
    static void handleOffer(void* data, typename P::Offer*, const char* mimeType)
    {
        auto* self = static_cast<WaylandOffer*>(data);
        std::lock_guard lock(self->mutex_);
        const QByteArray type(mimeType);
        if (!self->mimeTypes_.contains(type))
            self->mimeTypes_.append(type);
    }

    typename P::Offer* offer_;
    WaylandConnection& connection_;
    mutable std::mutex mutex_;
    QList<QByteArray> mimeTypes_;
};

} // namespace

class DataControlDevice::Backend {
public:
    virtual ~Backend() = default;
    virtual DataControlProtocol protocol() const = 0;
    virtual bool setSelection(const SelectionRepresentations& representations) = 0;
};

namespace {

template <typename P>
class ProtocolBackend final : public DataControlDevice::Backend {
public:
    ProtocolBackend(WaylandConnection& connection, wl_seat* seat, typename P::Manager* manager,
                    DataControlDevice::SelectionHandler handler)
        : connection_(connection), seat_(seat), manager_(manager), handler_(std::move(handler))
    {
        device_ = P::getDevice(manager_, seat_);
        static const typename P::DeviceListener listener = {
            &ProtocolBackend::handleDataOffer,
            &ProtocolBackend::handleSelection,
            &ProtocolBackend::handleFinished,
            &ProtocolBackend::handlePrimarySelection,
        };
        P::listen(device_, &listener, this);
    }

    ~ProtocolBackend() override
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
        for (const auto& source : sources_)
            P::destroySource(source->source);
        sources_.clear();
        if (device_)
            P::destroyDevice(device_);
        P::destroyManager(manager_);
        wl_seat_destroy(seat_);
        connection_.flush();
    }

    DataControlProtocol protocol() const override { return P::protocol; }

    bool setSelection(const SelectionRepresentations& representations) override
    {
        auto state = std::make_shared<SourceState>();
        {
            std::lock_guard lock(mutex_);
            if (!device_ || connection_.isBroken())
                return false;
            state->representations = representations;
            state->source = P::createSource(manager_);
            static const typename P::SourceListener listener = {&ProtocolBackend::handleSend,
                                                               &ProtocolBackend::handleCancelled};
            state->owner = this;
            P::listen(state->source, &listener, state.get());
            for (const auto& representation : representations)
                P::offerType(state->source, representation.first.constData());
            P::setSelection(device_, state->source);
            sources_.push_back(state);
            active_ = state;
        }
        // The compositor has made it the selection (or refused it) once it answered everything sent.
        const bool answered = connection_.roundtrip(1000);
        return answered && !state->cancelled.load();
    }

private:
    struct SourceState {
        typename P::Source* source = nullptr;
        SelectionRepresentations representations;
        std::atomic<bool> cancelled{false};
        ProtocolBackend* owner = nullptr;
    };

    static void handleDataOffer(void* data, typename P::Device*, typename P::Offer* offer)
    {
        auto* self = static_cast<ProtocolBackend*>(data);
        auto wrapped = std::make_shared<WaylandOffer<P>>(offer, self->connection_);
        std::lock_guard lock(self->mutex_);
        self->pending_[offer] = std::move(wrapped);
    }

    std::shared_ptr<DataControlOffer> takePending(typename P::Offer* offer)
    {
        std::lock_guard lock(mutex_);
        const auto found = pending_.find(offer);
        if (found == pending_.end())
            return nullptr;
        std::shared_ptr<DataControlOffer> result = std::move(found->second);
        pending_.erase(found);
        return result;
    }

    static void handleSelection(void* data, typename P::Device*, typename P::Offer* offer)
    {
        auto* self = static_cast<ProtocolBackend*>(data);
        std::shared_ptr<DataControlOffer> taken = offer ? self->takePending(offer) : nullptr;
        bool own = false;
        {
            std::lock_guard lock(self->mutex_);
            // The compositor cancels the source it replaces before it announces the new selection:
            // a source of ours that is still live is the selection announced now.
            own = self->active_ && !self->active_->cancelled.load();
        }
        if (self->handler_)
            self->handler_(std::move(taken), own);
    }

    static void handlePrimarySelection(void* data, typename P::Device*, typename P::Offer* offer)
    {
        // The select-to-copy buffer is never recorded: its offer is dropped unread.
        if (offer)
            static_cast<ProtocolBackend*>(data)->takePending(offer);
    }

    static void handleFinished(void* data, typename P::Device*)
    {
        auto* self = static_cast<ProtocolBackend*>(data);
        qCWarning(lcDataControl) << "The compositor ended Tolvi's data-control device; copies are no longer seen";
        std::lock_guard lock(self->mutex_);
        P::destroyDevice(self->device_);
        self->device_ = nullptr;
    }

    static void handleSend(void* data, typename P::Source*, const char* mimeType, int fd)
    {
        auto* state = static_cast<SourceState*>(data);
        for (const auto& representation : state->representations) {
            if (representation.first == mimeType) {
                serveInBackground(representation.second, fd);
                return;
            }
        }
        ::close(fd);
    }

    static void handleCancelled(void* data, typename P::Source* source)
    {
        auto* state = static_cast<SourceState*>(data);
        ProtocolBackend* self = state->owner;
        state->cancelled = true;
        std::lock_guard lock(self->mutex_);
        P::destroySource(source);
        if (self->active_.get() == state)
            self->active_.reset();
        std::erase_if(self->sources_, [state](const auto& held) { return held.get() == state; });
    }

    WaylandConnection& connection_;
    wl_seat* seat_;
    typename P::Manager* manager_;
    typename P::Device* device_ = nullptr;
    DataControlDevice::SelectionHandler handler_;
    std::mutex mutex_;
    std::unordered_map<typename P::Offer*, std::shared_ptr<DataControlOffer>> pending_;
    std::vector<std::shared_ptr<SourceState>> sources_;
    std::shared_ptr<SourceState> active_;
};

template <typename P>
std::unique_ptr<DataControlDevice::Backend> makeBackend(WaylandConnection& connection, DataControlDevice::SelectionHandler handler)
{
    auto* manager = static_cast<typename P::Manager*>(connection.bind(P::managerInterface(), 2));
    if (!manager)
        return nullptr;
    auto* seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1));
    if (!seat) {
        P::destroyManager(manager);
        return nullptr;
    }
    return std::make_unique<ProtocolBackend<P>>(connection, seat, manager, std::move(handler));
}

} // namespace

DataControlOffer::~DataControlOffer() = default;
DataControlSelectionOwner::~DataControlSelectionOwner() = default;

std::unique_ptr<DataControlDevice> DataControlDevice::create(WaylandConnection& connection, SelectionHandler handler)
{
    QList<QByteArray> names;
    for (const WaylandGlobal& global : connection.globals())
        names.append(global.interface);
    std::unique_ptr<Backend> backend;
    switch (preferredDataControl(names)) {
    case DataControlProtocol::ext:
        backend = makeBackend<ExtProtocol>(connection, std::move(handler));
        break;
    case DataControlProtocol::wlr:
        backend = makeBackend<WlrProtocol>(connection, std::move(handler));
        break;
    case DataControlProtocol::none:
        break;
    }
    if (!backend)
        return nullptr;
    connection.flush();
    return std::unique_ptr<DataControlDevice>(new DataControlDevice(std::move(backend)));
}

DataControlDevice::DataControlDevice(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}
DataControlDevice::~DataControlDevice() = default;

DataControlProtocol DataControlDevice::protocol() const
{
    return backend_->protocol();
}

bool DataControlDevice::setSelection(const SelectionRepresentations& representations)
{
    return backend_->setSelection(representations);
}

} // namespace tolvi
