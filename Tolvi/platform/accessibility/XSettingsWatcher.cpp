#include "Tolvi/platform/accessibility/XSettingsWatcher.h"

#include <QCoreApplication>
#include <QPointer>

#include <xcb/xcb.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace tolvi {

namespace {

using Clock = std::chrono::steady_clock;

// How long going away waits for the thread to notice.
constexpr auto stopWait = std::chrono::milliseconds(500);

template <typename Reply>
struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
};

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name)
{
    const Freed<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, quint16(name.size()), name.constData()), nullptr)};
    return reply.reply ? reply.reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Reads the property's settings in the owner's byte order, never past its end.
class SettingsReader {
public:
    explicit SettingsReader(const QByteArray& bytes) : m_bytes(bytes)
    {
        m_bigEndian = !bytes.isEmpty() && bytes.front() == 1;
    }
    bool skip(quint32 count)
    {
        if (count > quint32(m_bytes.size()) - m_at)
            return false;
        m_at += count;
        return true;
    }
    std::optional<quint32> card(int size)
    {
        if (quint32(size) > quint32(m_bytes.size()) - m_at)
            return std::nullopt;
        quint32 value = 0;
        for (int i = 0; i < size; ++i) {
            const quint32 byte = quint8(m_bytes[qsizetype(m_at) + (m_bigEndian ? i : size - 1 - i)]);
            value = (value << 8) | byte;
        }
        m_at += quint32(size);
        return value;
    }
    std::optional<QByteArray> text(quint32 length)
    {
        if (length > quint32(m_bytes.size()) - m_at)
            return std::nullopt;
        QByteArray value = m_bytes.mid(qsizetype(m_at), qsizetype(length));
        m_at += length;
        if (!skip((4 - length % 4) % 4))
            return std::nullopt;
        return value;
    }

private:
    const QByteArray& m_bytes;
    quint32 m_at = 0;
    bool m_bigEndian = false;
};

} // namespace

struct XSettingsWatcher::Shared {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t selection = XCB_ATOM_NONE;
    xcb_atom_t settingsAtom = XCB_ATOM_NONE;
    xcb_atom_t managerAtom = XCB_ATOM_NONE;
    xcb_window_t owner = XCB_WINDOW_NONE;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    // The thread's end, for a going-away that waits a moment only.
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    // The thread's last published settings.
    bool hasPublished = false;
    std::optional<XSettingsSnapshot> published;
    // Main thread only.
    QPointer<XSettingsWatcher> watcher;
    bool hasDelivered = false;
    std::optional<XSettingsSnapshot> delivered;

    ~Shared()
    {
        if (connection)
            xcb_disconnect(connection);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    // Finds the selection's owner and asks for its property changes and its end; the server is
    // held meanwhile so that the owner cannot go between the two.
    void findOwner()
    {
        xcb_grab_server(connection);
        const Freed<xcb_get_selection_owner_reply_t> reply{
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr)};
        owner = reply.reply ? reply.reply->owner : xcb_window_t(XCB_WINDOW_NONE);
        if (owner != XCB_WINDOW_NONE) {
            const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_generic_error_t* error = xcb_request_check(
                connection, xcb_change_window_attributes_checked(connection, owner, XCB_CW_EVENT_MASK, &mask));
            if (error) {
                std::free(error);
                owner = XCB_WINDOW_NONE;
            }
        }
        xcb_ungrab_server(connection);
        xcb_flush(connection);
    }

    std::optional<XSettingsSnapshot> read() const
    {
        if (owner == XCB_WINDOW_NONE)
            return std::nullopt;
        const Freed<xcb_get_property_reply_t> reply{xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, owner, settingsAtom, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             maximumPropertyBytes / 4),
            nullptr)};
        // An owner that went away meanwhile publishes nothing; its end arrives as an event.
        if (!reply.reply || reply.reply->format != 8)
            return XSettingsSnapshot{};
        const int length = xcb_get_property_value_length(reply.reply);
        return parse(QByteArray(static_cast<const char*>(xcb_get_property_value(reply.reply)), length));
    }
};

XSettingsWatcher::XSettingsWatcher(QByteArray displayName, QObject* parent)
    : QObject(parent)
    , m_displayName(std::move(displayName))
{
}

XSettingsWatcher::~XSettingsWatcher()
{
    if (!m_shared)
        return;
    m_shared->stopping = true;
    const quint64 one = 1;
    while (::write(m_shared->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    // The thread holds its own share of the connection: should it not end at once (stuck on an
    // X server that does not answer), it ends with the process.
    std::unique_lock lock(m_shared->mutex);
    m_shared->ended.wait_for(lock, stopWait, [this] { return m_shared->finished; });
}

bool XSettingsWatcher::start()
{
    if (m_shared)
        return true;
    auto shared = std::make_shared<Shared>();
    int screenNumber = 0;
    shared->connection = xcb_connect(m_displayName.isEmpty() ? nullptr : m_displayName.constData(), &screenNumber);
    if (xcb_connection_has_error(shared->connection))
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(shared->connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return false;
    shared->root = screens.data->root;
    shared->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->wakeFd < 0)
        return false;
    shared->selection = internAtom(shared->connection, "_XSETTINGS_S" + QByteArray::number(screenNumber));
    shared->settingsAtom = internAtom(shared->connection, "_XSETTINGS_SETTINGS");
    shared->managerAtom = internAtom(shared->connection, "MANAGER");
    shared->watcher = this;
    m_shared = shared;
    std::thread([shared] {
        run(shared);
        const std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->ended.notify_all();
    }).detach();
    return true;
}

XSettingsSnapshot XSettingsWatcher::parse(const QByteArray& property)
{
    XSettingsSnapshot settings;
    SettingsReader reader(property);
    // Byte order and padding, the serial, then the number of settings.
    if (!reader.skip(4) || !reader.card(4))
        return settings;
    const std::optional<quint32> count = reader.card(4);
    if (!count)
        return settings;
    for (quint32 i = 0; i < std::min(*count, maximumSettings); ++i) {
        const std::optional<quint32> type = reader.card(1);
        std::optional<quint32> nameLength;
        if (!type || !reader.skip(1) || !(nameLength = reader.card(2)))
            return settings;
        const std::optional<QByteArray> name = reader.text(*nameLength);
        if (!name || !reader.card(4))  // the serial of its last change
            return settings;
        if (*type == 0) {
            const std::optional<quint32> value = reader.card(4);
            if (!value)
                return settings;
            if (*name == "Gtk/EnableAnimations")
                settings.enableAnimations = int(qint32(*value));
        } else if (*type == 1) {
            const std::optional<quint32> valueLength = reader.card(4);
            std::optional<QByteArray> value;
            if (!valueLength || !(value = reader.text(*valueLength)))
                return settings;
            if (*name == "Net/ThemeName")
                settings.netThemeName = QString::fromUtf8(*value);
            else if (*name == "Gtk/ThemeName")
                settings.gtkThemeName = QString::fromUtf8(*value);
        } else if (*type == 2) {
            if (!reader.skip(8))
                return settings;
        } else {
            return settings;  // a type this reader cannot step over
        }
    }
    return settings;
}

void XSettingsWatcher::run(const std::shared_ptr<Shared>& shared)
{
    Shared& s = *shared;
    // A new owner announces itself with a client message on the root window.
    const quint32 rootMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(s.connection, s.root, XCB_CW_EVENT_MASK, &rootMask);
    s.findOwner();
    publish(shared, s.read());
    Clock::time_point lastRead = Clock::now();
    bool changed = false;

    pollfd fds[2] = {{xcb_get_file_descriptor(s.connection), POLLIN, 0}, {s.wakeFd, POLLIN, 0}};
    while (!s.stopping) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(s.connection)) {
            switch (event->response_type & 0x7f) {
            case XCB_CLIENT_MESSAGE: {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                if (message->type == s.managerAtom && message->format == 32
                    && message->data.data32[1] == s.selection) {
                    s.findOwner();
                    changed = true;
                }
                break;
            }
            case XCB_PROPERTY_NOTIFY: {
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                if (notify->window == s.owner && notify->atom == s.settingsAtom)
                    changed = true;
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
                if (destroyed->window == s.owner) {
                    s.findOwner();
                    changed = true;
                }
                break;
            }
            default:
                break;
            }
            std::free(event);
        }
        if (xcb_connection_has_error(s.connection))
            break;
        int timeout = -1;
        if (changed) {
            const auto due = lastRead + std::chrono::milliseconds(minimumReadIntervalMs);
            const auto now = Clock::now();
            if (now >= due) {
                changed = false;
                lastRead = now;
                publish(shared, s.read());
                continue;  // reading may have queued events without the socket showing them
            }
            timeout = int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
        }
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & (POLLERR | POLLHUP))
            break;
    }
}

void XSettingsWatcher::publish(const std::shared_ptr<Shared>& shared, const std::optional<XSettingsSnapshot>& settings)
{
    if (shared->hasPublished && shared->published == settings)
        return;
    shared->hasPublished = true;
    shared->published = settings;
    if (shared->stopping)
        return;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [shared, settings] {
            XSettingsWatcher* watcher = shared->watcher;
            if (!watcher || (shared->hasDelivered && shared->delivered == settings))
                return;
            shared->hasDelivered = true;
            shared->delivered = settings;
            emit watcher->settingsChanged(settings);
        },
        Qt::QueuedConnection);
}

} // namespace tolvi
