#pragma once

#include "TolviCore/ai/AIError.h"

#include <QString>

#include <functional>
#include <variant>

namespace tolvi {

// The outcome of one AI run: the result text, or the error it failed with.
class AIResult {
public:
    static AIResult success(QString text);
    static AIResult failure(AIErrorPtr error);

    bool isSuccess() const;
    // The text of a successful run; empty for a failure.
    QString text() const;
    // The error of a failed run; null for a success.
    AIErrorPtr error() const;
    // The error as the given type, or null when the run succeeded or failed with another type.
    template <typename E>
    std::shared_ptr<const E> errorAs() const
    {
        return std::dynamic_pointer_cast<const E>(error());
    }

private:
    explicit AIResult(std::variant<QString, AIErrorPtr> value);

    std::variant<QString, AIErrorPtr> m_value;
};

using AICompletion = std::function<void(AIResult)>;

} // namespace tolvi
