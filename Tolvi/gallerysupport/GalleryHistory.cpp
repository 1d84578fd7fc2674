#include "Tolvi/gallerysupport/GalleryHistory.h"

#include <cerrno>

namespace tolvi::gallery {

GalleryHistory::GalleryHistory(ClipboardHistoryState initial)
    : m_initial(std::move(initial))
{
}

ClipboardHistoryState GalleryHistory::load()
{
    if (m_unreadable)
        throw PersistenceError::decoding(QStringLiteral("The history file is not valid JSON."));
    return m_initial;
}

void GalleryHistory::save(const ClipboardHistoryState&)
{
    {
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [this] { return !m_held; });
    }
    if (m_failingWrites)
        throw PersistenceError::system(ENOSPC, QStringLiteral("write"));
}

void GalleryHistory::hold()
{
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void GalleryHistory::release()
{
    std::lock_guard lock(m_mutex);
    m_held = false;
    m_released.notify_all();
}

} // namespace tolvi::gallery
