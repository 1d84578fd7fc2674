#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tolvi {

// A failure of the history file or of the atomic writer. System failures carry the errno value
// of the failed call and pass the system's own text through; encoding and decoding failures
// describe what was wrong and where.
class PersistenceError : public std::exception {
public:
    enum class Kind { system, encoding, decoding };

    static PersistenceError system(int errnoValue, const QString& operation = QString());
    static PersistenceError encoding(const QString& message);
    static PersistenceError decoding(const QString& message);

    Kind kind() const { return kind_; }
    // The errno value for a system failure, 0 otherwise.
    int code() const { return code_; }
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return what_.c_str(); }

    friend bool operator==(const PersistenceError& a, const PersistenceError& b)
    {
        return a.kind_ == b.kind_ && a.code_ == b.code_ && a.message_ == b.message_;
    }

private:
    PersistenceError(Kind kind, int code, QString message);

    Kind kind_;
    int code_;
    QString message_;
    std::string what_;
};

// Throws PersistenceError::system with the current errno.
[[noreturn]] void throwSystemError(const char* operation);

} // namespace tolvi
