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

QString rawValue(HistoryLimitPreference value)
{
    switch (value) {
    case HistoryLimitPreference::twentyFive:
        return QStringLiteral("twentyFive");
    case HistoryLimitPreference::fifty:
        return QStringLiteral("fifty");
    case HistoryLimitPreference::oneHundred:
        return QStringLiteral("oneHundred");
    case HistoryLimitPreference::twoHundred:
        return QStringLiteral("twoHundred");
    case HistoryLimitPreference::fiveHundred:
        return QStringLiteral("fiveHundred");
    case HistoryLimitPreference::oneThousand:
        return QStringLiteral("oneThousand");
    case HistoryLimitPreference::unlimited:
        return QStringLiteral("unlimited");
    }
    return QStringLiteral("unlimited");
}

std::optional<HistoryLimitPreference> fromRawValue(QStringView raw)
{
    return matchRawValue(raw, allCases, &rawValue);
}

std::optional<int> itemLimit(HistoryLimitPreference value)
{
    switch (value) {
    case HistoryLimitPreference::twentyFive:
        return 25;
    case HistoryLimitPreference::fifty:
        return 50;
    case HistoryLimitPreference::oneHundred:
        return 100;
    case HistoryLimitPreference::twoHundred:
        return 200;
    case HistoryLimitPreference::fiveHundred:
        return 500;
    case HistoryLimitPreference::oneThousand:
        return 1000;
    case HistoryLimitPreference::unlimited:
        return std::nullopt;
    }
    return std::nullopt;
}

QString title(HistoryLimitPreference value)
{
    switch (value) {
    case HistoryLimitPreference::twentyFive:
        return QStringLiteral("25 recent items");
    case HistoryLimitPreference::fifty:
        return QStringLiteral("50 recent items");
    case HistoryLimitPreference::oneHundred:
        return QStringLiteral("100 recent items");
    case HistoryLimitPreference::twoHundred:
        return QStringLiteral("200 recent items");
    case HistoryLimitPreference::fiveHundred:
        return QStringLiteral("500 recent items");
    case HistoryLimitPreference::oneThousand:
        return QStringLiteral("1,000 recent items");
    case HistoryLimitPreference::unlimited:
        return QStringLiteral("Unlimited");
    }
    return QStringLiteral("Unlimited");
}

} // namespace historylimit

namespace globalshortcut {

QString rawValue(GlobalShortcutPreset value)
{
    switch (value) {
    case GlobalShortcutPreset::controlOptionV:
        return QStringLiteral("controlOptionV");
    case GlobalShortcutPreset::commandShiftV:
        return QStringLiteral("commandShiftV");
    case GlobalShortcutPreset::controlOptionSpace:
        return QStringLiteral("controlOptionSpace");
    case GlobalShortcutPreset::optionSpace:
        return QStringLiteral("optionSpace");
    }
    return QStringLiteral("controlOptionV");
}

std::optional<GlobalShortcutPreset> fromRawValue(QStringView raw)
{
    return matchRawValue(raw, allCases, &rawValue);
}

QString displayName(GlobalShortcutPreset value)
{
    switch (value) {
    case GlobalShortcutPreset::controlOptionV:
        return QStringLiteral("Ctrl + Alt + V");
    case GlobalShortcutPreset::commandShiftV:
        return QStringLiteral("Super + Shift + V");
    case GlobalShortcutPreset::controlOptionSpace:
        return QStringLiteral("Ctrl + Alt + Space");
    case GlobalShortcutPreset::optionSpace:
        return QStringLiteral("Alt + Space");
    }
    return QStringLiteral("Ctrl + Alt + V");
}

} // namespace globalshortcut

} // namespace tolvi
