#include "Tolvi/settings/SettingsPages.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/settings/SettingsComponents.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

QHBoxLayout* row(int spacing = 10)
{
    auto* layout = new QHBoxLayout();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// A label, then the control beside it: the form rows of the pickers.
QHBoxLayout* labelledRow(const QString& title, QWidget* control, QWidget* parent)
{
    QHBoxLayout* layout = row();
    auto* label = new TokenLabel(title, Typography::body, std::nullopt, parent);
    label->setBuddy(control);
    layout->addWidget(label);
    layout->addWidget(control);
    layout->addStretch(1);
    return layout;
}

// "Current" or "Stored now" in muted text, a flexible space, and a badge.
QHBoxLayout* badgeRow(const QString& title, TolviBadge* badge, QWidget* parent)
{
    QHBoxLayout* layout = row();
    layout->addWidget(new TokenLabel(title, Typography::body, DesignColor(ColorToken::muted), parent));
    layout->addStretch(1);
    layout->addWidget(badge);
    return layout;
}

QCheckBox* toggle(const QString& title, QWidget* parent)
{
    auto* box = new QCheckBox(QString(title).replace(QLatin1Char('&'), QLatin1String("&&")), parent);
    box->setFont(TolviDesign::font(Typography::body));
    return box;
}

} // namespace

SettingsPage::SettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent)
    : QWidget(parent)
    , m_d(dependencies)
    , m_host(host)
{
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(22, 22, 22, 22);
    m_column->setSpacing(16);
}

// General -------------------------------------------------------------------------------------

GeneralSettingsPage::GeneralSettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent)
    : SettingsPage(dependencies, host, parent)
    , m_hotKeyEnabled(dependencies.preferences.isGlobalHotKeyEnabled())
    , m_shortcut(dependencies.preferences.globalShortcut())
{
    PreferencesStore& preferences = m_d.preferences;

    auto* appearance = new SettingsGroup(QStringLiteral("Appearance"), QStringLiteral("Liquid glass, in light or dark."), this);
    m_appearance = new QButtonGroup(this);
    m_appearance->setExclusive(true);
    QHBoxLayout* segments = row(0);
    for (TolviAppearance value : appearance::allCases) {
        auto* segment = new QPushButton(value == TolviAppearance::light ? QStringLiteral("Light Glass")
                                                                       : QStringLiteral("Dark Glass"),
                                        appearance);
        segment->setCheckable(true);
        segment->setAccessibleDescription(QStringLiteral("Appearance"));
        m_appearance->addButton(segment, int(value));
        segments->addWidget(segment);
    }
    segments->addStretch(1);
    appearance->contentLayout()->addLayout(segments);
    column()->addWidget(appearance);

    auto* shortcut = new SettingsGroup(QStringLiteral("Global Shortcut"), QStringLiteral("Open Tolvi from anywhere."), this);
    m_hotKeyToggle = toggle(QStringLiteral("Enable global shortcut"), shortcut);
    shortcut->contentLayout()->addWidget(m_hotKeyToggle);
    m_shortcutPicker = new QComboBox(shortcut);
    for (GlobalShortcutPreset preset : globalshortcut::allCases)
        m_shortcutPicker->addItem(globalshortcut::displayName(preset), int(preset));
    shortcut->contentLayout()->addLayout(labelledRow(QStringLiteral("Shortcut"), m_shortcutPicker, shortcut));
    m_errorLine = new QWidget(shortcut);
    QHBoxLayout* errorLayout = row(6);
    m_errorLine->setLayout(errorLayout);
    const QColor orange(0xff, 0x95, 0x00);
    errorLayout->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle"), orange, 16, 1, m_errorLine),
                           0, Qt::AlignTop);
    m_errorText = new TokenLabel(QString(), Typography::body, DesignColor(orange), m_errorLine);
    m_errorText->setWordWrap(true);
    errorLayout->addWidget(m_errorText, 1);
    shortcut->contentLayout()->addWidget(m_errorLine);
    m_currentBadge = new TolviBadge(QString(), QStringLiteral("keyboard"), ColorToken::electricBlue, shortcut);
    shortcut->contentLayout()->addLayout(badgeRow(QStringLiteral("Current"), m_currentBadge, shortcut));
    // Which route the shortcuts take in this session, and the commands to bind to keys.
    const ShortcutAccess access = m_d.shortcutAccess ? m_d.shortcutAccess() : ShortcutAccess{};
    m_accessSummary = new TokenLabel(access.summary(), Typography::body, DesignColor(ColorToken::muted), shortcut);
    m_accessSummary->setWordWrap(true);
    shortcut->contentLayout()->addWidget(m_accessSummary);
    for (const QString& command : access.commandLines()) {
        auto* line = new TokenLabel(command, Typography::meta, std::nullopt, shortcut);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        line->setAccessibleName(QStringLiteral("Command line"));
        m_commandLines.append(line);
        shortcut->contentLayout()->addWidget(line);
    }
    column()->addWidget(shortcut);

    auto* window = new SettingsGroup(QStringLiteral("Window"),
                                     QStringLiteral("Jump back into your clipboard command center."), this);
    QHBoxLayout* windowButtons = row();
    auto* openHistory = new QPushButton(QStringLiteral("Open History Panel"), window);
    auto* quickStart = new QPushButton(QStringLiteral("Show Quick Start"), window);
    windowButtons->addWidget(openHistory);
    windowButtons->addWidget(quickStart);
    windowButtons->addStretch(1);
    window->contentLayout()->addLayout(windowButtons);
    column()->addWidget(window);

    auto* keyboard = new SettingsGroup(QStringLiteral("Keyboard Shortcuts"), QStringLiteral("The daily-driver commands."), this);
    keyboard->contentLayout()->setSpacing(8);
    for (const auto& [title, keys] : SettingsPresentation::keyboardRows(m_shortcut)) {
        QHBoxLayout* line = row();
        line->addWidget(new TokenLabel(title, Typography::body, std::nullopt, keyboard));
        line->addStretch(1);
        auto* badge = new TolviBadge(keys, QStringLiteral("keyboard"), ColorToken::electricBlue, keyboard);
        m_rowBadges.append(badge);
        line->addWidget(badge);
        keyboard->contentLayout()->addLayout(line);
    }
    column()->addWidget(keyboard);
    column()->addStretch(1);

    // The user's choices go straight into the preferences.
    connect(m_appearance, &QButtonGroup::idClicked, &preferences,
            [&preferences](int id) { preferences.setAppearance(TolviAppearance(id)); });
    connect(m_hotKeyToggle, &QCheckBox::clicked, &preferences,
            [&preferences](bool checked) { preferences.setGlobalHotKeyEnabled(checked); });
    connect(m_shortcutPicker, &QComboBox::activated, &preferences, [this, &preferences](int index) {
        preferences.setGlobalShortcut(GlobalShortcutPreset(m_shortcutPicker->itemData(index).toInt()));
    });
    SettingsActions& actions = m_d.actions;
    connect(openHistory, &QPushButton::clicked, this, [&actions] {
        if (actions.showHistory)
            actions.showHistory();
    });
    connect(quickStart, &QPushButton::clicked, this, [&actions] {
        if (actions.showSetup)
            actions.showSetup();
    });

    // The preferences announce a value before they hold it: render the announced one.
    connect(&preferences, &PreferencesStore::appearanceChanged, this, &GeneralSettingsPage::renderAppearance);
    connect(&preferences, &PreferencesStore::globalHotKeyEnabledChanged, this, [this](bool enabled) {
        m_hotKeyEnabled = enabled;
        renderShortcut();
    });
    connect(&preferences, &PreferencesStore::globalShortcutChanged, this, [this](GlobalShortcutPreset value) {
        m_shortcut = value;
        renderShortcut();
    });
    connect(&preferences, &PreferencesStore::globalHotKeyErrorChanged, this, &GeneralSettingsPage::renderError);

    renderAppearance(preferences.appearance());
    renderShortcut();
    renderError(preferences.globalHotKeyError());
}

QAbstractButton* GeneralSettingsPage::appearanceButton(TolviAppearance appearance) const
{
    return m_appearance->button(int(appearance));
}

QString GeneralSettingsPage::hotKeyErrorText() const
{
    return m_errorText->text();
}

QString GeneralSettingsPage::shortcutAccessText() const
{
    QStringList lines{m_accessSummary->text()};
    for (const TokenLabel* line : m_commandLines)
        lines.append(line->text());
    return lines.join(QLatin1Char('\n'));
}

QStringList GeneralSettingsPage::keyboardRowKeys() const
{
    QStringList keys;
    for (const TolviBadge* badge : m_rowBadges)
        keys.append(badge->title());
    return keys;
}

void GeneralSettingsPage::renderAppearance(TolviAppearance value)
{
    if (QAbstractButton* button = m_appearance->button(int(value)))
        button->setChecked(true);
}

void GeneralSettingsPage::renderShortcut()
{
    m_hotKeyToggle->setChecked(m_hotKeyEnabled);
    m_shortcutPicker->setCurrentIndex(m_shortcutPicker->findData(int(m_shortcut)));
    m_shortcutPicker->setEnabled(m_hotKeyEnabled);
    m_currentBadge->setTitle(SettingsPresentation::currentShortcutBadge(m_hotKeyEnabled, m_shortcut));
    const QList<std::pair<QString, QString>> rows = SettingsPresentation::keyboardRows(m_shortcut);
    for (qsizetype i = 0; i < m_rowBadges.size() && i < rows.size(); ++i)
        m_rowBadges.at(i)->setTitle(rows.at(i).second);
}

void GeneralSettingsPage::renderError(const std::optional<QString>& error)
{
    m_errorText->setText(error.value_or(QString()));
    m_errorLine->setVisible(error.has_value());
}

// Capture -------------------------------------------------------------------------------------

CaptureSettingsPage::CaptureSettingsPage(SettingsDependencies& dependencies, SettingsHost& host, QWidget* parent)
    : SettingsPage(dependencies, host, parent)
    , m_isRecording(dependencies.preferences.isClipboardMonitoringEnabled())
    , m_capturesText(dependencies.preferences.capturesText())
    , m_capturesImages(dependencies.preferences.capturesImages())
    , m_isBlocked(dependencies.preferences.isCapturePrivacyBlocked())
{
    PreferencesStore& preferences = m_d.preferences;

    auto* capture = new SettingsGroup(QStringLiteral("Capture"), QStringLiteral("Choose what Tolvi records."), this);
    m_record = toggle(QStringLiteral("Record clipboard history"), capture);
    m_text = toggle(QStringLiteral("Capture copied text"), capture);
    m_images = toggle(QStringLiteral("Capture copied images and screenshots"), capture);
    m_noTypes = new StatusLine(SettingsPresentation::noClipTypesStatus(), capture);
    for (QWidget* widget : std::initializer_list<QWidget*>{m_record, m_text, m_images, m_noTypes})
        capture->contentLayout()->addWidget(widget);
    column()->addWidget(capture);

    auto* limit = new SettingsGroup(QStringLiteral("History Limit"),
                                    QStringLiteral("Choose the recent clip cap for this computer."), this);
    m_limit = new QComboBox(limit);
    for (HistoryLimitPreference value : historylimit::allCases)
        m_limit->addItem(historylimit::title(value), int(value));
    m_limit->setCurrentIndex(m_limit->findData(int(preferences.historyLimit())));
    limit->contentLayout()->addLayout(labelledRow(QStringLiteral("Keep"), m_limit, limit));
    limit->contentLayout()->addWidget(settingsCaption(
        QStringLiteral("Limits apply when new clips arrive. Older unpinned clips may also be removed above a 500 MB "
                       "content budget. Pinned clips are retained and can exceed that budget. The history file can "
                       "be larger than its content size."),
        limit));
    m_stored = new TolviBadge(SettingsPresentation::storedItems(m_d.clipboardStore.itemCount()),
                              QStringLiteral("clock.arrow.circlepath"), ColorToken::electricBlue, limit);
    limit->contentLayout()->addLayout(badgeRow(QStringLiteral("Stored now"), m_stored, limit));
    column()->addWidget(limit);

    auto* ocr = new SettingsGroup(QStringLiteral("OCR"), QStringLiteral("Make screenshot text searchable locally."), this);
    m_ocr = new StatusLine(SettingsPresentation::ocrStatus(m_isRecording, m_capturesImages, m_isBlocked), ocr);
    ocr->contentLayout()->addWidget(m_ocr);
    column()->addWidget(ocr);
    column()->addStretch(1);

    connect(m_record, &QCheckBox::clicked, &preferences,
            [&preferences](bool checked) { preferences.setClipboardMonitoringEnabled(checked); });
    connect(m_text, &QCheckBox::clicked, &preferences,
            [&preferences](bool checked) { preferences.setCapturesText(checked); });
    connect(m_images, &QCheckBox::clicked, &preferences,
            [&preferences](bool checked) { preferences.setCapturesImages(checked); });
    connect(m_limit, &QComboBox::activated, &preferences, [this, &preferences](int index) {
        preferences.setHistoryLimit(HistoryLimitPreference(m_limit->itemData(index).toInt()));
    });

    connect(&preferences, &PreferencesStore::clipboardMonitoringEnabledChanged, this, [this](bool value) {
        m_isRecording = value;
        render();
    });
    connect(&preferences, &PreferencesStore::capturesTextChanged, this, [this](bool value) {
        m_capturesText = value;
        render();
    });
    connect(&preferences, &PreferencesStore::capturesImagesChanged, this, [this](bool value) {
        m_capturesImages = value;
        render();
    });
    connect(&preferences, &PreferencesStore::capturePrivacyBlockedChanged, this, [this](bool value) {
        m_isBlocked = value;
        render();
    });
    connect(&preferences, &PreferencesStore::historyLimitChanged, this,
            [this](HistoryLimitPreference value) { m_limit->setCurrentIndex(m_limit->findData(int(value))); });
    // The count is the store's own, kept as the list changes: reading it costs nothing.
    connect(&m_d.clipboardStore, &ClipboardStore::itemsChanged, this,
            [this] { m_stored->setTitle(SettingsPresentation::storedItems(m_d.clipboardStore.itemCount())); });

    render();
}

void CaptureSettingsPage::render()
{
    m_record->setChecked(m_isRecording);
    m_text->setChecked(m_capturesText);
    m_images->setChecked(m_capturesImages);
    m_text->setEnabled(m_isRecording);
    m_images->setEnabled(m_isRecording);
    m_noTypes->setVisible(!m_capturesText && !m_capturesImages);
    m_ocr->setPresentation(SettingsPresentation::ocrStatus(m_isRecording, m_capturesImages, m_isBlocked));
}

} // namespace tolvi
