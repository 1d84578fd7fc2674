#pragma once

#include "TolviCore/model/ExcludedApp.h"

#include <QList>
#include <QObject>

#include <optional>

namespace tolvi {

class KeyValueSettings;

// The applications whose copies are never captured, kept in the settings under
// "tolvi.appExclusions.v1" as a JSON array. Fails closed: when the stored list cannot be read
// the store is unreadable, captures nothing (the monitor checks loadIssue()), accepts no
// additions and never overwrites the stored value, until resetUnreadableSettings().
class AppExclusionStore : public QObject {
    Q_OBJECT
public:
    enum class LoadIssue { unreadableSettings };

    static inline const QString settingsKey = QStringLiteral("tolvi.appExclusions.v1");

    explicit AppExclusionStore(KeyValueSettings& settings, QObject* parent = nullptr);

    std::optional<LoadIssue> loadIssue() const { return loadIssue_; }
    const QList<ExcludedApp>& excludedApps() const { return excludedApps_; }
    // Replaces the list (for example with an entry removed); stored unless the store is
    // unreadable.
    void setExcludedApps(QList<ExcludedApp> apps);

    // Adds an application, then keeps the list sorted by name (case-insensitive, in the user's
    // locale). Silently refused while unreadable, for an invalid identifier or a duplicate.
    void add(const QString& bundleIdentifier, const QString& name);
    // Whether an entry has exactly this identifier (the list's identity).
    bool contains(const std::optional<QString>& bundleIdentifier) const;
    // Whether copies from the application with this identifier are skipped: an entry names it
    // without regard to case (window classes are written in more than one case).
    bool excludes(const std::optional<QString>& identifier) const;
    void resetUnreadableSettings();
    // Reads the stored list again: on success publishes it and clears loadIssue(); a value that
    // still cannot be decoded leaves the store unreadable and the value untouched.
    void load();

    // Not empty and free of white space, line breaks and control characters.
    static bool isValidBundleIdentifier(const QString& identifier);

signals:
    void loadIssueChanged();
    void excludedAppsChanged();

private:
    void persist();
    void setLoadIssue(std::optional<LoadIssue> issue);

    KeyValueSettings& settings_;
    std::optional<LoadIssue> loadIssue_;
    QList<ExcludedApp> excludedApps_;
    bool isLoading_ = false;
};

} // namespace tolvi
