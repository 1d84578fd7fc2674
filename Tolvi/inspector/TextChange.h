#pragma once

#include <QStringView>

namespace tolvi {

// Where two versions of a text differ: the length of what they share at the start and, after
// that, at the end. Compared a block at a time, so a million characters take a fraction of a
// millisecond.
struct TextChange {
    qsizetype prefix = 0;
    qsizetype suffix = 0;

    static TextChange between(QStringView before, QStringView after);
    bool isNone(QStringView before, QStringView after) const
    {
        return prefix == before.size() && prefix == after.size();
    }
};

} // namespace tolvi
