#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace tolvi {

// An application whose copies are not captured; identified by its bundle identifier.
struct ExcludedApp {
    QString bundleIdentifier;
    QString name;

    const QString& id() const { return bundleIdentifier; }

    // {"bundleIdentifier": ..., "name": ...}
    QJsonObject toJson() const;
    // Both keys are required strings; other keys are ignored.
    static std::optional<ExcludedApp> fromJson(const QJsonValue& value);

    friend bool operator==(const ExcludedApp& a, const ExcludedApp& b);
};

} // namespace tolvi
