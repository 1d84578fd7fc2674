#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tolvi {

// Things the program counts locally. The raw value (the case name) names the saved counter.
enum class UsageMetricEvent {
    fullHistoryOpened,
    compactModeOpened,
    pastePerformed,
    copyPerformed,
    richPreviewOpened,
    quickEditSaved,
    snippetCreated,
    boardAssignmentChanged,
    updateCheckStarted,
    setupOpened,
    setupCompleted,
    onboardingDemoStarted,
    firstCompactModeOpened,
    firstPasteCompleted,
    firstSnippetCreated,
    firstPreviewOpened,
    screenshotDemoPrepared,
    feedbackOpened,
    diagnosticsExported,
};

namespace usagemetric {

inline constexpr std::array<UsageMetricEvent, 19> allCases = {
    UsageMetricEvent::fullHistoryOpened,      UsageMetricEvent::compactModeOpened,
    UsageMetricEvent::pastePerformed,         UsageMetricEvent::copyPerformed,
    UsageMetricEvent::richPreviewOpened,      UsageMetricEvent::quickEditSaved,
    UsageMetricEvent::snippetCreated,         UsageMetricEvent::boardAssignmentChanged,
    UsageMetricEvent::updateCheckStarted,     UsageMetricEvent::setupOpened,
    UsageMetricEvent::setupCompleted,         UsageMetricEvent::onboardingDemoStarted,
    UsageMetricEvent::firstCompactModeOpened, UsageMetricEvent::firstPasteCompleted,
    UsageMetricEvent::firstSnippetCreated,    UsageMetricEvent::firstPreviewOpened,
    UsageMetricEvent::screenshotDemoPrepared, UsageMetricEvent::feedbackOpened,
    UsageMetricEvent::diagnosticsExported,
};

QString rawValue(UsageMetricEvent event);
std::optional<UsageMetricEvent> fromRawValue(QStringView raw);
// The title settings and the diagnostics report show, e.g. "Pastes".
QString title(UsageMetricEvent event);
// The symbol name of the event's icon, e.g. "arrow.turn.down.left".
QString systemImage(UsageMetricEvent event);
// The "first ..." milestone recorded after an ordinary event while the milestone's count is 0.
std::optional<UsageMetricEvent> milestone(UsageMetricEvent event);

} // namespace usagemetric

// One event with its count.
struct UsageMetricCounter {
    UsageMetricEvent event;
    qint64 count = 0;

    QString id() const { return usagemetric::rawValue(event); }
    friend bool operator==(const UsageMetricCounter&, const UsageMetricCounter&) = default;
};

} // namespace tolvi
