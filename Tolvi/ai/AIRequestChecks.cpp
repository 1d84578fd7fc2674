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
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http"))
        && !url.host().isEmpty();
}

} // namespace tolvi
