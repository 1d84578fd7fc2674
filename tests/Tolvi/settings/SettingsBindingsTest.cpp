// The settings sections against real preferences: each control follows its preference and
// writes the user's choice back.
#include "SettingsTestSupport.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/settings/SettingsComponents.h"
#include "Tolvi/settings/SettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

struct ViewFixture : ::testing::Test {
    SettingsHarness h;
    std::optional<SettingsDependencies> dependencies;
    std::unique_ptr<SettingsView> view;

    SettingsView& make()
    {
        view.reset();
        dependencies.emplace(h.dependencies());
        view = std::make_unique<SettingsView>(*dependencies);
        tolviConsoleAppearance(view.get(), &h.theme);
        return *view;
    }

    // Picks an entry of a picker the way the user does.
    static void choose(QComboBox* picker, const QString& title)
    {
        const int index = picker->findText(title);
        ASSERT_GE(index, 0) << title.toStdString();
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }
};

TEST_F(ViewFixture, ShortcutPickerToggleBadgeAndKeyboardRowsFollowThePreferences)
{
    GeneralSettingsPage& page = *make().generalPage();
    EXPECT_EQ(page.currentShortcutBadge()->title(), "Ctrl + Alt + V");

    // The user picks a preset: it is stored, and the compact chord moves out of its way.
    choose(page.shortcutPicker(), QStringLiteral("Super + Shift + V"));
    EXPECT_EQ(h.preferences->globalShortcut(), GlobalShortcutPreset::commandShiftV);
    EXPECT_EQ(page.currentShortcutBadge()->title(), "Super + Shift + V");
    EXPECT_EQ(page.keyboardRowKeys().mid(0, 2), (QStringList{"Super + Shift + V", "Ctrl + Alt + V"}));

    // A change made elsewhere reaches the picker.
    h.preferences->setGlobalShortcut(GlobalShortcutPreset::optionSpace);
    EXPECT_EQ(page.shortcutPicker()->currentText(), "Alt + Space");
    EXPECT_EQ(page.keyboardRowKeys().mid(0, 2), (QStringList{"Alt + Space", "Super + Shift + V"}));

    // Switched off: the picker is greyed, the badge says so, the row keeps the stored preset.
    page.hotKeyToggle()->click();
    EXPECT_FALSE(h.preferences->isGlobalHotKeyEnabled());
    EXPECT_FALSE(page.shortcutPicker()->isEnabled());
    EXPECT_EQ(page.currentShortcutBadge()->title(), "Off");
    EXPECT_EQ(page.keyboardRowKeys().first(), "Alt + Space");
    h.preferences->setGlobalHotKeyEnabled(true);
    EXPECT_TRUE(page.hotKeyToggle()->isChecked());
    EXPECT_TRUE(page.shortcutPicker()->isEnabled());
}

TEST_F(ViewFixture, GeneralSaysHowTheShortcutsReachTolviAndShowsTheCommandsToBind)
{
    // An X11 session (or no word from the program): the key grab.
    EXPECT_TRUE(make().generalPage()->shortcutAccessText().startsWith("Tolvi's shortcuts work in every app of this X11 session"));

    view.reset();
    dependencies.emplace(h.dependencies());
    dependencies->shortcutAccess = [] {
        ShortcutAccess access;
        access.route = ShortcutAccess::Route::boundCommands;
        access.programPath = QStringLiteral("/opt/my apps/Tolvi");
        return access;
    };
    view = std::make_unique<SettingsView>(*dependencies);
    const QStringList lines = view->generalPage()->shortcutAccessText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines.at(0).contains("bind these commands to keys in the desktop's keyboard settings"));
    // A path with a space stays one word when pasted into a shortcut setting.
    EXPECT_EQ(lines.at(1), "'/opt/my apps/Tolvi' --history");
    EXPECT_EQ(lines.at(2), "'/opt/my apps/Tolvi' --compact");
}

TEST_F(ViewFixture, HotKeyErrorLineShowsTheMessageUntilItIsCleared)
{
    h.preferences->setGlobalHotKeyError(QStringLiteral("taken"));
    GeneralSettingsPage& page = *make().generalPage();
    EXPECT_FALSE(page.hotKeyErrorLine()->isHidden());
    EXPECT_EQ(page.hotKeyErrorText(), "taken");

    h.preferences->setGlobalHotKeyError(std::nullopt);
    EXPECT_TRUE(page.hotKeyErrorLine()->isHidden());
    h.preferences->setGlobalHotKeyError(QStringLiteral("A shortcut could not be registered."));
    EXPECT_FALSE(page.hotKeyErrorLine()->isHidden());
    EXPECT_EQ(page.hotKeyErrorText(), "A shortcut could not be registered.");
}

TEST_F(ViewFixture, RecordingSwitchDisablesTheTypeTogglesWithoutChangingThem)
{
    CaptureSettingsPage& page = *make().capturePage();
    page.recordToggle()->click();
    EXPECT_FALSE(h.preferences->isClipboardMonitoringEnabled());
    EXPECT_FALSE(page.textToggle()->isEnabled());
    EXPECT_FALSE(page.imagesToggle()->isEnabled());
    EXPECT_TRUE(page.textToggle()->isChecked());
    EXPECT_TRUE(page.imagesToggle()->isChecked());
    EXPECT_TRUE(h.preferences->capturesText());

    h.preferences->setClipboardMonitoringEnabled(true);
    EXPECT_TRUE(page.recordToggle()->isChecked());
    EXPECT_TRUE(page.textToggle()->isEnabled());
}

TEST_F(ViewFixture, NoClipTypesWarningAndTheOCRLineDeriveFromThePreferences)
{
    CaptureSettingsPage& page = *make().capturePage();
    EXPECT_TRUE(page.noClipTypesLine()->isHidden());
    EXPECT_EQ(page.ocrLine()->title(), "OCR is active");

    page.imagesToggle()->click();
    EXPECT_FALSE(h.preferences->capturesImages());
    EXPECT_EQ(page.ocrLine()->title(), "OCR is paused");
    EXPECT_EQ(page.ocrLine()->presentation().tint.token(), TolviDesign::ColorToken::amber);
    EXPECT_TRUE(page.noClipTypesLine()->isHidden());

    page.textToggle()->click();
    EXPECT_FALSE(page.noClipTypesLine()->isHidden());
    // The warning holds while recording is off too.
    h.preferences->setClipboardMonitoringEnabled(false);
    EXPECT_FALSE(page.noClipTypesLine()->isHidden());

    h.preferences->setCapturesImages(true);
    EXPECT_TRUE(page.noClipTypesLine()->isHidden());
    EXPECT_EQ(page.ocrLine()->title(), "OCR is paused");  // still not recording
    EXPECT_TRUE(page.ocrLine()->detail().startsWith("Recording is off"));
    h.preferences->setClipboardMonitoringEnabled(true);
    EXPECT_EQ(page.ocrLine()->title(), "OCR is active");
}

TEST_F(ViewFixture, HistoryLimitPickerStoresTheChoiceAndStoredNowCountsEveryClip)
{
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(h.store.record(QStringLiteral("clip %1").arg(i), 1000.0 + i));
    CaptureSettingsPage& page = *make().capturePage();
    EXPECT_EQ(page.storedNowBadge()->title(), "30 items");

    choose(page.historyLimitPicker(), QStringLiteral("25 recent items"));
    EXPECT_EQ(h.preferences->historyLimit(), HistoryLimitPreference::twentyFive);
    h.preferences->setHistoryLimit(HistoryLimitPreference::oneThousand);
    EXPECT_EQ(page.historyLimitPicker()->currentText(), "1,000 recent items");

    ASSERT_TRUE(h.store.record(QStringLiteral("one more"), 2000.0));
    EXPECT_EQ(page.storedNowBadge()->title(), "31 items");
    h.store.clear();
    EXPECT_EQ(page.storedNowBadge()->title(), "0 items");
}

TEST_F(ViewFixture, AppearanceSegmentsFollowAndSetTheTheme)
{
    GeneralSettingsPage& page = *make().generalPage();
    EXPECT_TRUE(page.appearanceButton(TolviAppearance::light)->isChecked());
    page.appearanceButton(TolviAppearance::dark)->click();
    EXPECT_EQ(h.preferences->appearance(), TolviAppearance::dark);
    h.preferences->setAppearance(TolviAppearance::light);
    EXPECT_TRUE(page.appearanceButton(TolviAppearance::light)->isChecked());
}

TEST_F(ViewFixture, PrivacyButtonsFollowTheHistoryAndThePermissionIsCheckedAgain)
{
    PrivacySettingsPage& page = *make().privacyPage();
    EXPECT_FALSE(page.button("Clear History")->isEnabled());
    EXPECT_FALSE(page.button("Export History...")->isEnabled());
    EXPECT_TRUE(page.button(QStringLiteral("Import History\u2026"))->isEnabled());
    EXPECT_EQ(page.button("Open Permission Settings"), nullptr);
    ASSERT_TRUE(h.store.record(QStringLiteral("clip"), 1000.0));
    EXPECT_TRUE(page.button("Clear History")->isEnabled());

    EXPECT_EQ(page.permissionLine()->title(), "Permission is needed for auto-paste");
    h.canPostEvents = true;
    page.button("Check Again")->click();
    EXPECT_EQ(page.permissionLine()->title(), "Automatic paste is enabled");

    // The screen-capture preference is kept but cannot be changed here.
    EXPECT_FALSE(page.screenSharingToggle()->isEnabled());
    h.preferences->setHidesWindowsFromScreenCapture(true);
    EXPECT_TRUE(page.screenSharingToggle()->isChecked());

    h.exclusions->add(QStringLiteral("Vault"), QStringLiteral("Vault"));
    EXPECT_EQ(page.exclusionLine()->title(), "1 excluded apps");
}

TEST_F(ViewFixture, ThePermissionSaysWhatTheUserCanDoInThisSession)
{
    PermissionStatusStore::Texts wayland;
    wayland.mechanism = QStringLiteral("Keystrokes go through the compositor.");
    wayland.unavailableStatus = QStringLiteral("This desktop lets Tolvi type into no window: press Ctrl+V.");
    h.permissions.setTexts(wayland);
    PrivacySettingsPage& page = *make().privacyPage();
    EXPECT_EQ(page.permissionLine()->title(), "Permission is needed for auto-paste");
    EXPECT_EQ(page.permissionLine()->detail(), wayland.unavailableStatus);
    const QList<QLabel*> labels = page.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.cbegin(), labels.cend(),
                            [&](const QLabel* label) { return label->text() == wayland.mechanism; }));
}

TEST_F(ViewFixture, ClearingAsksFirstAndOnlyTheActionButtonClears)
{
    ASSERT_TRUE(h.store.record(QStringLiteral("clip"), 1000.0));
    make().show();
    PrivacySettingsPage& page = *view->privacyPage();
    page.button("Clear History")->click();
    QMessageBox* box = openMessageBox(view.get());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Clear clipboard history?");
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(clickButton(box, "Cancel"));
    EXPECT_EQ(h.store.itemCount(), 1);

    page.button("Clear History")->click();
    EXPECT_TRUE(clickButton(openMessageBox(view.get()), "Clear History"));
    EXPECT_EQ(h.store.itemCount(), 0);
}

TEST_F(ViewFixture, AIPrivacyGroupFollowsTheFlag)
{
    EXPECT_TRUE(make().privacyPage()->showsAIPrivacy());
    SettingsHarness without;
    without.aiRewriteEnabled = false;
    SettingsDependencies withoutAI = without.dependencies();
    SettingsView other(withoutAI);
    EXPECT_FALSE(other.privacyPage()->showsAIPrivacy());
}

} // namespace
