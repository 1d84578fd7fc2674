#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <cstdint>
#include <memory>
#include <optional>

struct xcb_connection_t;

namespace tolvi {

// A connection of our own to the X server (the one DISPLAY names), with the property reads the
// desktop layer needs. Property reads are answered by the server itself, so a frozen client
// never makes them hang.
class X11Connection {
public:
    // Nothing when there is no X server to connect to.
    static std::unique_ptr<X11Connection> open(const QByteArray& displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* raw() const { return connection_; }
    std::uint32_t root() const { return root_; }
    bool hasError() const;

    std::uint32_t atom(const QByteArray& name);

    struct Property {
        std::uint32_t type = 0;
        std::uint8_t format = 0;
        QByteArray value;
    };
    // A window property (at most maximumBytes of it); nothing when unset or on error.
    std::optional<Property> property(std::uint32_t window, const QByteArray& name,
                                     std::uint32_t maximumBytes = 64 * 1024);
    // A property of 32-bit values (WINDOW, ATOM, CARDINAL lists).
    QList<std::uint32_t> values32(std::uint32_t window, const QByteArray& name);
    std::optional<std::uint32_t> value32(std::uint32_t window, const QByteArray& name);

    // The process of the local client that created the window, as the server knows it from the
    // other end of its socket (X-Resource 1.2); nothing for a remote client, a window of the
    // server's own or a server without the extension.
    std::optional<qint64> creatorProcess(std::uint32_t window);

    // This machine's host name, as clients write it into WM_CLIENT_MACHINE.
    static QByteArray hostName();

private:
    X11Connection() = default;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    QHash<QByteArray, std::uint32_t> atoms_;
    std::optional<bool> canAskForClientIds_;
};

} // namespace tolvi
