#include "Tolvi/panels/PanelCommandBus.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

TEST(PanelKeyboardCommandTest, NamesAreThePanelPrefixAndTheCommandAndParseBack)
{
    EXPECT_EQ(notificationName(PanelKeyboardCommand::historyEscape), QStringLiteral("tolvi.panel.historyEscape"));
    EXPECT_EQ(notificationName(PanelKeyboardCommand::dismissHistoryOverlay), QStringLiteral("tolvi.panel.dismissHistoryOverlay"));
    EXPECT_EQ(notificationName(PanelKeyboardCommand::createSnippet), QStringLiteral("tolvi.panel.createSnippet"));
    EXPECT_EQ(notificationName(PanelKeyboardCommand::toggleClipPreview), QStringLiteral("tolvi.panel.toggleClipPreview"));
    EXPECT_EQ(notificationName(PanelKeyboardCommand::selectPreviousClip), QStringLiteral("tolvi.panel.selectPreviousClip"));
    EXPECT_EQ(notificationName(PanelKeyboardCommand::selectNextClip), QStringLiteral("tolvi.panel.selectNextClip"));
    EXPECT_EQ(notificationName(PanelKeyboardCommand::pasteSelectedClip), QStringLiteral("tolvi.panel.pasteSelectedClip"));
    for (PanelKeyboardCommand c : allPanelKeyboardCommands)
        EXPECT_EQ(panelKeyboardCommand(notificationName(c)), c);
    EXPECT_EQ(panelKeyboardCommand(QStringLiteral("tolvi.panel.")), std::nullopt);
    EXPECT_EQ(panelKeyboardCommand(QStringLiteral("tolvi.compact.accept")), std::nullopt);
    EXPECT_EQ(panelKeyboardCommand(QStringLiteral("selectNextClip")), std::nullopt);
}

TEST(PanelCommandBusTest, SubscribersHearOnlyTheirCommandFromTheirPanel)
{
    PanelCommandBus bus;
    QObject history, compact, view;
    int next = 0, anyPanelPaste = 0;
    bus.subscribe(PanelKeyboardCommand::selectNextClip, &history, &view, [&] { ++next; });
    bus.subscribe(PanelKeyboardCommand::pasteSelectedClip, nullptr, &view, [&] { ++anyPanelPaste; });

    bus.post(PanelKeyboardCommand::selectNextClip, &history);
    bus.post(PanelKeyboardCommand::selectNextClip, &compact);
    bus.post(PanelKeyboardCommand::selectPreviousClip, &history);
    EXPECT_TRUE(bus.post(QStringLiteral("tolvi.panel.pasteSelectedClip"), &compact));
    EXPECT_FALSE(bus.post(QStringLiteral("tolvi.panel.unknown"), &history));
    EXPECT_EQ(next, 1);
    EXPECT_EQ(anyPanelPaste, 1);
}

TEST(PanelCommandBusTest, SubscriptionsEndWithTheirContextAndNeverMatchADeletedPanel)
{
    PanelCommandBus bus;
    int heard = 0;
    auto* panel = new QObject;
    {
        QObject view;
        bus.subscribe(PanelKeyboardCommand::createSnippet, panel, &view, [&] { ++heard; });
        bus.post(PanelKeyboardCommand::createSnippet, panel);
    }
    bus.post(PanelKeyboardCommand::createSnippet, panel);
    EXPECT_EQ(heard, 1);

    QObject view;
    bus.subscribe(PanelKeyboardCommand::createSnippet, panel, &view, [&] { ++heard; });
    delete panel;
    bus.post(PanelKeyboardCommand::createSnippet, nullptr);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(&PanelCommandBus::shared(), &PanelCommandBus::shared());
}

} // namespace
} // namespace tolvi
