#pragma once

namespace tolvi {

class KeyValueSettings;

// The two capture switches of the user's preferences, read by the pasteboard monitor at each use
// and never written by it.
class CapturePreferences {
public:
    virtual ~CapturePreferences();
    // When false, no text clip (and so no file-reference clip) is captured.
    virtual bool capturesText() const = 0;
    // When false, no image clip is captured.
    virtual bool capturesImages() const = 0;
};

// The switches as stored under "tolvi.preferences.capturesText" and
// "tolvi.preferences.capturesImages"; an absent value means on.
class SettingsCapturePreferences final : public CapturePreferences {
public:
    explicit SettingsCapturePreferences(const KeyValueSettings& settings) : settings_(settings) {}
    bool capturesText() const override;
    bool capturesImages() const override;

private:
    const KeyValueSettings& settings_;
};

} // namespace tolvi
