#include "Tolvi/ai/TolviAIBackendConfiguration.h"

#include "Tolvi/ai/AIRequestChecks.h"

#include <QStringList>

namespace tolvi {

QString TolviAIBackendConfiguration::defaultEndpointURL()
{
    return QStringLiteral("https://ai.tolvi.app/api/ai/rewrite");
}

QUrl TolviAIBackendConfiguration::endpoint() const
{
    if (endpointURLValue) {
        const QString trimmed = endpointURLValue->trimmed();
        if (!trimmed.isEmpty()) {
            const QUrl url(trimmed, QUrl::StrictMode);
            return isSendableEndpoint(url) ? url : QUrl();
        }
    }
    return QUrl(defaultEndpointURL());
}

QString TolviAIBackendConfiguration::appVersion() const
{
    QStringList parts;
    if (shortVersion)
        parts << *shortVersion;
    if (buildVersion)
        parts << *buildVersion;
    return parts.join(QLatin1Char(' '));
}

} // namespace tolvi
