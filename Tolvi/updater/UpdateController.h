#pragma once

namespace tolvi {

// The update machinery behind AppUpdater: the automatic-check setting and the two kinds
// of check. A background check is silent unless it finds an update; a user-initiated
// check always reports its result.
class UpdateController {
public:
    virtual ~UpdateController();
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool enabled) = 0;
    virtual void checkForUpdatesInBackground() = 0;
    virtual void checkForUpdates() = 0;
};

} // namespace tolvi
