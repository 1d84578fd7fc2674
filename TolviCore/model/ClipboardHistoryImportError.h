#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tolvi {

// The error of history archives, of the import merge, of board operations and of flushing a
// history that could not be loaded. Equal when the case is equal; the message is the one the
// windows show.
class ClipboardHistoryImportError : public std::exception {
public:
    enum class Case {
        tooLarge,
        unsupportedVersion,
        invalidArchive,
        storageUnavailable,
        invalidBoardName,
        duplicateBoardName,
        missingBoard,
        invalidBoardOrder,
    };

    explicit ClipboardHistoryImportError(Case errorCase);

    Case errorCase() const { return case_; }
    QString errorDescription() const;
    static QString message(Case errorCase);

    const char* what() const noexcept override { return what_.c_str(); }

    friend bool operator==(const ClipboardHistoryImportError& a, const ClipboardHistoryImportError& b)
    {
        return a.case_ == b.case_;
    }

private:
    Case case_;
    std::string what_;
};

inline size_t qHash(const ClipboardHistoryImportError& error, size_t seed = 0)
{
    return static_cast<size_t>(error.errorCase()) ^ seed;
}

// The counts an import preview or merge reports.
struct ClipboardImportPreview {
    int addedItems = 0;
    int mergedItems = 0;
    int addedBoards = 0;
    int totalItems = 0;

    friend bool operator==(const ClipboardImportPreview&, const ClipboardImportPreview&) = default;
};

} // namespace tolvi
