#include "Tolvi/ai/AIRequestChecks.h"

namespace tolvi {

bool containsControlCharacter(const QString& text)
{
    for (QChar character : text) {
        if (character.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

bool isSendableEndpoint(const QUrl& url)
{
    return url.isValid() && url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
        && !url.host().isEmpty();
}

} // namespace tolvi
