#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace tolvi {

// Where a status announcement goes: whether it may be spoken now, and how.
class AnnouncementChannel {
public:
    virtual ~AnnouncementChannel() = default;
    // All the conditions for speaking hold at this moment.
    virtual bool mayAnnounce() const = 0;
    virtual void announce(const QString& message) = 0;
};

// Remembers the last status message it saw and announces a message only when it
// changes. A message present at creation is never announced; a message that
// arrives while it may not be spoken is remembered all the same, so it is not
// spoken later unless it changes again. An empty message clears the memory.
class TolviAnnouncementSource {
public:
    TolviAnnouncementSource(std::optional<QString> initialMessage, AnnouncementChannel& channel);

    // Returns whether the message was announced.
    bool update(const std::optional<QString>& message);
    const std::optional<QString>& previousMessage() const { return m_previousMessage; }

private:
    std::optional<QString> m_previousMessage;
    AnnouncementChannel& m_channel;
};

// The channel of a widget: it may speak while the widget is shown in the active
// window of the active application and a screen reader listens; it delivers
// through the accessibility events Qt has (a name change and an alert on a
// notification element).
class WidgetAnnouncementChannel : public AnnouncementChannel {
public:
    explicit WidgetAnnouncementChannel(QWidget* anchor,
                                       std::function<bool()> screenReaderActive = defaultScreenReaderActive);

    bool mayAnnounce() const override;
    void announce(const QString& message) override;

    static bool defaultScreenReaderActive();

private:
    QWidget* m_anchor;
    std::function<bool()> m_screenReaderActive;
};

// The announcing element placed in a view: give it the status message on every
// change of that view's state; it speaks only the changes.
class TolviAccessibilityAnnouncement : public QWidget {
    Q_OBJECT
public:
    explicit TolviAccessibilityAnnouncement(QWidget* host, const std::optional<QString>& initialMessage = std::nullopt);

    void setMessage(const std::optional<QString>& message);
    const std::optional<QString>& previousMessage() const { return m_source.previousMessage(); }

    // The channel used, replaceable for tests; the object takes ownership.
    void setChannel(std::unique_ptr<AnnouncementChannel> channel);

signals:
    void announced(const QString& message);

private:
    class ForwardingChannel : public AnnouncementChannel {
    public:
        explicit ForwardingChannel(TolviAccessibilityAnnouncement& owner) : m_owner(owner) {}
        bool mayAnnounce() const override { return m_owner.m_channel->mayAnnounce(); }
        void announce(const QString& message) override;

    private:
        TolviAccessibilityAnnouncement& m_owner;
    };

    std::unique_ptr<AnnouncementChannel> m_channel;
    ForwardingChannel m_forwarding;
    TolviAnnouncementSource m_source;
};

// Places an announcing element in host, remembering the host's current message.
inline TolviAccessibilityAnnouncement* tolviAccessibilityAnnouncement(QWidget* host,
                                                                      const std::optional<QString>& currentMessage = std::nullopt)
{
    return new TolviAccessibilityAnnouncement(host, currentMessage);
}

} // namespace tolvi
