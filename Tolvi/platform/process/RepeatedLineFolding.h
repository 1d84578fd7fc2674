#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

namespace tolvi {

// Decides which log lines of a flood are written. A kind of line (its category and text) is
// written as often as it comes until it comes more than `burst` times within one `window`; from
// then on its lines are counted, and each window that counted any ends with one summary of how
// many there were. A window without a line of the kind ends the folding: the next one is written
// again. Lines that come at the pace of a person's copies are therefore each written; a program
// that flips the clipboard a thousand times a second costs a few lines every few seconds.
//
// Not thread-safe; the caller holds its own lock. Times come from the caller.
class RepeatedLineFolding {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::chrono::milliseconds window{5000};
        int burst = 10;
        // At most this many kinds are followed at once; lines of further kinds are all written.
        std::size_t kinds = 256;
    };

    // The lines of a kind counted in a window that has ended.
    struct Folded {
        QString kind;
        int count = 0;
    };

    explicit RepeatedLineFolding(Limits limits);
    RepeatedLineFolding() : RepeatedLineFolding(Limits{}) {}

    // Whether a line of this kind, coming now, is written (false: it was counted). The kind's
    // summary of a window that ended before now, if any, is appended to `ended` first.
    bool admit(const QString& kind, Clock::time_point now, std::vector<Folded>& ended);

    // The summaries of every window that ended by now; kinds whose window counted nothing are
    // forgotten.
    std::vector<Folded> takeEnded(Clock::time_point now);
    // When the next window that holds a count ends; nothing when none does.
    std::optional<Clock::time_point> nextEnd() const;

    std::chrono::milliseconds window() const { return limits_.window; }

private:
    struct Kind {
        Clock::time_point windowEnd;
        int written = 0;
        int counted = 0;
        bool folding = false;
    };

    Limits limits_;
    QHash<QString, Kind> kinds_;
};

} // namespace tolvi
