#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <utility>

namespace tolvi {

// Keys of the program's build information.
namespace bundlekey {
inline constexpr char distributionChannel[] = "TolviDistributionChannel";
inline constexpr char aiRewriteEnabled[] = "TolviAIRewriteEnabled";
inline constexpr char aiEndpointURL[] = "TolviAIEndpointURL";
inline constexpr char shortVersion[] = "CFBundleShortVersionString";
inline constexpr char buildNumber[] = "CFBundleVersion";
} // namespace bundlekey

// Facts fixed when the program was built: its version, build number, distribution channel
// and build switches. A key may be absent, which is not the same as present and empty.
class BundleInfo {
public:
    virtual ~BundleInfo() = default;

    virtual std::optional<QString> value(const QString& key) const = 0;
    // The identifier the desktop knows this program by.
    virtual QString bundleIdentifier() const = 0;

    bool contains(const QString& key) const { return value(key).has_value(); }
    // The value when present (even when empty), else the fallback.
    QString value(const QString& key, const QString& fallback) const;
};

// The values compiled into this build (set through the CMake cache variables
// TOLVI_DISTRIBUTION_CHANNEL, TOLVI_AI_REWRITE_ENABLED, TOLVI_AI_ENDPOINT_URL,
// TOLVI_BUILD_NUMBER and the project version).
class CompiledBundleInfo final : public BundleInfo {
public:
    CompiledBundleInfo();
    // Another generated table (used by tests of the table generation).
    explicit CompiledBundleInfo(const QList<std::pair<QString, QString>>& table);

    std::optional<QString> value(const QString& key) const override;
    QString bundleIdentifier() const override;

    using BundleInfo::value;

private:
    QMap<QString, QString> m_values;
};

// Build information for tests.
class InMemoryBundleInfo final : public BundleInfo {
public:
    InMemoryBundleInfo() = default;
    explicit InMemoryBundleInfo(QMap<QString, QString> values, QString bundleIdentifier = QStringLiteral("Tolvi"));

    void set(const QString& key, const QString& value) { m_values.insert(key, value); }
    void remove(const QString& key) { m_values.remove(key); }

    std::optional<QString> value(const QString& key) const override;
    QString bundleIdentifier() const override { return m_bundleIdentifier; }

    using BundleInfo::value;

private:
    QMap<QString, QString> m_values;
    QString m_bundleIdentifier = QStringLiteral("Tolvi");
};

// The identifier of this program on the desktop: the class name of its windows, which is
// how the desktop layer names applications.
QString tolviBundleIdentifier();

// The generated table of this build.
const QList<std::pair<QString, QString>>& buildBundleTable();

} // namespace tolvi
