#pragma once

#include "Tolvi/settings/SettingsContext.h"
#include "Tolvi/settings/SettingsPresentation.h"
#include "Tolvi/shell/PreferenceValues.h"

#include <QList>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tolvi {

class Alerts;
class ElidedLabel;
class FilePanels;
class StatusLine;
class TokenLabel;
class TolviBadge;

// What a section asks of the window it sits in.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    virtual void select(SettingsSection section) = 0;
    // Dialogs attached to the settings window.
    virtual Alerts& alerts() = 0;
    virtual FilePanels& filePanels() = 0;
    virtual QWidget* dialogParent() = 0;
    virtual void chooseExcludedApp() = 0;
};

// The content of one section: a column of groups, 16 points apart. Each control follows its
// preference through the store's change signal and writes the user's choice straight back.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    SettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent);

protected:
    QVBoxLayout* column() const { return m_column; }
    SettingsDependencies& m_d;
    SettingsHost& m_host;

private:
    QVBoxLayout* m_column;
};

class GeneralSettingsPage final : public SettingsPage {
    Q_OBJECT
public:
    GeneralSettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent);

    QAbstractButton* appearanceButton(TolviAppearance appearance) const;
    QCheckBox* hotKeyToggle() const { return m_hotKeyToggle; }
    QComboBox* shortcutPicker() const { return m_shortcutPicker; }
    // The error line; hidden while the hot keys are registered.
    QWidget* hotKeyErrorLine() const { return m_errorLine; }
    QString hotKeyErrorText() const;
    TolviBadge* currentShortcutBadge() const { return m_currentBadge; }
    // The keys of the keyboard list's rows, in order.
    QStringList keyboardRowKeys() const;
    // What the page says about the route of the shortcuts, and the command lines it shows.
    QString shortcutAccessText() const;

private:
    void renderShortcut();
    void renderAppearance(TolviAppearance value);
    void renderError(const std::optional<QString>& error);

    bool m_hotKeyEnabled;
    GlobalShortcutPreset m_shortcut;
    QButtonGroup* m_appearance = nullptr;
    QCheckBox* m_hotKeyToggle = nullptr;
    QComboBox* m_shortcutPicker = nullptr;
    QWidget* m_errorLine = nullptr;
    TokenLabel* m_errorText = nullptr;
    TolviBadge* m_currentBadge = nullptr;
    QList<TolviBadge*> m_rowBadges;
    TokenLabel* m_accessSummary = nullptr;
    QList<TokenLabel*> m_commandLines;
};

class CaptureSettingsPage final : public SettingsPage {
    Q_OBJECT
public:
    CaptureSettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent);

    QCheckBox* recordToggle() const { return m_record; }
    QCheckBox* textToggle() const { return m_text; }
    QCheckBox* imagesToggle() const { return m_images; }
    StatusLine* noClipTypesLine() const { return m_noTypes; }
    QComboBox* historyLimitPicker() const { return m_limit; }
    TolviBadge* storedNowBadge() const { return m_stored; }
    StatusLine* ocrLine() const { return m_ocr; }

private:
    void render();

    bool m_isRecording;
    bool m_capturesText;
    bool m_capturesImages;
    bool m_isBlocked;
    QCheckBox* m_record = nullptr;
    QCheckBox* m_text = nullptr;
    QCheckBox* m_images = nullptr;
    StatusLine* m_noTypes = nullptr;
    QComboBox* m_limit = nullptr;
    TolviBadge* m_stored = nullptr;
    StatusLine* m_ocr = nullptr;
};

class ExclusionSettingsPage final : public SettingsPage {
    Q_OBJECT
public:
    ExclusionSettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent);

    QWidget* unreadableBlock() const { return m_block; }
    QPushButton* retryButton() const { return m_retry; }
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* chooseButton() const { return m_choose; }
    QWidget* emptyText() const { return m_empty; }
    // The rows of the list, in order; each row's Remove button is named "tolviRemoveExclusion".
    QList<QWidget*> rows() const { return m_rows; }

private:
    void render();
    void confirmReset();

    QWidget* m_block = nullptr;
    QPushButton* m_retry = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_choose = nullptr;
    QWidget* m_empty = nullptr;
    QVBoxLayout* m_list = nullptr;
    QList<QWidget*> m_rows;
};

class PrivacySettingsPage final : public SettingsPage {
    Q_OBJECT
public:
    PrivacySettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent);

    QPushButton* button(const QString& title) const;
    QCheckBox* screenSharingToggle() const { return m_screenSharing; }
    StatusLine* exclusionLine() const { return m_exclusions; }
    StatusLine* permissionLine() const { return m_permission; }
    StatusLine* usageLine() const { return m_usage; }
    // The titles of the counter cells shown, in order.
    QStringList counterTitles() const;
    bool showsAIPrivacy() const { return m_aiGroup != nullptr; }

private:
    void renderHistory();
    void renderExclusions();
    void renderPermission(bool canPostEvents);
    void renderUsage();

    QPushButton* m_clearRecent = nullptr;
    QPushButton* m_clearAll = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_resetCounters = nullptr;
    QCheckBox* m_screenSharing = nullptr;
    StatusLine* m_exclusions = nullptr;
    StatusLine* m_permission = nullptr;
    StatusLine* m_usage = nullptr;
    QWidget* m_aiGroup = nullptr;
    QGridLayout* m_counters = nullptr;
    QList<QWidget*> m_counterCells;
};

} // namespace tolvi
