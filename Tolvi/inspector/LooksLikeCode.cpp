#include "Tolvi/inspector/LooksLikeCode.h"

namespace tolvi {

bool looksLikeCode(QStringView text)
{
    static constexpr QStringView markers[] = {u"```", u"func ", u"let ", u"const ", u"=>", u"{", u"</"};
    for (QStringView marker : markers) {
        if (text.contains(marker))
            return true;
    }
    return false;
}

} // namespace tolvi
