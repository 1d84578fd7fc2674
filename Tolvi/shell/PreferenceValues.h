#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tolvi {

// The colour theme of every window. Saved as its raw value, the case name.
enum class TolviAppearance {
    light,
    dark,
};

// How many clips the history keeps. Saved as its raw value, the case name.
enum class HistoryLimitPreference {
    twentyFive,
    fifty,
    oneHundred,
    twoHundred,
    fiveHundred,
    oneThousand,
    unlimited,
};

// The key combination of the history window's global hot key. Saved as its raw value.
enum class GlobalShortcutPreset {
    controlOptionV,
    commandShiftV,
    controlOptionSpace,
    optionSpace,
};

namespace appearance {
inline constexpr std::array<TolviAppearance, 2> allCases = {TolviAppearance::light, TolviAppearance::dark};
QString rawValue(TolviAppearance value);
std::optional<TolviAppearance> fromRawValue(QStringView raw);
} // namespace appearance

namespace historylimit {
inline constexpr std::array<HistoryLimitPreference, 7> allCases = {
    HistoryLimitPreference::twentyFive, HistoryLimitPreference::fifty,       HistoryLimitPreference::oneHundred,
    HistoryLimitPreference::twoHundred, HistoryLimitPreference::fiveHundred, HistoryLimitPreference::oneThousand,
    HistoryLimitPreference::unlimited,
};
QString rawValue(HistoryLimitPreference value);
std::optional<HistoryLimitPreference> fromRawValue(QStringView raw);
// The store's item limit; nothing for unlimited.
std::optional<int> itemLimit(HistoryLimitPreference value);
// "25 recent items" ... "1,000 recent items", "Unlimited".
QString title(HistoryLimitPreference value);
} // namespace historylimit

namespace globalshortcut {
inline constexpr std::array<GlobalShortcutPreset, 4> allCases = {
    GlobalShortcutPreset::controlOptionV,
    GlobalShortcutPreset::commandShiftV,
    GlobalShortcutPreset::controlOptionSpace,
    GlobalShortcutPreset::optionSpace,
};
QString rawValue(GlobalShortcutPreset value);
std::optional<GlobalShortcutPreset> fromRawValue(QStringView raw);
// The chord as Linux users name it ("Ctrl + Alt + V", "Super + Shift + V", ...), as the
// settings window and the diagnostics report show it. The case names keep the historical
// key names: Option is Alt and Command is Super.
QString displayName(GlobalShortcutPreset value);
} // namespace globalshortcut

} // namespace tolvi
