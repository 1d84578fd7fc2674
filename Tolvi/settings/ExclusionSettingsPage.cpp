#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/settings/SettingsComponents.h"
#include "Tolvi/settings/SettingsPages.h"
#include "Tolvi/settings/WindowModalDialogs.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

// One excluded app: its symbol, name and identifier, and its Remove button, on a surface plate.
class ExcludedAppRow final : public QWidget {
public:
    ExcludedAppRow(const ExcludedApp& app, bool canRemove, std::function<void()> remove, QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("tolviExcludedAppRow"));
        setAccessibleName(app.name);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->setSpacing(10);
        layout->addWidget(new TolviIconTile(QStringLiteral("app"), ColorToken::electricBlue, this));
        auto* texts = new QVBoxLayout();
        texts->setSpacing(2);
        auto* name = new TokenLabel(app.name, Typography::bodyStrong, std::nullopt, this);
        name->setObjectName(QStringLiteral("tolviExcludedAppName"));
        texts->addWidget(name);
        auto* identifier = new ElidedLabel(app.bundleIdentifier, Typography::meta, ColorToken::muted, this);
        identifier->setObjectName(QStringLiteral("tolviExcludedAppIdentifier"));
        texts->addWidget(identifier);
        layout->addLayout(texts, 1);
        auto* button = new QPushButton(QStringLiteral("Remove"), this);
        button->setObjectName(QStringLiteral("tolviRemoveExclusion"));
        button->setEnabled(canRemove);
        connect(button, &QPushButton::clicked, this, std::move(remove));
        layout->addWidget(button);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedShape(QRectF(rect()), 10), DesignContext::of(this).color(ColorToken::surface));
    }
};

} // namespace

ExclusionSettingsPage::ExclusionSettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent)
    : SettingsPage(dependencies, host, parent)
{
    auto* group = new SettingsGroup(QStringLiteral("App Exclusions"),
                                    QStringLiteral("Copies made while one of these apps is in front stay out of "
                                                   "history."),
                                    this);

    m_block = new QWidget(group);
    m_block->setObjectName(QStringLiteral("tolviUnreadableExclusions"));
    auto* block = new QVBoxLayout(m_block);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(8);
    auto* blockTitle = new QHBoxLayout();
    blockTitle->setSpacing(6);
    blockTitle->addWidget(new SymbolView(QStringLiteral("hand.raised.fill"), ColorToken::amber, 16, 1, m_block));
    blockTitle->addWidget(new TokenLabel(QStringLiteral("Capture is blocked"), Typography::bodyStrong, std::nullopt, m_block));
    blockTitle->addStretch(1);
    block->addLayout(blockTitle);
    block->addWidget(settingsCaption(QStringLiteral("Saved app exclusions could not be read. Their original data has "
                                                    "been kept. Retry loading or reset exclusions to resume capture."),
                                     m_block));
    auto* blockButtons = new QHBoxLayout();
    blockButtons->setSpacing(10);
    m_retry = new QPushButton(QStringLiteral("Retry Loading"), m_block);
    m_reset = new QPushButton(QStringLiteral("Reset Exclusions\u2026"), m_block);
    blockButtons->addWidget(m_retry);
    blockButtons->addWidget(m_reset);
    blockButtons->addStretch(1);
    block->addLayout(blockButtons);
    group->contentLayout()->addWidget(m_block);

    auto* chooseRow = new QHBoxLayout();
    m_choose = new QPushButton(QStringLiteral("Choose App to Exclude\u2026"), group);
    chooseRow->addWidget(m_choose);
    chooseRow->addStretch(1);
    group->contentLayout()->addLayout(chooseRow);
    group->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("Tolvi skips capture while an excluded app is in front. Apps that copy in the background may not "
                       "be identified; pause capture before sensitive copies."),
        group));

    m_empty = new TokenLabel(QStringLiteral("No excluded apps"), Typography::body, DesignColor(ColorToken::muted), group);
    group->contentLayout()->addWidget(m_empty);
    m_list = new QVBoxLayout();
    m_list->setSpacing(8);
    group->contentLayout()->addLayout(m_list);
    column()->addWidget(group);
    column()->addStretch(1);

    AppExclusionStore& exclusions = m_d.exclusions;
    connect(m_retry, &QPushButton::clicked, &exclusions, [&exclusions] { exclusions.load(); });
    connect(m_reset, &QPushButton::clicked, this, &ExclusionSettingsPage::confirmReset);
    connect(m_choose, &QPushButton::clicked, this, [this] { m_host.chooseExcludedApp(); });
    connect(&exclusions, &AppExclusionStore::excludedAppsChanged, this, &ExclusionSettingsPage::render);
    connect(&exclusions, &AppExclusionStore::loadIssueChanged, this, &ExclusionSettingsPage::render);
    render();
}

void ExclusionSettingsPage::confirmReset()
{
    AppExclusionStore& exclusions = m_d.exclusions;
    QPointer<AppExclusionStore> store(&exclusions);
    openConfirmation(m_host.dialogParent(), QStringLiteral("Reset saved app exclusions?"),
                     QStringLiteral("This clears all saved app exclusions, including the unreadable settings, and allows "
                                    "capture to resume. Pause capture first if you do not want it to resume."),
                     QStringLiteral("Reset Exclusions"), [store] {
                         if (store)
                             store->resetUnreadableSettings();
                     });
}

void ExclusionSettingsPage::render()
{
    const AppExclusionStore& exclusions = m_d.exclusions;
    const bool unreadable = exclusions.loadIssue().has_value();
    m_block->setVisible(unreadable);
    m_choose->setEnabled(!unreadable);
    m_empty->setVisible(!unreadable && exclusions.excludedApps().isEmpty());

    for (QWidget* row : m_rows)
        row->deleteLater();
    m_rows.clear();
    for (const ExcludedApp& app : exclusions.excludedApps()) {
        SettingsActions& actions = m_d.actions;
        auto* row = new ExcludedAppRow(app, !unreadable, [&actions, app] {
            if (actions.removeExclusion)
                actions.removeExclusion(app);
        }, this);
        m_list->addWidget(row);
        m_rows.append(row);
    }
}

} // namespace tolvi
