#include "Tolvi/platform/accessibility/XSettingsWatcher.h"

#include <QCoreApplication>

#include <X11/Xlib.h>
#include <xsettings-client.h>

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tolvi {

namespace {

// The client keeps its own copy of every setting; we read the ones we need after each event.
void ignoreNotification(const char*, XSettingsAction, XSettingsSetting*, void*) {}

std::optional<int> integerSetting(XSettingsClient* client, const char* name)
{
    XSettingsSetting* setting = nullptr;
    if (xsettings_client_get_setting(client, name, &setting) != XSETTINGS_SUCCESS || !setting)
        return std::nullopt;
    std::optional<int> value;
    if (setting->type == XSETTINGS_TYPE_INT)
        value = setting->data.v_int;
    xsettings_setting_free(setting);
    return value;
}

QString stringSetting(XSettingsClient* client, const char* name)
{
    XSettingsSetting* setting = nullptr;
    if (xsettings_client_get_setting(client, name, &setting) != XSETTINGS_SUCCESS || !setting)
        return {};
    QString value;
    if (setting->type == XSETTINGS_TYPE_STRING && setting->data.v_string)
        value = QString::fromUtf8(setting->data.v_string);
    xsettings_setting_free(setting);
    return value;
}

} // namespace

struct XSettingsWatcher::Connection {
    Display* display = nullptr;
    XSettingsClient* client = nullptr;
    Atom selection = None;

    ~Connection()
    {
        if (client)
            xsettings_client_destroy(client);
        if (display)
            XCloseDisplay(display);
    }

    std::optional<XSettingsSnapshot> snapshot() const
    {
        if (XGetSelectionOwner(display, selection) == None)
            return std::nullopt;
        XSettingsSnapshot settings;
        settings.enableAnimations = integerSetting(client, "Gtk/EnableAnimations");
        settings.netThemeName = stringSetting(client, "Net/ThemeName");
        settings.gtkThemeName = stringSetting(client, "Gtk/ThemeName");
        return settings;
    }
};

XSettingsWatcher::XSettingsWatcher(QByteArray displayName, QObject* parent)
    : QObject(parent)
    , m_displayName(std::move(displayName))
{
}

XSettingsWatcher::~XSettingsWatcher()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const quint64 one = 1;
        while (::write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    m_connection.reset();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool XSettingsWatcher::start()
{
    if (m_connection)
        return true;
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!connection->display)
        return false;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return false;
    const int screen = DefaultScreen(connection->display);
    const QByteArray selectionName = "_XSETTINGS_S" + QByteArray::number(screen);
    connection->selection = XInternAtom(connection->display, selectionName.constData(), False);
    m_connection = std::move(connection);
    m_thread = std::thread([this] { run(); });
    return true;
}

void XSettingsWatcher::run()
{
    Connection& c = *m_connection;
    // The client selects the root window's structure events (a new owner announces itself
    // there) and the owner's property and structure events, and reads the settings once.
    c.client = xsettings_client_new(c.display, DefaultScreen(c.display), ignoreNotification, nullptr, nullptr);
    if (!c.client) {
        publish(std::nullopt);
        return;
    }
    publish(c.snapshot());

    pollfd fds[2] = {{ConnectionNumber(c.display), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (!m_stopping) {
        bool handled = false;
        while (XPending(c.display) > 0) {
            XEvent event;
            XNextEvent(c.display, &event);
            handled = xsettings_client_process_event(c.client, &event) || handled;
        }
        if (handled) {
            // Reading the owner may queue further events without the socket showing them: look again.
            publish(c.snapshot());
            continue;
        }
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & (POLLERR | POLLHUP))
            break;
    }
}

void XSettingsWatcher::publish(const std::optional<XSettingsSnapshot>& settings)
{
    QMetaObject::invokeMethod(
        this,
        [this, settings] {
            if (m_hasPublished && m_last == settings)
                return;
            m_hasPublished = true;
            m_last = settings;
            emit settingsChanged(settings);
        },
        Qt::QueuedConnection);
}

} // namespace tolvi
