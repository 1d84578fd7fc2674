#include "Tolvi/design/Announcements.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>

namespace tolvi {

namespace {

// The announcing element is a notification to assistive technologies, not a
// control: give it that role.
class AnnouncementAccessible : public QAccessibleWidget {
public:
    explicit AnnouncementAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Notification)
    {
    }
};

QAccessibleInterface* announcementFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("tolvi::TolviAccessibilityAnnouncement") && object && object->isWidgetType())
        return new AnnouncementAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

bool isEmpty(const std::optional<QString>& message) { return !message || message->isEmpty(); }

} // namespace

TolviAnnouncementSource::TolviAnnouncementSource(std::optional<QString> initialMessage, AnnouncementChannel& channel)
    : m_previousMessage(std::move(initialMessage))
    , m_channel(channel)
{
}

bool TolviAnnouncementSource::update(const std::optional<QString>& message)
{
    if (message == m_previousMessage)
        return false;
    m_previousMessage = message;
    if (isEmpty(message))
        return false;
    if (!m_channel.mayAnnounce())
        return false;
    m_channel.announce(*message);
    return true;
}

WidgetAnnouncementChannel::WidgetAnnouncementChannel(QWidget* anchor, std::function<bool()> screenReaderActive)
    : m_anchor(anchor)
    , m_screenReaderActive(std::move(screenReaderActive))
{
}

bool WidgetAnnouncementChannel::mayAnnounce() const
{
    if (!m_anchor)
        return false;
    QWidget* window = m_anchor->window();
    if (!window || !window->isVisible() || window->isMinimized() || !window->isActiveWindow())
        return false;
    // Not hidden itself, and no hidden ancestor up to the window.
    if (!m_anchor->isVisibleTo(window) || m_anchor->isHidden())
        return false;
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        return false;
    return m_screenReaderActive && m_screenReaderActive();
}

void WidgetAnnouncementChannel::announce(const QString& message)
{
    m_anchor->setAccessibleName(message);
    QAccessibleEvent nameChanged(m_anchor, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
    QAccessibleEvent alert(m_anchor, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

bool WidgetAnnouncementChannel::defaultScreenReaderActive() { return QAccessible::isActive(); }

TolviAccessibilityAnnouncement::TolviAccessibilityAnnouncement(QWidget* host, const std::optional<QString>& initialMessage)
    : QWidget(host)
    , m_channel(std::make_unique<WidgetAnnouncementChannel>(this))
    , m_forwarding(*this)
    , m_source(initialMessage, m_forwarding)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(announcementFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFixedSize(0, 0);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // A child added to a window already on screen stays hidden until shown, and a
    // hidden element may never speak. Shown here, it appears with its host.
    if (host)
        show();
}

void TolviAccessibilityAnnouncement::setMessage(const std::optional<QString>& message) { m_source.update(message); }

void TolviAccessibilityAnnouncement::setChannel(std::unique_ptr<AnnouncementChannel> channel)
{
    if (channel)
        m_channel = std::move(channel);
}

void TolviAccessibilityAnnouncement::ForwardingChannel::announce(const QString& message)
{
    m_owner.m_channel->announce(message);
    emit m_owner.announced(message);
}

} // namespace tolvi
