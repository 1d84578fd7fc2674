#pragma once

#include <QString>

#include <memory>

namespace tolvi {

// Base of every error an AI run can end with. Each concrete error is a closed set of cases
// (AIServiceError, and the providers' own errors); windows show errorDescription() as it is.
class AIError {
public:
    virtual ~AIError() = default;

    // The ready-made sentence shown to the user.
    virtual QString errorDescription() const = 0;

protected:
    AIError() = default;
    AIError(const AIError&) = default;
    AIError& operator=(const AIError&) = default;
};

using AIErrorPtr = std::shared_ptr<const AIError>;

} // namespace tolvi
