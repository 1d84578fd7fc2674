#pragma once

#include "Tolvi/settings/SettingsContext.h"
#include "Tolvi/settings/SettingsPages.h"
#include "Tolvi/settings/SettingsPresentation.h"

#include <QWidget>

#include <memory>

class QListWidget;
class QPushButton;
class QStackedWidget;

namespace tolvi {

class ExcludedAppChooser;
class HistoryStorageNotice;
class TolviIconTile;
class TokenLabel;
class WindowModalAlerts;
class WindowModalFilePanels;

// The settings window's content: the sidebar of sections beside the selected section under its
// header, the history storage notice and, while app exclusions cannot be read, the banner that
// leads to them. The four sections are built once; the selection survives hiding the window.
class SettingsView final : public QWidget, private SettingsHost {
    Q_OBJECT
public:
    static constexpr QSize fixedSize{820, 620};

    SettingsView(SettingsDependencies& dependencies, QWidget* parent = nullptr);
    ~SettingsView() override;

    SettingsSection selection() const { return m_selection; }
    void setSelection(SettingsSection section);

    QListWidget* sidebar() const { return m_sidebar; }
    QWidget* captureBlockedBanner() const { return m_banner; }
    QPushButton* reviewExclusionsButton() const { return m_review; }
    HistoryStorageNotice* storageNotice() const { return m_notice; }
    QString headerTitle() const;

    GeneralSettingsPage* generalPage() const { return m_general; }
    CaptureSettingsPage* capturePage() const { return m_capture; }
    ExclusionSettingsPage* exclusionPage() const { return m_exclusions; }
    PrivacySettingsPage* privacyPage() const { return m_privacy; }
    // The chooser while it exists (it is made on first use and kept).
    ExcludedAppChooser* chooser() const { return m_chooser; }

    // Opens the exclusion chooser over the window.
    void chooseExcludedApp() override;

private:
    void select(SettingsSection section) override { setSelection(section); }
    Alerts& alerts() override;
    FilePanels& filePanels() override;
    QWidget* dialogParent() override { return window(); }
    void renderBanner();

    SettingsDependencies& m_d;
    SettingsSection m_selection = SettingsSection::general;
    QListWidget* m_sidebar = nullptr;
    TolviIconTile* m_headerTile = nullptr;
    TokenLabel* m_headerTitle = nullptr;
    TokenLabel* m_headerSubtitle = nullptr;
    HistoryStorageNotice* m_notice = nullptr;
    QWidget* m_banner = nullptr;
    QPushButton* m_review = nullptr;
    QStackedWidget* m_stack = nullptr;
    GeneralSettingsPage* m_general = nullptr;
    CaptureSettingsPage* m_capture = nullptr;
    ExclusionSettingsPage* m_exclusions = nullptr;
    PrivacySettingsPage* m_privacy = nullptr;
    ExcludedAppChooser* m_chooser = nullptr;
    std::unique_ptr<WindowModalAlerts> m_alerts;
    std::unique_ptr<WindowModalFilePanels> m_filePanels;
};

} // namespace tolvi
