#include "Tolvi/shell/PreferenceValues.h"

namespace tolvi {

namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> matchRawValue(QStringView raw, const std::array<Enum, N>& cases, QString (*rawValue)(Enum))
{
    for (Enum value : cases) {
        if (raw == rawValue(value))
            return value;
    }
    return std::nullopt;
}

// The row of a case in a table that has one row for every case; the fallback's row for a value
// outside the enumeration.
template <typename Facts, std::size_t N, typename Enum>
const Facts& factsFor(const std::array<Facts, N>& table, Enum value, Enum fallback)
{
    const Facts* fallbackRow = &table.front();
    for (const Facts& facts : table) {
        if (facts.value == value)
            return facts;
        if (facts.value == fallback)
            fallbackRow = &facts;
    }
    return *fallbackRow;
}

} // namespace

namespace appearance {

QString rawValue(TolviAppearance value)
{
    return value == TolviAppearance::dark ? QStringLiteral("dark") : QStringLiteral("light");
}

std::optional<TolviAppearance> fromRawValue(QStringView raw)
{
    return matchRawValue(raw, allCases, &rawValue);
}

} // namespace appearance

namespace historylimit {

namespace {

struct Facts {
    HistoryLimitPreference value;
    const char* rawValue;
    std::optional<int> itemLimit;
    const char* title;
};

constexpr std::array<Facts, 7> table{{
    {HistoryLimitPreference::twentyFive, "twentyFive", 25, "25 recent items"},
    {HistoryLimitPreference::fifty, "fifty", 50, "50 recent items"},
    {HistoryLimitPreference::oneHundred, "oneHundred", 100, "100 recent items"},
    {HistoryLimitPreference::twoHundred, "twoHundred", 200, "200 recent items"},
    {HistoryLimitPreference::fiveHundred, "fiveHundred", 500, "500 recent items"},
    {HistoryLimitPreference::oneThousand, "oneThousand", 1000, "1,000 recent items"},
    {HistoryLimitPreference::unlimited, "unlimited", std::nullopt, "Unlimited"},
}};
static_assert(table.size() == allCases.size(), "one row for every case");

} // namespace

QString rawValue(HistoryLimitPreference value)
{
    return QString::fromLatin1(factsFor(table, value, HistoryLimitPreference::unlimited).rawValue);
}

std::optional<HistoryLimitPreference> fromRawValue(QStringView raw)
{
    return matchRawValue(raw, allCases, &rawValue);
}

std::optional<int> itemLimit(HistoryLimitPreference value)
{
    return factsFor(table, value, HistoryLimitPreference::unlimited).itemLimit;
}

QString title(HistoryLimitPreference value)
{
    return QString::fromLatin1(factsFor(table, value, HistoryLimitPreference::unlimited).title);
}

} // namespace historylimit

namespace globalshortcut {

namespace {

struct Facts {
    GlobalShortcutPreset value;
    const char* rawValue;
    const char* displayName;
};

constexpr std::array<Facts, 4> table{{
    {GlobalShortcutPreset::controlOptionV, "controlOptionV", "Ctrl + Alt + V"},
    {GlobalShortcutPreset::commandShiftV, "commandShiftV", "Super + Shift + V"},
    {GlobalShortcutPreset::controlOptionSpace, "controlOptionSpace", "Ctrl + Alt + Space"},
    {GlobalShortcutPreset::optionSpace, "optionSpace", "Alt + Space"},
}};
static_assert(table.size() == allCases.size(), "one row for every case");

} // namespace

QString rawValue(GlobalShortcutPreset value)
{
    return QString::fromLatin1(factsFor(table, value, GlobalShortcutPreset::controlOptionV).rawValue);
}

std::optional<GlobalShortcutPreset> fromRawValue(QStringView raw)
{
    return matchRawValue(raw, allCases, &rawValue);
}

QString displayName(GlobalShortcutPreset value)
{
    return QString::fromLatin1(factsFor(table, value, GlobalShortcutPreset::controlOptionV).displayName);
}

} // namespace globalshortcut

} // namespace tolvi
