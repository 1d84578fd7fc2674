#include "Tolvi/shell/UsageMetricEvent.h"

namespace tolvi::usagemetric {

namespace {

struct EventInfo {
    const char* rawValue;
    const char* title;
    const char* systemImage;
};

// In case order.
constexpr EventInfo kEvents[] = {
    {"fullHistoryOpened", "Full window opened", "rectangle.split.2x1"},
    {"compactModeOpened", "Compact Mode opened", "bolt.fill"},
    {"pastePerformed", "Pastes", "arrow.turn.down.left"},
    {"copyPerformed", "Copies", "doc.on.doc"},
    {"richPreviewOpened", "Rich previews", "eye"},
    {"quickEditSaved", "Quick edits saved", "pencil.line"},
    {"snippetCreated", "Snippets created", "square.and.pencil"},
    {"boardAssignmentChanged", "Board changes", "square.grid.2x2"},
    {"updateCheckStarted", "Update checks", "arrow.triangle.2.circlepath"},
    {"setupOpened", "Quick Start opened", "questionmark.circle"},
    {"setupCompleted", "Quick Start completed", "checkmark.circle"},
    {"onboardingDemoStarted", "Onboarding demo started", "play.circle"},
    {"firstCompactModeOpened", "First Compact Mode", "bolt.circle"},
    {"firstPasteCompleted", "First paste", "arrow.turn.down.left.circle"},
    {"firstSnippetCreated", "First snippet", "square.and.pencil.circle"},
    {"firstPreviewOpened", "First rich preview", "eye.circle"},
    {"screenshotDemoPrepared", "Screenshot demo prepared", "camera.viewfinder"},
    {"feedbackOpened", "Feedback opened", "paperplane"},
    {"diagnosticsExported", "Diagnostics exported", "stethoscope"},
};
static_assert(std::size(kEvents) == allCases.size());

const EventInfo& info(UsageMetricEvent event)
{
    return kEvents[static_cast<std::size_t>(event)];
}

} // namespace

QString rawValue(UsageMetricEvent event)
{
    return QString::fromLatin1(info(event).rawValue);
}

std::optional<UsageMetricEvent> fromRawValue(QStringView raw)
{
    for (UsageMetricEvent event : allCases) {
        if (raw == QLatin1String(info(event).rawValue))
            return event;
    }
    return std::nullopt;
}

QString title(UsageMetricEvent event)
{
    return QString::fromLatin1(info(event).title);
}

QString systemImage(UsageMetricEvent event)
{
    return QString::fromLatin1(info(event).systemImage);
}

std::optional<UsageMetricEvent> milestone(UsageMetricEvent event)
{
    switch (event) {
    case UsageMetricEvent::pastePerformed:
        return UsageMetricEvent::firstPasteCompleted;
    case UsageMetricEvent::compactModeOpened:
        return UsageMetricEvent::firstCompactModeOpened;
    case UsageMetricEvent::richPreviewOpened:
        return UsageMetricEvent::firstPreviewOpened;
    case UsageMetricEvent::snippetCreated:
        return UsageMetricEvent::firstSnippetCreated;
    default:
        return std::nullopt;
    }
}

} // namespace tolvi::usagemetric
