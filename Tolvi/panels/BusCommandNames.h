#pragma once

#include <QLatin1String>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>

namespace tolvi {

// Every command of a family whose enumerators run from 0 to N-1, in that order.
template <typename Command, std::size_t N>
constexpr std::array<Command, N> busCommands()
{
    std::array<Command, N> commands{};
    for (std::size_t i = 0; i < N; ++i)
        commands[i] = Command(i);
    return commands;
}

// The names a family of keyboard commands travels under on the command bus: the family's prefix
// followed by the command's own name ("tolvi.compact.accept"). `names` names the enumerators
// 0 to N-1 in that order.
template <typename Command, std::size_t N>
class BusCommandNames {
public:
    constexpr BusCommandNames(const char* prefix, std::array<const char*, N> names)
        : m_prefix(prefix),
          m_names(names)
    {
    }

    QString notificationName(Command command) const
    {
        const auto index = std::size_t(command);
        if (index >= N)
            return {};
        return QLatin1String(m_prefix) + QLatin1String(m_names[index]);
    }

    // The command of a notification name; nothing for any other name.
    std::optional<Command> command(const QString& notificationName) const
    {
        for (Command candidate : busCommands<Command, N>()) {
            if (this->notificationName(candidate) == notificationName)
                return candidate;
        }
        return std::nullopt;
    }

private:
    const char* m_prefix;
    std::array<const char*, N> m_names;
};

} // namespace tolvi
