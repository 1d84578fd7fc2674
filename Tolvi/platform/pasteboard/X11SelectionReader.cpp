#include "Tolvi/platform/pasteboard/X11SelectionReader.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tolvi {

namespace {

constexpr int maximumTargetCount = 1024;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The pieces' bytes in one array of exactly their size. Its pages are put in place with one call
// before they are written: a fault for each page costs about twice as much.
QByteArray joined(const std::vector<Reply<xcb_get_property_reply_t>>& pieces, qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(data.data()) + page - 1) & ~(page - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(data.data()) + std::uintptr_t(size)) & ~(page - 1);
    // Only a hint: without it (kernels before 5.14) the writes below fault the pages in.
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    char* end = data.data();
    for (const Reply<xcb_get_property_reply_t>& piece : pieces) {
        const int length = xcb_get_property_value_length(piece.get());
        std::memcpy(end, xcb_get_property_value(piece.get()), size_t(length));
        end += length;
    }
    return data;
}

} // namespace

X11SelectionReader::X11SelectionReader(const QByteArray& displayName)
{
    int screenNumber = 0;
    xcb_connection_t* connection =
        xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection)
            xcb_disconnect(connection);
        return;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return;
    }
    connection_ = connection;
    root_ = screens.data->root;

    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection_, &xcb_xfixes_id);
    if (xfixes && xfixes->present) {
        Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
            connection_, xcb_xfixes_query_version(connection_, 5, 0), nullptr));
        if (version) {
            hasXFixes_ = true;
            xfixesFirstEvent_ = xfixes->first_event;
        }
    }
    if (!createWindow()) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
    }
}

X11SelectionReader::~X11SelectionReader()
{
    if (connection_)
        xcb_disconnect(connection_);
}

std::uint32_t X11SelectionReader::atom(const QByteArray& name)
{
    const auto found = atoms_.constFind(name);
    if (found != atoms_.constEnd())
        return found.value();
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, quint16(name.size()), name.constData()), nullptr));
    if (!reply)
        return XCB_ATOM_NONE;
    atoms_.insert(name, reply->atom);
    names_.insert(reply->atom, name);
    return reply->atom;
}

QList<QByteArray> X11SelectionReader::atomNames(const QList<std::uint32_t>& atoms)
{
    QList<xcb_get_atom_name_cookie_t> cookies;
    QList<std::uint32_t> asked;
    for (std::uint32_t a : atoms) {
        if (a != XCB_ATOM_NONE && !names_.contains(a) && !asked.contains(a)) {
            asked.append(a);
            cookies.append(xcb_get_atom_name(connection_, a));
        }
    }
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(connection_, cookies.at(i), nullptr));
        if (!reply)
            continue;
        const QByteArray name(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
        names_.insert(asked.at(i), name);
        atoms_.insert(name, asked.at(i));
    }
    QList<QByteArray> result;
    for (std::uint32_t a : atoms) {
        const auto found = names_.constFind(a);
        if (found != names_.constEnd())
            result.append(found.value());
    }
    return result;
}

bool X11SelectionReader::createWindow()
{
    window_ = xcb_generate_id(connection_);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_void_cookie_t cookie = xcb_create_window_checked(
        connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    if (Reply<xcb_generic_error_t> error{xcb_request_check(connection_, cookie)}) {
        window_ = 0;
        return false;
    }
    if (hasXFixes_) {
        xcb_xfixes_select_selection_input(connection_, window_, atom("CLIPBOARD"),
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    xcb_flush(connection_);
    return true;
}

void X11SelectionReader::recreateWindow()
{
    // Answers still on their way to the old window (a late owner) go nowhere.
    if (window_)
        xcb_destroy_window(connection_, window_);
    if (!createWindow()) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
    }
}

std::uint32_t X11SelectionReader::owner()
{
    if (!connection_)
        return 0;
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, atom("CLIPBOARD")), nullptr));
    return reply ? reply->owner : 0;
}

bool X11SelectionReader::belongsToWindowManager(std::uint32_t window)
{
    if (!connection_ || !window)
        return false;
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, root_, check, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return false;
    const std::uint32_t manager = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    // Every window a client creates carries that client's resource base.
    const std::uint32_t mask = xcb_get_setup(connection_)->resource_id_mask;
    return manager && (manager & ~mask) == (window & ~mask);
}

void X11SelectionReader::drainEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if (hasXFixes_ && (event->response_type & 0x7f) == xfixesFirstEvent_ + XCB_XFIXES_SELECTION_NOTIFY)
            changed_ = true;
        std::free(event);
    }
}

void X11SelectionReader::markUnchanged()
{
    if (!connection_)
        return;
    drainEvents();
    changed_ = false;
}

bool X11SelectionReader::changedSinceMark()
{
    if (!connection_)
        return false;
    drainEvents();
    return changed_;
}

void* X11SelectionReader::nextEvent(const QDeadlineTimer& deadline)
{
    for (;;) {
        if (xcb_connection_has_error(connection_))
            return nullptr;
        if (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            if (hasXFixes_ && (event->response_type & 0x7f) == xfixesFirstEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
                changed_ = true;
                std::free(event);
                if (abandonOnChange_)
                    return nullptr;
                continue;
            }
            return event;
        }
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0)
            return nullptr;
        pollfd descriptors[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {interruptDescriptor_, POLLIN, 0}};
        const int result = ::poll(descriptors, interruptDescriptor_ >= 0 ? 2 : 1,
                                  remaining < 0 ? -1 : int(qMin<qint64>(remaining, 1000)));
        if (result < 0 && errno != EINTR)
            return nullptr;
        if (interruptDescriptor_ >= 0 && (descriptors[1].revents & POLLIN))
            return nullptr;
    }
}

bool X11SelectionReader::waitForChange()
{
    if (!connection_ || !hasXFixes_)
        return false;
    for (;;) {
        drainEvents();
        if (changed_)
            return true;
        if (xcb_connection_has_error(connection_))
            return false;
        pollfd descriptors[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {interruptDescriptor_, POLLIN, 0}};
        const int result = ::poll(descriptors, interruptDescriptor_ >= 0 ? 2 : 1, -1);
        if (result < 0 && errno != EINTR)
            return false;
        if (interruptDescriptor_ >= 0 && (descriptors[1].revents & POLLIN))
            return false;
    }
}

std::optional<QByteArray> X11SelectionReader::convert(std::uint32_t target, const QDeadlineTimer& deadline,
                                                      qint64 maximumBytes, std::uint32_t* type, std::uint8_t* format)
{
    const std::uint32_t selection = atom("CLIPBOARD");
    const std::uint32_t property = atom("TOLVI_SELECTION");
    const std::uint32_t incr = atom("INCR");
    const std::uint32_t longLength = std::uint32_t(qMin<qint64>((maximumBytes + 3) / 4, 0x3fffffff));

    xcb_delete_property(connection_, window_, property);
    xcb_convert_selection(connection_, window_, selection, target, property, XCB_CURRENT_TIME);
    xcb_flush(connection_);

    // The owner answers with SelectionNotify once the property holds the data.
    for (;;) {
        auto* event = static_cast<xcb_generic_event_t*>(nextEvent(deadline));
        if (!event) {
            recreateWindow();
            return std::nullopt;
        }
        if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
            const bool ours =
                notify->requestor == window_ && notify->selection == selection && notify->target == target;
            const bool refused = notify->property == XCB_ATOM_NONE;
            std::free(event);
            if (!ours)
                continue;
            if (refused)
                return std::nullopt;
            break;
        }
        std::free(event);
    }

    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, longLength),
        nullptr));
    if (!reply)
        return std::nullopt;
    if (reply->type != incr) {
        if (reply->bytes_after > 0)
            return std::nullopt;
        if (type)
            *type = reply->type;
        if (format)
            *format = reply->format;
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    // Incremental transfer: the owner writes one chunk at a time, each after we delete the last;
    // an empty chunk ends it. The chunks are kept as they come and put together once at the end:
    // a buffer grown chunk by chunk was copied into a larger one again and again.
    std::vector<Reply<xcb_get_property_reply_t>> chunks;
    qint64 received = 0;
    std::optional<std::uint32_t> chunkType;
    for (;;) {
        auto* event = static_cast<xcb_generic_event_t*>(nextEvent(deadline));
        if (!event) {
            recreateWindow();
            return std::nullopt;
        }
        bool newChunk = false;
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
            newChunk = notify->window == window_ && notify->atom == property &&
                       notify->state == XCB_PROPERTY_NEW_VALUE;
        }
        std::free(event);
        if (!newChunk)
            continue;
        Reply<xcb_get_property_reply_t> chunk(xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, longLength), nullptr));
        if (!chunk) {
            recreateWindow();
            return std::nullopt;
        }
        const int length = xcb_get_property_value_length(chunk.get());
        if (length == 0) {
            if (type)
                *type = chunk->type;
            if (format)
                *format = chunk->format;
            return joined(chunks, received);
        }
        // Every chunk is of the transfer's one type.
        if (chunkType && (chunk->type != *chunkType || chunk->format != 8)) {
            recreateWindow();
            return std::nullopt;
        }
        chunkType = chunk->type;
        if (received + length > maximumBytes || chunk->bytes_after > 0) {
            recreateWindow();
            return std::nullopt;
        }
        received += length;
        chunks.push_back(std::move(chunk));
    }
}

bool X11SelectionReader::acceptsReply(const QByteArray& target, std::uint32_t targetAtom, std::uint32_t type,
                                      std::uint8_t format)
{
    // Contents travel as bytes: a property of 16- or 32-bit items (atoms, integers, pixels) is
    // never the text, markup or image asked for.
    if (format != 8)
        return false;
    // Text comes only in the type asked for: an owner answering UTF8_STRING with a property of
    // another type (a STRING in Latin-1, an image, anything) would otherwise be stored as text.
    const bool text = target == "UTF8_STRING" || target == "STRING" || target.startsWith("text/");
    return !text || type == targetAtom;
}

std::optional<QList<QByteArray>> X11SelectionReader::targets(const QDeadlineTimer& deadline)
{
    if (!connection_)
        return std::nullopt;
    std::uint32_t type = 0;
    std::uint8_t format = 0;
    const std::optional<QByteArray> data = convert(atom("TARGETS"), deadline, maximumTargetCount * 4, &type, &format);
    // A list of atoms, as asked (some owners name the type TARGETS); anything else is no answer.
    if (!data || (!data->isEmpty() && ((type != XCB_ATOM_ATOM && type != atom("TARGETS")) || format != 32)))
        return std::nullopt;
    QList<std::uint32_t> atoms;
    const qsizetype count = data->size() / qsizetype(sizeof(std::uint32_t));
    for (qsizetype i = 0; i < count; ++i) {
        std::uint32_t value = 0;
        std::memcpy(&value, data->constData() + i * sizeof(std::uint32_t), sizeof(value));
        atoms.append(value);
    }
    return atomNames(atoms);
}

std::optional<QByteArray> X11SelectionReader::read(const QByteArray& target, const QDeadlineTimer& deadline,
                                                   qint64 maximumBytes)
{
    if (!connection_ || target.isEmpty())
        return std::nullopt;
    const std::uint32_t targetAtom = atom(target);
    if (targetAtom == XCB_ATOM_NONE)
        return std::nullopt;
    std::uint32_t type = 0;
    std::uint8_t format = 0;
    std::optional<QByteArray> data = convert(targetAtom, deadline, maximumBytes, &type, &format);
    if (!data || !acceptsReply(target, targetAtom, type, format))
        return std::nullopt;
    return data;
}

} // namespace tolvi
