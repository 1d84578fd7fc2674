#include "Tolvi/services/capture/CapturePreferences.h"

#include "Tolvi/platform/settings/KeyValueSettings.h"

namespace tolvi {

namespace {

bool switchValue(const KeyValueSettings& settings, const QString& key)
{
    return !settings.contains(key) || settings.boolean(key);
}

} // namespace

CapturePreferences::~CapturePreferences() = default;

bool SettingsCapturePreferences::capturesText() const
{
    return switchValue(settings_, QStringLiteral("tolvi.preferences.capturesText"));
}

bool SettingsCapturePreferences::capturesImages() const
{
    return switchValue(settings_, QStringLiteral("tolvi.preferences.capturesImages"));
}

} // namespace tolvi
