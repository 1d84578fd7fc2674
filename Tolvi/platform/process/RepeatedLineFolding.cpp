#include "Tolvi/platform/process/RepeatedLineFolding.h"

namespace tolvi {

RepeatedLineFolding::RepeatedLineFolding(Limits limits) : limits_(limits) {}

bool RepeatedLineFolding::admit(const QString& kind, Clock::time_point now, std::vector<Folded>& ended)
{
    auto it = kinds_.find(kind);
    if (it != kinds_.end() && now >= it->windowEnd) {
        if (it->counted == 0) {
            kinds_.erase(it);
            it = kinds_.end();
        } else {
            // Still flooding: the count so far is told, and this line opens the next window's.
            ended.push_back({kind, it->counted});
            it->counted = 0;
            it->windowEnd = now + limits_.window;
        }
    }
    if (it == kinds_.end()) {
        if (std::size_t(kinds_.size()) >= limits_.kinds)
            return true;
        kinds_.insert(kind, Kind{now + limits_.window, 1, 0, false});
        return true;
    }
    if (!it->folding && it->written < limits_.burst) {
        ++it->written;
        return true;
    }
    it->folding = true;
    ++it->counted;
    return false;
}

std::vector<RepeatedLineFolding::Folded> RepeatedLineFolding::takeEnded(Clock::time_point now)
{
    std::vector<Folded> ended;
    for (auto it = kinds_.begin(); it != kinds_.end();) {
        if (now < it->windowEnd) {
            ++it;
        } else if (it->counted == 0) {
            it = kinds_.erase(it);
        } else {
            ended.push_back({it.key(), it->counted});
            it->counted = 0;
            it->windowEnd = now + limits_.window;
            ++it;
        }
    }
    return ended;
}

std::optional<RepeatedLineFolding::Clock::time_point> RepeatedLineFolding::nextEnd() const
{
    std::optional<Clock::time_point> next;
    for (const Kind& kind : kinds_)
        if (kind.counted > 0 && (!next || kind.windowEnd < *next))
            next = kind.windowEnd;
    return next;
}

} // namespace tolvi
