#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/settings/SettingsComponents.h"
#include "Tolvi/settings/SettingsPages.h"
#include "Tolvi/settings/WindowModalDialogs.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/store/ClipboardStore.h"

#include "Tolvi/design/Surfaces.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

// One counted event: its symbol, title and count on a faint plate.
class UsageCounterCell final : public QWidget {
public:
    UsageCounterCell(const UsageMetricCounter& counter, QWidget* parent)
        : QWidget(parent)
        , m_title(usagemetric::title(counter.event))
    {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(10, 8, 10, 8);
        layout->setSpacing(9);
        layout->addWidget(new SymbolView(usagemetric::systemImage(counter.event), ColorToken::electricBlue, 18, 3, this));
        auto* title = new TokenLabel(m_title, Typography::meta, std::nullopt, this);
        QFont medium = TolviDesign::font(Typography::meta);
        medium.setWeight(QFont::Medium);
        title->setFont(medium);
        layout->addWidget(title);
        layout->addStretch(1);
        layout->addWidget(new TokenLabel(QLocale().toString(counter.count), Typography::chip,
                                         DesignColor(ColorToken::muted), this));
    }
    QString title() const { return m_title; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor primary = DesignContext::of(this).color(ColorToken::ink);
        const QPainterPath shape = roundedShape(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8);
        QColor fill = primary;
        fill.setAlphaF(0.035);
        QColor stroke = primary;
        stroke.setAlphaF(0.07);
        painter.fillPath(shape, fill);
        painter.setPen(QPen(stroke, 1));
        painter.drawPath(shape);
    }

private:
    QString m_title;
};

QHBoxLayout* buttonRow()
{
    auto* layout = new QHBoxLayout();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    return layout;
}

QPushButton* addButton(QHBoxLayout* layout, const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    layout->addWidget(button);
    return button;
}

} // namespace

PrivacySettingsPage::PrivacySettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent)
    : SettingsPage(dependencies, host, parent)
{
    SettingsActions& actions = m_d.actions;
    auto call = [](const std::function<void()>& action) {
        return [&action] {
            if (action)
                action();
        };
    };
    auto withDialogs = [this](const std::function<void(FilePanels&, Alerts&)>& action) {
        return [this, &action] {
            if (action)
                action(m_host.filePanels(), m_host.alerts());
        };
    };
    auto withWindow = [this](const std::function<void(FilePanels&, Alerts&, QWidget*)>& action) {
        return [this, &action] {
            if (action)
                action(m_host.filePanels(), m_host.alerts(), m_host.dialogParent());
        };
    };

    // 1. Where the history lives.
    auto* storage = new SettingsGroup(QStringLiteral("Local Storage"),
                                      QStringLiteral("Clipboard history stays on this computer."), this);
    auto* fileBlock = new QVBoxLayout();
    fileBlock->setSpacing(6);
    fileBlock->addWidget(new TokenLabel(QStringLiteral("History file"), Typography::body, DesignColor(ColorToken::muted), storage));
    auto* path = new TokenLabel(m_d.historyFilePath, Typography::meta, std::nullopt, storage);
    path->setObjectName(QStringLiteral("tolviHistoryFilePath"));
    path->setWordWrap(true);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fileBlock->addWidget(path);
    storage->contentLayout()->addLayout(fileBlock);
    QHBoxLayout* storageButtons = buttonRow();
    QPushButton* reveal = addButton(storageButtons, QStringLiteral("Show in File Manager"), storage);
    m_clearRecent = addButton(storageButtons, QStringLiteral("Clear Last 15 Minutes"), storage);
    m_clearAll = addButton(storageButtons, QStringLiteral("Clear History"), storage);
    storageButtons->addStretch(1);
    storage->contentLayout()->addLayout(storageButtons);
    column()->addWidget(storage);
    connect(reveal, &QPushButton::clicked, this, call(actions.revealHistoryFile));
    connect(m_clearRecent, &QPushButton::clicked, this, [this] {
        SettingsActions& actions = m_d.actions;
        openConfirmation(m_host.dialogParent(), QStringLiteral("Clear recent clipboard history?"),
                         QStringLiteral("Tolvi will remove clips copied in the last 15 minutes, including recent pinned "
                                        "or boarded clips. Older clips stay untouched."),
                         QStringLiteral("Clear Last 15 Minutes"), [&actions] {
                             if (actions.clearRecentHistory)
                                 actions.clearRecentHistory();
                         });
    });
    connect(m_clearAll, &QPushButton::clicked, this, [this] {
        SettingsActions& actions = m_d.actions;
        openConfirmation(m_host.dialogParent(), QStringLiteral("Clear clipboard history?"),
                         QStringLiteral("Pinned clips and pinboard assignments will be removed from local storage."),
                         QStringLiteral("Clear History"), [&actions] {
                             if (actions.clearHistory)
                                 actions.clearHistory();
                         });
    });

    // 2. Archives.
    auto* backup = new SettingsGroup(QStringLiteral("Backup and Restore"),
                                     QStringLiteral("Keep a private copy, or merge clips from a Tolvi archive."), this);
    QHBoxLayout* backupButtons = buttonRow();
    m_export = addButton(backupButtons, QStringLiteral("Export History..."), backup);
    QPushButton* import = addButton(backupButtons, QStringLiteral("Import History\u2026"), backup);
    backupButtons->addStretch(1);
    backup->contentLayout()->addLayout(backupButtons);
    backup->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("Archives are unencrypted and include copied content, source app names, and boards. Import "
                       "previews additions and merges duplicates; it does not replace your history. File references "
                       "still need the original files on this computer."),
        backup));
    column()->addWidget(backup);
    connect(m_export, &QPushButton::clicked, this, withWindow(actions.exportHistory));
    connect(import, &QPushButton::clicked, this, withWindow(actions.importHistory));

    // 3. Markers.
    auto* markers = new SettingsGroup(QStringLiteral("Clipboard Privacy"),
                                      QStringLiteral("Sensitive clipboard markers are always respected."), this);
    markers->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("Tolvi skips clips marked as concealed, temporary, or automatically generated by compatible "
                       "apps. Unmarked passwords can still be captured; pause capture before copying sensitive "
                       "information."),
        markers));
    column()->addWidget(markers);

    // 4. Screen sharing: the preference is kept, but X11 has no way to honour it.
    auto* sharing = new SettingsGroup(QStringLiteral("Screen Sharing"),
                                      QStringLiteral("Hide Tolvi before sharing sensitive content."), this);
    m_screenSharing = new QCheckBox(QStringLiteral("Request capture exclusion (legacy)"), sharing);
    m_screenSharing->setChecked(m_d.preferences.hidesWindowsFromScreenCapture());
    m_screenSharing->setEnabled(false);
    sharing->contentLayout()->addWidget(m_screenSharing);
    sharing->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("X11 cannot hide windows from capture: any program on the desktop can read what a window shows, "
                       "so this option has no effect here. Close Tolvi windows before sharing sensitive content."),
        sharing));
    column()->addWidget(sharing);
    connect(&m_d.preferences, &PreferencesStore::hidesWindowsFromScreenCaptureChanged, m_screenSharing,
            &QCheckBox::setChecked);

    // 5. Exclusions in short.
    auto* exclusions = new SettingsGroup(QStringLiteral("App Exclusions"),
                                         QStringLiteral("Keep sensitive apps out of clipboard history."), this);
    m_exclusions = new StatusLine({}, exclusions);
    exclusions->contentLayout()->addWidget(m_exclusions);
    QHBoxLayout* manageRow = buttonRow();
    QPushButton* manage = addButton(manageRow, QStringLiteral("Manage Exclusions"), exclusions);
    manageRow->addStretch(1);
    exclusions->contentLayout()->addLayout(manageRow);
    column()->addWidget(exclusions);
    connect(manage, &QPushButton::clicked, this, [this] { m_host.select(SettingsSection::exclusions); });
    connect(&m_d.exclusions, &AppExclusionStore::excludedAppsChanged, this, &PrivacySettingsPage::renderExclusions);

    // 6. AI.
    if (m_d.featureFlags.aiRewriteEnabled()) {
        auto* ai = new SettingsGroup(QStringLiteral("AI Privacy"), QStringLiteral("Private by default. AI only when you ask."), this);
        ai->contentLayout()->addWidget(new StatusLine(
            {QStringLiteral("AI only runs on selected content"),
             QStringLiteral("Tolvi sends selected text only when you press Fix Writing or Draft Reply. Clipboard "
                            "history is not processed automatically."),
             QStringLiteral("sparkles"), ColorToken::electricBlue},
            ai));
        column()->addWidget(ai);
        m_aiGroup = ai;
    }

    // 7. Automatic paste: the session offers a way to send keystrokes or not (XTEST, the
    // compositor's keyboard); there is no settings page to send the user to, so the only action is
    // to look again.
    auto* permissions = new SettingsGroup(QStringLiteral("Permissions"),
                                          m_d.permissions.texts().mechanism, this);
    m_permission = new StatusLine(SettingsPresentation::permissionStatus(m_d.permissions.canPostEvents(),
                                                                         m_d.permissions.texts().unavailableStatus),
                                  permissions);
    permissions->contentLayout()->addWidget(m_permission);
    QHBoxLayout* permissionButtons = buttonRow();
    QPushButton* checkAgain = addButton(permissionButtons, QStringLiteral("Check Again"), permissions);
    permissionButtons->addStretch(1);
    permissions->contentLayout()->addLayout(permissionButtons);
    column()->addWidget(permissions);
    m_d.permissions.refreshWhileShown(m_permission);
    connect(&m_d.permissions, &PermissionStatusStore::canPostEventsChanged, this, &PrivacySettingsPage::renderPermission);
    connect(checkAgain, &QPushButton::clicked, this, [this] {
        if (m_d.eventPostingPermission)
            renderPermission(m_d.eventPostingPermission());
    });

    // 8. Support.
    auto* support = new SettingsGroup(QStringLiteral("Support"),
                                      QStringLiteral("Send feedback without sharing clipboard history."), this);
    QHBoxLayout* supportButtons = buttonRow();
    const std::pair<const char*, const char*> mails[] = {{"Send Feedback...", "Tolvi Feedback"},
                                                         {"Request Feature...", "Tolvi Feature Request"},
                                                         {"Report Bug...", "Tolvi Bug Report"}};
    for (const auto& [title, subject] : mails) {
        QPushButton* button = addButton(supportButtons, QString::fromLatin1(title), support);
        const QString mailSubject = QString::fromLatin1(subject);
        connect(button, &QPushButton::clicked, this, [&actions, mailSubject] {
            if (actions.sendFeedback)
                actions.sendFeedback(mailSubject);
        });
    }
    QPushButton* supportPage = addButton(supportButtons, QStringLiteral("Open Support Page"), support);
    supportButtons->addStretch(1);
    support->contentLayout()->addLayout(supportButtons);
    connect(supportPage, &QPushButton::clicked, this, call(actions.openSupportPage));
    QHBoxLayout* diagnosticsRow = buttonRow();
    QPushButton* diagnostics = addButton(diagnosticsRow, QStringLiteral("Export Diagnostics..."), support);
    diagnosticsRow->addStretch(1);
    support->contentLayout()->addLayout(diagnosticsRow);
    connect(diagnostics, &QPushButton::clicked, this, withDialogs(actions.exportDiagnostics));
    support->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("The diagnostics report holds the app and system versions, your settings, clip and board "
                       "counts, the automatic-paste permission, and the names, identifiers and process IDs of the "
                       "selected paste destination and the app in front. It leaves out clipboard contents, window "
                       "titles, copied images and the names of excluded apps."),
        support));
    column()->addWidget(support);

    // 9. Counters.
    auto* usage = new SettingsGroup(QStringLiteral("Local Usage Counters"),
                                    QStringLiteral("Private counts that help you learn what gets used."), this);
    m_usage = new StatusLine({}, usage);
    usage->contentLayout()->addWidget(m_usage);
    m_counters = new QGridLayout();
    m_counters->setHorizontalSpacing(8);
    m_counters->setVerticalSpacing(8);
    m_counters->setColumnStretch(0, 1);
    m_counters->setColumnStretch(1, 1);
    usage->contentLayout()->addLayout(m_counters);
    QHBoxLayout* usageButtons = buttonRow();
    m_resetCounters = addButton(usageButtons, QStringLiteral("Reset Counters"), usage);
    QPushButton* usageDiagnostics = addButton(usageButtons, QStringLiteral("Export Diagnostics..."), usage);
    usageButtons->addStretch(1);
    usage->contentLayout()->addLayout(usageButtons);
    usage->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("Feature use is counted on this computer only. The counters never hold clipboard text, copied "
                       "images, source app names or the content of AI requests."),
        usage));
    column()->addWidget(usage);
    column()->addStretch(1);
    connect(usageDiagnostics, &QPushButton::clicked, this, withDialogs(actions.exportDiagnostics));
    connect(m_resetCounters, &QPushButton::clicked, this, [this] {
        QPointer<UsageMetricsStore> store(&m_d.usage);
        openConfirmation(m_host.dialogParent(), QStringLiteral("Reset local usage counters?"),
                         QStringLiteral("This clears only local feature counts. Clipboard history and settings stay "
                                        "untouched."),
                         QStringLiteral("Reset Counters"), [store] {
                             if (store)
                                 store->reset();
                         });
    });
    connect(&m_d.usage, &UsageMetricsStore::countsChanged, this, &PrivacySettingsPage::renderUsage);
    connect(&m_d.clipboardStore, &ClipboardStore::itemsChanged, this, &PrivacySettingsPage::renderHistory);

    renderHistory();
    renderExclusions();
    renderUsage();
}

QPushButton* PrivacySettingsPage::button(const QString& title) const
{
    for (QPushButton* candidate : findChildren<QPushButton*>()) {
        if (candidate->text() == title)
            return candidate;
    }
    return nullptr;
}

QStringList PrivacySettingsPage::counterTitles() const
{
    QStringList titles;
    for (QWidget* cell : m_counterCells)
        titles.append(static_cast<UsageCounterCell*>(cell)->title());
    return titles;
}

void PrivacySettingsPage::renderHistory()
{
    const bool empty = m_d.clipboardStore.itemCount() == 0;
    m_clearRecent->setEnabled(!empty);
    m_clearAll->setEnabled(!empty);
    m_export->setEnabled(!empty);
}

void PrivacySettingsPage::renderExclusions()
{
    const qsizetype count = m_d.exclusions.excludedApps().size();
    m_exclusions->setPresentation({SettingsPresentation::exclusionSummaryTitle(count),
                                   QStringLiteral("Apps that copy in the background may not be identified: pause "
                                                  "capture before sensitive copies from unknown sources."),
                                   count == 0 ? QStringLiteral("app.badge") : QStringLiteral("hand.raised.fill"),
                                   ColorToken::electricBlue});
}

void PrivacySettingsPage::renderPermission(bool canPostEvents)
{
    m_permission->setPresentation(
        SettingsPresentation::permissionStatus(canPostEvents, m_d.permissions.texts().unavailableStatus));
}

void PrivacySettingsPage::renderUsage()
{
    const UsageMetricsStore& usage = m_d.usage;
    const QList<UsageMetricCounter> counters = usage.counters();
    m_usage->setPresentation({SettingsPresentation::usageSummaryTitle(usage.totalCount()),
                              SettingsPresentation::usageSummaryDetail(counters), QStringLiteral("chart.bar.xaxis"),
                              ColorToken::electricBlue});
    m_resetCounters->setEnabled(usage.totalCount() > 0);
    for (QWidget* cell : m_counterCells)
        delete cell;
    m_counterCells.clear();
    int index = 0;
    for (const UsageMetricCounter& counter : counters) {
        if (counter.count < 1)
            continue;
        auto* cell = new UsageCounterCell(counter, this);
        m_counters->addWidget(cell, index / 2, index % 2);
        m_counterCells.append(cell);
        ++index;
    }
}

} // namespace tolvi
