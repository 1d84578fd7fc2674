#include "TolviCore/model/ExcludedApp.h"

#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

QJsonObject ExcludedApp::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("bundleIdentifier"), bundleIdentifier);
    object.insert(QStringLiteral("name"), name);
    return object;
}

std::optional<ExcludedApp> ExcludedApp::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue identifier = object.value(QStringLiteral("bundleIdentifier"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    if (!identifier.isString() || !name.isString())
        return std::nullopt;
    return ExcludedApp{UnicodeText::replacingLoneSurrogates(identifier.toString()),
                       UnicodeText::replacingLoneSurrogates(name.toString())};
}

bool operator==(const ExcludedApp& a, const ExcludedApp& b)
{
    return UnicodeText::canonicallyEqual(a.bundleIdentifier, b.bundleIdentifier)
           && UnicodeText::canonicallyEqual(a.name, b.name);
}

} // namespace tolvi
