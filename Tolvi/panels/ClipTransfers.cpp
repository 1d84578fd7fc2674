#include "Tolvi/panels/ClipTransfers.h"

#include "Tolvi/shell/UsageMetricsStore.h"

namespace tolvi {

bool ClipTransfers::beginPaste() const
{
    if (!owner)
        return false;
    if (closeWindow)
        closeWindow();
    usageMetrics->recordWithMilestone(UsageMetricEvent::pastePerformed);
    return true;
}

bool ClipTransfers::beginCopy() const
{
    if (!owner)
        return false;
    usageMetrics->record(UsageMetricEvent::copyPerformed);
    return true;
}

} // namespace tolvi
