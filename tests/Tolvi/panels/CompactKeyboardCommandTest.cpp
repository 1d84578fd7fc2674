#include "Tolvi/panels/PanelCommandBus.h"

#include <gtest/gtest.h>

namespace tolvi {
namespace {

TEST(CompactKeyboardCommandTest, NamesUseTheCompactPrefixAndNeverMixWithPanelCommands)
{
    EXPECT_EQ(notificationName(CompactKeyboardCommand::accept), QStringLiteral("tolvi.compact.accept"));
    EXPECT_EQ(notificationName(CompactKeyboardCommand::selectNextClip), QStringLiteral("tolvi.compact.selectNextClip"));
    for (CompactKeyboardCommand c : allCompactKeyboardCommands)
        EXPECT_EQ(compactKeyboardCommand(notificationName(c)), c);
    EXPECT_EQ(compactKeyboardCommand(QStringLiteral("tolvi.panel.selectNextClip")), std::nullopt);
    EXPECT_EQ(compactKeyboardCommand(QStringLiteral("tolvi.compact.")), std::nullopt);
}

TEST(CompactKeyboardCommandTest, EveryCommandOfBothFamiliesHasItsOwnName)
{
    QStringList compact;
    for (CompactKeyboardCommand c : allCompactKeyboardCommands)
        compact.append(notificationName(c));
    EXPECT_EQ(compact, (QStringList{QStringLiteral("tolvi.compact.accept"), QStringLiteral("tolvi.compact.openActions"),
                                    QStringLiteral("tolvi.compact.editSelectedClip"),
                                    QStringLiteral("tolvi.compact.toggleClipPreview"),
                                    QStringLiteral("tolvi.compact.cancel"),
                                    QStringLiteral("tolvi.compact.selectPreviousClip"),
                                    QStringLiteral("tolvi.compact.selectNextClip")}));
    QStringList panel;
    for (PanelKeyboardCommand c : allPanelKeyboardCommands)
        panel.append(notificationName(c));
    EXPECT_EQ(panel, (QStringList{QStringLiteral("tolvi.panel.historyEscape"),
                                  QStringLiteral("tolvi.panel.dismissHistoryOverlay"),
                                  QStringLiteral("tolvi.panel.createSnippet"),
                                  QStringLiteral("tolvi.panel.toggleClipPreview"),
                                  QStringLiteral("tolvi.panel.selectPreviousClip"),
                                  QStringLiteral("tolvi.panel.selectNextClip"),
                                  QStringLiteral("tolvi.panel.pasteSelectedClip")}));
    EXPECT_EQ(panelKeyboardCommand(QStringLiteral("tolvi.compact.cancel")), std::nullopt);
}

TEST(CompactKeyboardCommandTest, TheBusDeliversCompactCommandsOnlyToCompactSubscribersOfThatPanel)
{
    PanelCommandBus bus;
    QObject compact, other, view;
    int compactAccepts = 0, panelPastes = 0, cancels = 0;
    bus.subscribe(CompactKeyboardCommand::accept, &compact, &view, [&] { ++compactAccepts; });
    bus.subscribe(CompactKeyboardCommand::cancel, nullptr, &view, [&] { ++cancels; });
    bus.subscribe(PanelKeyboardCommand::pasteSelectedClip, nullptr, &view, [&] { ++panelPastes; });

    bus.post(CompactKeyboardCommand::accept, &compact);
    bus.post(CompactKeyboardCommand::accept, &other);
    EXPECT_TRUE(bus.post(QStringLiteral("tolvi.compact.accept"), &compact));
    EXPECT_TRUE(bus.post(QStringLiteral("tolvi.compact.cancel"), &other));
    EXPECT_FALSE(bus.post(QStringLiteral("tolvi.compact.paste"), &compact));
    EXPECT_EQ(compactAccepts, 2);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(panelPastes, 0);
}

} // namespace
} // namespace tolvi
