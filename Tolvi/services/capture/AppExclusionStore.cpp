#include "Tolvi/services/capture/AppExclusionStore.h"

#include "Tolvi/platform/settings/KeyValueSettings.h"

#include <QCollator>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace tolvi {

AppExclusionStore::AppExclusionStore(KeyValueSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings)
{
    load();
}

bool AppExclusionStore::isValidBundleIdentifier(const QString& identifier)
{
    if (identifier.isEmpty())
        return false;
    for (const char32_t scalar : identifier.toUcs4()) {
        const QChar::Category category = QChar::category(scalar);
        if (QChar::isSpace(scalar) || category == QChar::Other_Control || scalar == 0x85 || scalar == 0x2028 ||
            scalar == 0x2029)
            return false;
    }
    return true;
}

void AppExclusionStore::setLoadIssue(std::optional<LoadIssue> issue)
{
    if (loadIssue_ == issue)
        return;
    loadIssue_ = issue;
    emit loadIssueChanged();
}

void AppExclusionStore::load()
{
    isLoading_ = true;
    if (!settings_.contains(settingsKey)) {
        setExcludedApps({});
        setLoadIssue(std::nullopt);
        isLoading_ = false;
        return;
    }
    const std::optional<QByteArray> data = settings_.data(settingsKey);
    std::optional<QList<ExcludedApp>> decoded;
    if (data) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(*data, &error);
        if (error.error == QJsonParseError::NoError && document.isArray()) {
            QList<ExcludedApp> apps;
            bool valid = true;
            for (const QJsonValue& value : document.array()) {
                std::optional<ExcludedApp> app = ExcludedApp::fromJson(value);
                if (!app || !isValidBundleIdentifier(app->bundleIdentifier)) {
                    valid = false;
                    break;
                }
                apps.append(*app);
            }
            if (valid)
                decoded = apps;
        }
    }
    if (decoded) {
        setExcludedApps(*decoded);
        setLoadIssue(std::nullopt);
    } else {
        // The stored value stays as it is; nothing is captured until the user resets it.
        setLoadIssue(LoadIssue::unreadableSettings);
    }
    isLoading_ = false;
}

void AppExclusionStore::persist()
{
    if (isLoading_ || loadIssue_)
        return;
    QJsonArray array;
    for (const ExcludedApp& app : excludedApps_)
        array.append(app.toJson());
    settings_.setData(settingsKey, QJsonDocument(array).toJson(QJsonDocument::Compact));
}

void AppExclusionStore::setExcludedApps(QList<ExcludedApp> apps)
{
    excludedApps_ = std::move(apps);
    persist();
    emit excludedAppsChanged();
}

void AppExclusionStore::add(const QString& bundleIdentifier, const QString& name)
{
    if (loadIssue_ || !isValidBundleIdentifier(bundleIdentifier))
        return;
    for (const ExcludedApp& app : excludedApps_) {
        if (app.bundleIdentifier == bundleIdentifier)
            return;
    }
    QList<ExcludedApp> apps = excludedApps_;
    apps.append(ExcludedApp{bundleIdentifier, name});
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&collator](const ExcludedApp& a, const ExcludedApp& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    setExcludedApps(apps);
}

bool AppExclusionStore::contains(const std::optional<QString>& bundleIdentifier) const
{
    if (!bundleIdentifier)
        return false;
    return std::any_of(excludedApps_.cbegin(), excludedApps_.cend(),
                       [&](const ExcludedApp& app) { return app.bundleIdentifier == *bundleIdentifier; });
}

bool AppExclusionStore::excludes(const std::optional<QString>& identifier) const
{
    if (!identifier || identifier->isEmpty())
        return false;
    return std::any_of(excludedApps_.cbegin(), excludedApps_.cend(), [&](const ExcludedApp& app) {
        return app.bundleIdentifier.compare(*identifier, Qt::CaseInsensitive) == 0;
    });
}

void AppExclusionStore::resetUnreadableSettings()
{
    if (!loadIssue_)
        return;
    isLoading_ = true;
    settings_.remove(settingsKey);
    setExcludedApps({});
    setLoadIssue(std::nullopt);
    isLoading_ = false;
}

} // namespace tolvi
