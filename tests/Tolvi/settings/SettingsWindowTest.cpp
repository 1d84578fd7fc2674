// The settings window as the program opens it, its dialogs, and the usage counters' summary.
#include "SettingsTestSupport.h"

#include "Tolvi/settings/SettingsComponents.h"
#include "Tolvi/settings/SettingsPanelController.h"
#include "Tolvi/settings/SettingsView.h"
#include "Tolvi/settings/WindowModalDialogs.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

TEST(SettingsPanelController, OnePanelKeepsItsSectionAcrossHideAndShow)
{
    SettingsHarness h;
    SettingsPanelController controller(h.dependencies());
    EXPECT_FALSE(controller.hasWindow());
    controller.show();
    EscapeClosingPanel* panel = controller.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(controller.isWindowVisible());
    EXPECT_EQ(panel->size(), SettingsView::fixedSize);
    EXPECT_EQ(controller.view()->headerTitle(), "General");

    controller.view()->sidebar()->setCurrentRow(int(SettingsSection::privacy));
    EXPECT_EQ(controller.view()->headerTitle(), "Privacy");
    panel->escapeHandler()();
    EXPECT_FALSE(controller.isWindowVisible());
    controller.show();
    EXPECT_EQ(controller.panel(), panel);
    EXPECT_EQ(controller.view()->selection(), SettingsSection::privacy);
}

TEST(SettingsPanelController, FlowsAskWithDialogsAttachedToTheWindow)
{
    SettingsHarness h;
    ASSERT_TRUE(h.store.record(QStringLiteral("clip"), 1000.0));
    std::optional<int> answer;
    QObject* alertParent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    SettingsDependencies dependencies = h.dependencies();
    dependencies.actions.exportHistory = [&](FilePanels&, Alerts& alerts, QWidget*) {
        AlertRequest request;
        request.message = QStringLiteral("History could not be exported");
        request.buttons = {QStringLiteral("OK"), QStringLiteral("Other")};
        // Answer the box from the event loop, as the user would.
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            alertParent = box->parent();
            modality = box->windowModality();
            clickButton(qobject_cast<QMessageBox*>(box), QStringLiteral("Other"));
        });
        answer = alerts.run(request);
    };
    SettingsPanelController controller(std::move(dependencies));
    controller.show();
    controller.view()->privacyPage()->button("Export History...")->click();
    EXPECT_EQ(answer, std::optional<int>(1));
    EXPECT_EQ(alertParent, controller.panel());
    EXPECT_EQ(modality, Qt::WindowModal);
}

TEST(UsageSummary, MostUsedByCountThenTitleAndResetReturnsToNothing)
{
    using SettingsPresentation::usageSummaryDetail;
    using SettingsPresentation::usageSummaryTitle;
    EXPECT_EQ(usageSummaryDetail({{UsageMetricEvent::pastePerformed, 0}}),
              "Counts appear here as you use preview, snippets, paste, edit, boards, feedback, and updates.");
    // Equal highest counts: the title that sorts first wins ("Copies" before "Pastes").
    EXPECT_EQ(usageSummaryDetail({{UsageMetricEvent::pastePerformed, 3},
                                  {UsageMetricEvent::copyPerformed, 3},
                                  {UsageMetricEvent::snippetCreated, 1}}),
              "Most used: copies (3).");
    EXPECT_EQ(usageSummaryDetail({{UsageMetricEvent::copyPerformed, 2}, {UsageMetricEvent::fullHistoryOpened, 9}}),
              "Most used: full window opened (9).");

    SettingsHarness h;
    SettingsDependencies dependencies = h.dependencies();
    SettingsView view(dependencies);
    view.show();
    PrivacySettingsPage& page = *view.privacyPage();
    EXPECT_EQ(page.usageLine()->title(), usageSummaryTitle(0));
    EXPECT_FALSE(page.button("Reset Counters")->isEnabled());
    h.usage.record(UsageMetricEvent::pastePerformed);
    h.usage.record(UsageMetricEvent::pastePerformed);
    h.usage.record(UsageMetricEvent::fullHistoryOpened);
    EXPECT_EQ(page.usageLine()->title(), "3 local actions counted");
    EXPECT_EQ(page.usageLine()->detail(), "Most used: pastes (2).");
    // The grid keeps the events' own order.
    EXPECT_EQ(page.counterTitles(), (QStringList{"Full window opened", "Pastes"}));

    page.button("Reset Counters")->click();
    EXPECT_TRUE(clickButton(openMessageBox(&view), "Reset Counters"));
    EXPECT_EQ(page.usageLine()->title(), "No usage counted yet");
    EXPECT_TRUE(page.counterTitles().isEmpty());
}

} // namespace
