#pragma once

#include "Tolvi/platform/desktop/Workspace.h"

#include <functional>

namespace tolvi {

// A workspace whose front application the test sets.
class FakeWorkspace final : public Workspace {
public:
    void setFrontmost(std::optional<RunningApplication> application) { frontmost_ = std::move(application); }
    // Called on every look-up, before the answer is given (lets a test change the answer mid-way).
    void setOnLookup(std::function<void()> callback) { onLookup_ = std::move(callback); }
    int lookupCount() const { return lookupCount_; }

    std::optional<RunningApplication> frontmostApplication() override;

    void setRunning(QList<RunningApplication> applications) { running_ = std::move(applications); }
    QList<RunningApplication> runningApplications() override { return running_; }

private:
    QList<RunningApplication> running_;
    std::optional<RunningApplication> frontmost_;
    std::function<void()> onLookup_;
    int lookupCount_ = 0;
};

} // namespace tolvi
