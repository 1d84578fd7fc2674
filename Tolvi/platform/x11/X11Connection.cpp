#include "Tolvi/platform/x11/X11Connection.h"

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace tolvi {

std::unique_ptr<X11Connection> X11Connection::open(const QByteArray& displayName)
{
    int screenNumber = 0;
    xcb_connection_t* connection =
        xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!connection)
        return nullptr;
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return nullptr;
    }
    std::unique_ptr<X11Connection> result(new X11Connection);
    result->connection_ = connection;
    result->root_ = screens.data->root;
    return result;
}

X11Connection::~X11Connection()
{
    if (connection_)
        xcb_disconnect(connection_);
}

bool X11Connection::hasError() const
{
    return xcb_connection_has_error(connection_) != 0;
}

std::uint32_t X11Connection::atom(const QByteArray& name)
{
    const auto found = atoms_.constFind(name);
    if (found != atoms_.constEnd())
        return found.value();
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, quint16(name.size()), name.constData()), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const std::uint32_t result = reply->atom;
    std::free(reply);
    atoms_.insert(name, result);
    return result;
}

std::optional<X11Connection::Property> X11Connection::property(std::uint32_t window, const QByteArray& name,
                                                               std::uint32_t maximumBytes)
{
    if (!window)
        return std::nullopt;
    const std::uint32_t propertyAtom = atom(name);
    if (propertyAtom == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, propertyAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, (maximumBytes + 3) / 4),
        nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<Property> result;
    if (reply->type != XCB_ATOM_NONE) {
        Property value;
        value.type = reply->type;
        value.format = reply->format;
        value.value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                 qMin<int>(xcb_get_property_value_length(reply), int(maximumBytes)));
        result = value;
    }
    std::free(reply);
    return result;
}

QList<std::uint32_t> X11Connection::values32(std::uint32_t window, const QByteArray& name)
{
    QList<std::uint32_t> result;
    const std::optional<Property> value = property(window, name, 64 * 1024);
    if (!value || value->format != 32)
        return result;
    const qsizetype count = value->value.size() / 4;
    for (qsizetype i = 0; i < count; ++i) {
        std::uint32_t item = 0;
        std::memcpy(&item, value->value.constData() + i * 4, 4);
        result.append(item);
    }
    return result;
}

std::optional<std::uint32_t> X11Connection::value32(std::uint32_t window, const QByteArray& name)
{
    const QList<std::uint32_t> values = values32(window, name);
    if (values.isEmpty())
        return std::nullopt;
    return values.constFirst();
}

std::optional<qint64> X11Connection::creatorProcess(std::uint32_t window)
{
    if (!window)
        return std::nullopt;
    if (!canAskForClientIds_) {
        // QueryClientIds came with version 1.2 of the extension.
        bool supported = false;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_res_id);
        if (extension && extension->present) {
            xcb_res_query_version_reply_t* version = xcb_res_query_version_reply(
                connection_, xcb_res_query_version(connection_, XCB_RES_MAJOR_VERSION, XCB_RES_MINOR_VERSION), nullptr);
            supported = version && (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
            std::free(version);
        }
        canAskForClientIds_ = supported;
    }
    if (!*canAskForClientIds_)
        return std::nullopt;
    // A window's id lies in the id range of the client that created it: the server answers for
    // that client.
    const xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* reply =
        xcb_res_query_client_ids_reply(connection_, xcb_res_query_client_ids(connection_, 1, &spec), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<qint64> pid;
    for (xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(reply); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) == 1) {
            const std::uint32_t value = *xcb_res_client_id_value_value(it.data);
            if (value > 0)
                pid = qint64(value);
        }
    }
    std::free(reply);
    return pid;
}

QByteArray X11Connection::hostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return QByteArray(buffer);
}

} // namespace tolvi
