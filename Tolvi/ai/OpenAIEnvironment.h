#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace tolvi {

// Reads the variables the responses provider is configured by ("OPENAI_API_KEY",
// "TOLVI_OPENAI_MODEL"). The lookup is injectable; process() reads the process environment.
class OpenAIEnvironment {
public:
    // The raw value of a variable, nothing when it is not set.
    using Lookup = std::function<std::optional<QString>(const QString& name)>;

    explicit OpenAIEnvironment(Lookup lookup);
    static OpenAIEnvironment process();

    // The variable's value unchanged (not trimmed) when it holds at least one character that is
    // not white space; nothing when it is absent, empty or blank.
    std::optional<QString> value(const QString& name) const;

private:
    Lookup m_lookup;
};

} // namespace tolvi
