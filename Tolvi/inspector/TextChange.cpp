#include "Tolvi/inspector/TextChange.h"

#include <algorithm>
#include <cstring>

namespace tolvi {

TextChange TextChange::between(QStringView before, QStringView after)
{
    constexpr qsizetype block = 1024;
    const qsizetype shorter = std::min(before.size(), after.size());
    const char16_t* x = before.utf16();
    const char16_t* y = after.utf16();
    TextChange change;
    qsizetype& i = change.prefix;
    while (i + block <= shorter && std::memcmp(x + i, y + i, block * sizeof(char16_t)) == 0)
        i += block;
    while (i < shorter && x[i] == y[i])
        ++i;
    const qsizetype limit = shorter - change.prefix;
    const char16_t* xEnd = x + before.size();
    const char16_t* yEnd = y + after.size();
    qsizetype& j = change.suffix;
    while (j + block <= limit && std::memcmp(xEnd - j - block, yEnd - j - block, block * sizeof(char16_t)) == 0)
        j += block;
    while (j < limit && xEnd[-j - 1] == yEnd[-j - 1])
        ++j;
    return change;
}

} // namespace tolvi
