#include "Tolvi/updater/UpdateVersion.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

namespace tolvi {

bool isDottedVersion(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9}){0,5}$"));
    return pattern.match(text).hasMatch();
}

int compareVersions(const QString& a, const QString& b)
{
    const bool aValid = isDottedVersion(a);
    const bool bValid = isDottedVersion(b);
    if (!aValid || !bValid)
        return int(aValid) - int(bValid);
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 l = i < left.size() ? left[i].toLongLong() : 0;
        const qint64 r = i < right.size() ? right[i].toLongLong() : 0;
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

bool isSecureWebAddress(const QUrl& url)
{
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

std::optional<UpdateFeedEntry> parseUpdateFeed(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QStringLiteral("version"));
    const QJsonValue url = object.value(QStringLiteral("url"));
    if (!version.isString() || !url.isString() || !isDottedVersion(version.toString()))
        return std::nullopt;
    const QUrl page(url.toString(), QUrl::StrictMode);
    if (!isSecureWebAddress(page))
        return std::nullopt;
    return UpdateFeedEntry{version.toString(), page};
}

} // namespace tolvi
