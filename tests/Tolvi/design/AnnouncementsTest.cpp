#include "Tolvi/design/Announcements.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

class FakeChannel : public AnnouncementChannel {
public:
    bool mayAnnounce() const override { return allowed; }
    void announce(const QString& message) override { spoken.append(message); }

    bool allowed = true;
    QStringList spoken;
};

TEST(AnnouncementSourceTest, AMessagePresentAtCreationIsNeverSpoken)
{
    FakeChannel channel;
    TolviAnnouncementSource source(QStringLiteral("Queue ready"), channel);
    EXPECT_FALSE(source.update(QStringLiteral("Queue ready")));
    EXPECT_TRUE(channel.spoken.isEmpty());
    EXPECT_TRUE(source.update(QStringLiteral("Pasted 1 of 3")));
    EXPECT_EQ(channel.spoken, QStringList{QStringLiteral("Pasted 1 of 3")});
}

TEST(AnnouncementSourceTest, SameMessageTwiceSpeaksOnceAndNilThenSameTextSpeaksAgain)
{
    FakeChannel channel;
    TolviAnnouncementSource source(std::nullopt, channel);
    source.update(QStringLiteral("Copied"));
    source.update(QStringLiteral("Copied"));
    EXPECT_EQ(channel.spoken.size(), 1);
    source.update(std::nullopt);
    source.update(QStringLiteral("Copied"));
    EXPECT_EQ(channel.spoken, (QStringList{QStringLiteral("Copied"), QStringLiteral("Copied")}));
}

TEST(AnnouncementSourceTest, EmptyMessageClearsMemoryWithoutSpeaking)
{
    FakeChannel channel;
    TolviAnnouncementSource source(std::nullopt, channel);
    source.update(QStringLiteral("Copied"));
    EXPECT_FALSE(source.update(QString()));
    EXPECT_EQ(source.previousMessage(), QString());
    EXPECT_TRUE(source.update(QStringLiteral("Copied")));
    EXPECT_EQ(channel.spoken.size(), 2);
}

TEST(AnnouncementSourceTest, AMessageThatCouldNotBeSpokenIsRememberedAndNotSpokenLater)
{
    FakeChannel channel;
    channel.allowed = false;
    TolviAnnouncementSource source(std::nullopt, channel);
    EXPECT_FALSE(source.update(QStringLiteral("Paste queue paused")));
    EXPECT_EQ(source.previousMessage(), QStringLiteral("Paste queue paused"));
    channel.allowed = true;
    EXPECT_FALSE(source.update(QStringLiteral("Paste queue paused")));
    EXPECT_TRUE(channel.spoken.isEmpty());
    EXPECT_TRUE(source.update(QStringLiteral("Paste queue resumed")));
}

// The conditions of a widget's channel, on real widgets.
class WidgetChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(100, 60);
        container = new QWidget(&window);
        anchor = new QWidget(container);
    }

    QWidget window;
    QWidget* container = nullptr;
    QWidget* anchor = nullptr;
    bool screenReader = true;
};

TEST_F(WidgetChannelTest, SpeaksOnlyInTheActiveShownWindowWithAScreenReader)
{
    WidgetAnnouncementChannel channel(anchor, [this] { return screenReader; });
    EXPECT_FALSE(channel.mayAnnounce()); // no window on screen

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(channel.mayAnnounce());

    screenReader = false;
    EXPECT_FALSE(channel.mayAnnounce());
    screenReader = true;

    container->hide(); // a hidden ancestor
    EXPECT_FALSE(channel.mayAnnounce());
    container->show();
    anchor->hide();
    EXPECT_FALSE(channel.mayAnnounce());
    anchor->show();

    QWidget otherWindow;
    otherWindow.show();
    otherWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&otherWindow));
    EXPECT_FALSE(channel.mayAnnounce()); // not the key window
}

TEST_F(WidgetChannelTest, AnnouncementElementSpeaksChangesThroughItsChannel)
{
    auto* announcement = tolviAccessibilityAnnouncement(container, QStringLiteral("Ready"));
    EXPECT_EQ(announcement->size(), QSize(0, 0));
    EXPECT_EQ(announcement->focusPolicy(), Qt::NoFocus);
    auto channel = std::make_unique<FakeChannel>();
    FakeChannel* fake = channel.get();
    announcement->setChannel(std::move(channel));
    QSignalSpy announced(announcement, &TolviAccessibilityAnnouncement::announced);

    announcement->setMessage(QStringLiteral("Ready"));
    announcement->setMessage(QStringLiteral("Pasted 2 of 3"));
    EXPECT_EQ(fake->spoken, QStringList{QStringLiteral("Pasted 2 of 3")});
    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced.at(0).at(0).toString(), QStringLiteral("Pasted 2 of 3"));
}

TEST_F(WidgetChannelTest, DeliveryNamesTheNotificationElement)
{
    auto* announcement = tolviAccessibilityAnnouncement(container);
    WidgetAnnouncementChannel channel(announcement, [] { return true; });
    channel.announce(QStringLiteral("Queue finished"));
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(announcement);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->role(), QAccessible::Notification);
    EXPECT_EQ(element->text(QAccessible::Name), QStringLiteral("Queue finished"));
}

TEST_F(WidgetChannelTest, AnElementAddedToAWindowAlreadyOnScreenSpeaks)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* announcement = tolviAccessibilityAnnouncement(container, QStringLiteral("Queue ready"));
    announcement->setChannel(std::make_unique<WidgetAnnouncementChannel>(announcement, [] { return true; }));
    QSignalSpy announced(announcement, &TolviAccessibilityAnnouncement::announced);
    announcement->setMessage(QStringLiteral("Pasted 1 of 3"));
    EXPECT_EQ(announced.count(), 1);
}

} // namespace
} // namespace tolvi
