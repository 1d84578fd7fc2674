#include "TolviCore/model/ClipboardSourceApp.h"

#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

ClipboardSourceApp::ClipboardSourceApp(const QString& name, std::optional<QString> bundleIdentifier)
    : name_(name.trimmed()), bundleIdentifier_(std::move(bundleIdentifier))
{
    if (name_.isEmpty())
        name_ = QStringLiteral("Unknown App");
}

ClipboardSourceApp ClipboardSourceApp::fromStored(QString name, std::optional<QString> bundleIdentifier)
{
    ClipboardSourceApp app;
    app.name_ = std::move(name);
    app.bundleIdentifier_ = std::move(bundleIdentifier);
    return app;
}

QString ClipboardSourceApp::searchIdentifier() const
{
    return bundleIdentifier_ ? *bundleIdentifier_ : name_;
}

bool operator==(const ClipboardSourceApp& a, const ClipboardSourceApp& b)
{
    if (!UnicodeText::canonicallyEqual(a.name_, b.name_))
        return false;
    if (a.bundleIdentifier_.has_value() != b.bundleIdentifier_.has_value())
        return false;
    return !a.bundleIdentifier_ || UnicodeText::canonicallyEqual(*a.bundleIdentifier_, *b.bundleIdentifier_);
}

} // namespace tolvi
