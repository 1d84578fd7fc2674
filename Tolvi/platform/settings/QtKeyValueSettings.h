#pragma once

#include "Tolvi/platform/settings/KeyValueSettings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace tolvi {

// The user's settings file through QSettings: an INI file, by default
// ~/.config/<organization>/<application>.conf as named on the application object.
//
// Keys are stored as they are given ("tolvi.preferences.historyLimit" sits in the file's
// [General] section). The file keeps byte arrays and one-element lists as Qt-tagged
// values, and everything else as plain text that the typed readers of KeyValueSettings
// interpret. An empty list is written as "@Invalid()" and reads back as an empty list.
//
// Only a missing file or a regular file of at most maximumFileBytes is read (a FIFO would block
// the start for good, a device would be read without end): with anything else under the name,
// the settings start from their defaults for this run, in a private stand-in file, and the
// thing under the name is left as it is.
class QtKeyValueSettings final : public KeyValueSettings {
public:
    // The application's own settings file.
    QtKeyValueSettings();
    static constexpr qint64 maximumFileBytes = 16 * 1024 * 1024;
    // A settings file at the given path (INI format).
    explicit QtKeyValueSettings(const QString& filePath);
    ~QtKeyValueSettings() override;

    QVariant value(const QString& key) const override;
    bool contains(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    QStringList keys() const override;
    void sync() override;

    QString fileName() const;
    // False when the file could not be written (for example a read-only folder).
    bool isWritable() const;

private:
    // True when the file at path cannot be used and a stand-in was made.
    bool useStandIn(const QString& path);

    std::unique_ptr<QTemporaryDir> m_standInFolder;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace tolvi
