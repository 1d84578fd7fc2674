#pragma once

#include "TolviCore/model/Pinboard.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tolvi::gallery {

// A history held in memory for the screenshot programs. It loads as the given state (no clips
// and the default boards unless told otherwise), or fails to load as a damaged file does; its
// writes keep nothing, and can fail as on a full disk or wait while held, as a large history's
// write takes its time.
class GalleryHistory final : public ClipboardHistoryPersisting {
public:
    explicit GalleryHistory(ClipboardHistoryState initial = {{}, DefaultPinboards::all()});

    ClipboardHistoryState load() override;
    void save(const ClipboardHistoryState& state) override;

    void setUnreadable(bool unreadable) { m_unreadable = unreadable; }
    void setFailingWrites(bool failing) { m_failingWrites = failing; }
    // Writes wait from hold() until release().
    void hold();
    void release();

private:
    ClipboardHistoryState m_initial;
    std::atomic<bool> m_unreadable = false;
    std::atomic<bool> m_failingWrites = false;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
};

} // namespace tolvi::gallery
