#include "Tolvi/history/HistoryHeader.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/clipviews/FirstFittingArrangement.h"
#include "Tolvi/history/HistoryFilterBars.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <functional>

namespace tolvi {

namespace {

constexpr int wideSpacing = 12;
constexpr int compactRowSpacing = 10;
constexpr int compactRows = 8;
constexpr int brandGap = 8;

struct CaptureStatus {
    QString title;
    QString detail;
    QString systemImage;
};

// The capture status as the preferences describe it, for the values the change signals bring
// (the store itself still holds the old ones while it announces a change).
CaptureStatus captureStatus(bool blocked, bool monitoring)
{
    if (blocked)
        return {QStringLiteral("Capture blocked"),
                QStringLiteral("Blocked because app exclusions could not be read. Open Settings, Exclusions to recover."),
                QStringLiteral("exclamationmark.triangle.fill")};
    if (monitoring)
        return {QStringLiteral("Capture on"), QStringLiteral("On"), QStringLiteral("record.circle")};
    return {QStringLiteral("Paused"), QStringLiteral("Paused"), QStringLiteral("pause.fill")};
}

// An arrangement of the header whose preferred size is worked out from the controls, whether
// they are inside it at the moment or inside the other arrangement.
class HeaderArrangement final : public QWidget {
public:
    HeaderArrangement(std::function<QSize()> preferred, QWidget* parent)
        : QWidget(parent), m_preferred(std::move(preferred))
    {
    }
    QSize sizeHint() const override { return m_preferred(); }
    QSize minimumSizeHint() const override { return {0, m_preferred().height()}; }

private:
    std::function<QSize()> m_preferred;
};

} // namespace

HistoryHeader::HistoryHeader(HistoryWindowState& state, PreferencesStore* preferences, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_preferences(preferences)
{
    setObjectName(QStringLiteral("historyHeader"));
    if (m_preferences) {
        m_appearance = m_preferences->appearance();
        m_captureBlocked = m_preferences->isCapturePrivacyBlocked();
        m_monitoringEnabled = m_preferences->isClipboardMonitoringEnabled();
    }

    m_brand = new QLabel(QStringLiteral("TOLVI"), this);
    m_brand->setTextFormat(Qt::PlainText);
    QFont brandFont = TolviDesign::font(TolviDesign::Typography::display);
    brandFont.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    m_brand->setFont(brandFont);
    m_brand->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    m_appearanceButton = new HistorySymbolButton(QStringLiteral("moon"), {28, 28}, 16, this);
    m_appearanceButton->setObjectName(QStringLiteral("appearanceButton"));
    connect(m_appearanceButton, &QAbstractButton::clicked, this, [this] {
        if (m_preferences)
            m_preferences->setAppearance(m_appearance == TolviAppearance::light ? TolviAppearance::dark
                                                                                 : TolviAppearance::light);
    });

    m_statusGroup = new QWidget(this);
    m_statusGroup->setObjectName(QStringLiteral("statusGroup"));
    auto* statusRow = new QHBoxLayout(m_statusGroup);
    statusRow->setContentsMargins(0, 0, 0, 0);
    statusRow->setSpacing(6);
    m_pill = new TolviStatusPill(QString(), std::nullopt, m_statusGroup);
    statusRow->addWidget(m_pill);
    m_statusGroup->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    m_utilityGroup = new QWidget(this);
    auto* utilityRow = new QHBoxLayout(m_utilityGroup);
    utilityRow->setContentsMargins(0, 0, 0, 0);
    utilityRow->setSpacing(12);
    auto utility = [this, utilityRow](const QString& symbol, const QString& label, const char* name) {
        auto* button = new HistorySymbolButton(symbol, {26, 26}, 15, m_utilityGroup);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(label);
        button->setToolTip(label);
        utilityRow->addWidget(button);
        return button;
    };
    m_newSnippet = utility(QStringLiteral("square.and.pencil"), QStringLiteral("New Snippet"), "newSnippetButton");
    m_quickStart = utility(QStringLiteral("questionmark.circle"), QStringLiteral("Quick Start"), "quickStartButton");
    m_clearHistory = utility(QStringLiteral("trash"), QStringLiteral("Clear history"), "clearHistoryButton");
    m_utilityGroup->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(m_newSnippet, &QAbstractButton::clicked, this, [this] {
        // Only where the window can show the editor, so it never reports itself blocked with
        // nothing on screen.
        if (m_state.canPresent(HistoryOverlay::newSnippet))
            m_state.setCreatingSnippet(true);
    });
    connect(m_quickStart, &QAbstractButton::clicked, this, [this] {
        if (m_state.actions().showSetup)
            m_state.actions().showSetup();
    });
    connect(m_clearHistory, &QAbstractButton::clicked, this, [this] { m_state.requestClearHistory(); });

    if (!m_preferences) {
        m_appearanceButton->hide();
        m_statusGroup->hide();
    }

    // Wide: brand, gap, theme switch, status, utilities in one row. Compact: brand, gap, theme
    // switch and utilities on top; the status alone at the leading edge below.
    // The preferred sizes count only the controls the header shows.
    auto shownWidth = [this](const QWidget* widget) { return isWanted(widget) ? widget->sizeHint().width() : 0; };
    auto shownHeight = [this](const QWidget* widget) { return isWanted(widget) ? widget->sizeHint().height() : 0; };
    auto rowWidth = [this, shownWidth](std::initializer_list<const QWidget*> widgets, int spacing) {
        int width = 0;
        int count = 0;
        for (const QWidget* widget : widgets) {
            if (!isWanted(widget))
                continue;
            width += shownWidth(widget);
            ++count;
        }
        // The gap after the brand is an item of its own, with spacing on both sides.
        return width + brandGap + spacing * count;
    };
    m_arrangements = new FirstFittingArrangement(this);
    m_wide = new HeaderArrangement(
        [=, this] {
            const int height = std::max({shownHeight(m_brand), shownHeight(m_appearanceButton),
                                         shownHeight(m_statusGroup), shownHeight(m_utilityGroup)});
            return QSize(rowWidth({m_brand, m_appearanceButton, m_statusGroup, m_utilityGroup}, wideSpacing), height);
        },
        m_arrangements);
    m_wideRow = new QHBoxLayout(m_wide);
    m_wideRow->setContentsMargins(0, 0, 0, 0);
    m_wideRow->setSpacing(wideSpacing);
    m_compact = new HeaderArrangement(
        [=, this] {
            const int top = std::max({shownHeight(m_brand), shownHeight(m_appearanceButton), shownHeight(m_utilityGroup)});
            const int bottom = shownHeight(m_statusGroup);
            return QSize(std::max(rowWidth({m_brand, m_appearanceButton, m_utilityGroup}, compactRowSpacing),
                                  shownWidth(m_statusGroup)),
                         bottom > 0 ? top + compactRows + bottom : top);
        },
        m_arrangements);
    auto* compactColumn = new QVBoxLayout(m_compact);
    compactColumn->setContentsMargins(0, 0, 0, 0);
    compactColumn->setSpacing(compactRows);
    m_compactTop = new QHBoxLayout;
    m_compactTop->setSpacing(compactRowSpacing);
    m_compactBottom = new QHBoxLayout;
    compactColumn->addLayout(m_compactTop);
    compactColumn->addLayout(m_compactBottom);
    connect(m_arrangements, &FirstFittingArrangement::arrangementChanged, this, &HistoryHeader::placeControls);
    m_arrangements->addArrangement(m_wide);
    m_arrangements->addArrangement(m_compact);
    placeControls(m_arrangements->currentIndex());

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 12, 22, 8);
    outer->setSpacing(0);
    outer->addWidget(m_arrangements);

    if (m_preferences) {
        connect(m_preferences, &PreferencesStore::appearanceChanged, this, &HistoryHeader::showAppearance);
        connect(m_preferences, &PreferencesStore::capturePrivacyBlockedChanged, this, [this](bool blocked) {
            m_captureBlocked = blocked;
            showCaptureStatus();
        });
        connect(m_preferences, &PreferencesStore::clipboardMonitoringEnabledChanged, this, [this](bool enabled) {
            m_monitoringEnabled = enabled;
            showCaptureStatus();
        });
    }
    connect(&m_state.store(), &ClipboardStore::itemsChanged, this, &HistoryHeader::updateButtons);
    connect(&m_state, &HistoryWindowState::overlayAvailabilityChanged, this, &HistoryHeader::updateButtons);
    connect(&m_state, &HistoryWindowState::overlaysChanged, this, &HistoryHeader::updateButtons);
    showAppearance(m_appearance);
    showCaptureStatus();
    updateButtons();
}

QAbstractButton* HistoryHeader::appearanceButton() const { return m_appearanceButton; }
QAbstractButton* HistoryHeader::newSnippetButton() const { return m_newSnippet; }
QAbstractButton* HistoryHeader::quickStartButton() const { return m_quickStart; }
QAbstractButton* HistoryHeader::clearHistoryButton() const { return m_clearHistory; }

bool HistoryHeader::isCompact() const
{
    return m_arrangements->currentArrangement() == m_compact;
}

bool HistoryHeader::isWanted(const QWidget* control) const
{
    return m_preferences || (control != m_appearanceButton && control != m_statusGroup);
}

void HistoryHeader::placeControls(int arrangement)
{
    for (QLayout* layout : std::initializer_list<QLayout*>{m_wideRow, m_compactTop, m_compactBottom}) {
        while (QLayoutItem* item = layout->takeAt(0))
            delete item;
    }
    if (arrangement == 0) {
        m_wideRow->addWidget(m_brand, 0, Qt::AlignVCenter);
        m_wideRow->addSpacing(brandGap + wideSpacing);
        m_wideRow->addStretch(1);
        m_wideRow->addWidget(m_appearanceButton, 0, Qt::AlignVCenter);
        m_wideRow->addWidget(m_statusGroup, 0, Qt::AlignVCenter);
        m_wideRow->addWidget(m_utilityGroup, 0, Qt::AlignVCenter);
    } else {
        m_compactTop->addWidget(m_brand, 0, Qt::AlignVCenter);
        m_compactTop->addSpacing(brandGap + compactRowSpacing);
        m_compactTop->addStretch(1);
        m_compactTop->addWidget(m_appearanceButton, 0, Qt::AlignVCenter);
        m_compactTop->addWidget(m_utilityGroup, 0, Qt::AlignVCenter);
        m_compactBottom->addWidget(m_statusGroup, 0, Qt::AlignVCenter);
        m_compactBottom->addStretch(1);
    }
    // Moving a widget into another parent hides it; the ones the header shows are shown again.
    for (QWidget* control : std::initializer_list<QWidget*>{m_brand, m_appearanceButton, m_statusGroup, m_utilityGroup})
        control->setVisible(isWanted(control));
}

void HistoryHeader::showAppearance(TolviAppearance appearance)
{
    m_appearance = appearance;
    const bool light = appearance == TolviAppearance::light;
    m_appearanceButton->setSystemImage(light ? QStringLiteral("moon") : QStringLiteral("sun.max"));
    const QString label = light ? QStringLiteral("Switch to Dark Glass") : QStringLiteral("Switch to Light Glass");
    m_appearanceButton->setAccessibleName(label);
    m_appearanceButton->setToolTip(label);
}

void HistoryHeader::showCaptureStatus()
{
    CaptureStatus status = captureStatus(m_captureBlocked, m_monitoringEnabled);
    // A session where capture cannot see every copy says so with the status.
    if (m_monitoringEnabled && !m_captureBlocked && m_preferences && !m_preferences->captureScopeNote().isEmpty())
        status.detail += QStringLiteral(". ") + m_preferences->captureScopeNote();
    m_pill->setTitle(status.title);
    m_pill->setSystemImage(status.systemImage);
    m_pill->setAccessibleName(QStringLiteral("Clipboard capture"));
    m_pill->setAccessibleDescription(status.detail);
    m_pill->setToolTip(status.detail);
    m_statusGroup->setAccessibleName(QStringLiteral("Clipboard status. Capture: ") + status.detail);
    // A longer title can make the one-row header too wide, or a shorter one let it fit again.
    m_wide->updateGeometry();
    m_compact->updateGeometry();
}

void HistoryHeader::updateButtons()
{
    m_newSnippet->setEnabled(m_state.canPresent(HistoryOverlay::newSnippet));
    m_quickStart->setEnabled(bool(m_state.actions().showSetup));
    m_clearHistory->setEnabled(m_state.store().itemCount() > 0
                               && m_state.canPresent(HistoryOverlay::clearHistoryConfirmation));
}

} // namespace tolvi
