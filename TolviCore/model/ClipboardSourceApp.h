#pragma once

#include <QString>

#include <optional>

namespace tolvi {

// The application a clip was copied from.
class ClipboardSourceApp {
public:
    // Trims the name of white space and line breaks; an empty result becomes "Unknown App".
    // The bundle identifier is kept exactly as given.
    explicit ClipboardSourceApp(const QString& name, std::optional<QString> bundleIdentifier = std::nullopt);

    // Takes the values as stored, without trimming (used when reading stored clips).
    static ClipboardSourceApp fromStored(QString name, std::optional<QString> bundleIdentifier);

    const QString& name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    const std::optional<QString>& bundleIdentifier() const { return bundleIdentifier_; }
    void setBundleIdentifier(std::optional<QString> identifier) { bundleIdentifier_ = std::move(identifier); }

    // The bundle identifier when present (even an empty one), otherwise the name.
    QString searchIdentifier() const;

    friend bool operator==(const ClipboardSourceApp& a, const ClipboardSourceApp& b);

private:
    ClipboardSourceApp() = default;
    QString name_;
    std::optional<QString> bundleIdentifier_;
};

} // namespace tolvi
