#pragma once

#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/model/ClipboardHistoryState.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <exception>
#include <functional>

namespace tolvi {

// The export/import archive: the whole history in a JSON envelope
// {"format": "com.tolvi.history", "history": {...}, "version": 1}, pretty-printed with sorted
// keys, clips and boards in the history file's forms. Reading also accepts a bare history object
// {"items": [...], "pinboards": [...]}. Every refusal is a ClipboardHistoryImportError
// (tooLarge, unsupportedVersion or invalidArchive); nothing here has side effects except
// writeFile, which replaces its target atomically with an owner-only file.
namespace ClipboardHistoryArchive {

inline constexpr std::size_t maximumBytes = 100'000'000;
inline constexpr qsizetype maximumItems = 20'000;
inline constexpr qsizetype maximumBoards = 500;
inline constexpr qsizetype maximumBoardNameCharacters = 80;
inline constexpr qsizetype maximumBoardSymbolCharacters = 100;

inline constexpr char formatName[] = "com.tolvi.history";
inline constexpr int currentVersion = 1;

// The archive bytes of a state. Throws tooLarge or invalidArchive from the checks, tooLarge when
// the archive would pass maximumBytes (encoding stops there), and the encoder's own
// PersistenceError (for a date that is not a finite number).
QByteArray encode(const ClipboardHistoryState& state);

// How a long write or read tells its progress: called on the thread doing the work with the part
// done, from 0 to 1; answering false stops the work, which then throws Cancelled.
using Progress = std::function<bool(double fraction)>;

// The work was stopped by its progress callback; nothing was written.
struct Cancelled : std::exception {
    const char* what() const noexcept override { return "cancelled"; }
};

// Writes the archive to a file through the private atomic writer (mode 0600). Throws as encode,
// and PersistenceError for a failure of the file system; the target is then left as it was, as it
// is when the progress callback stops the write (Cancelled).
void writeFile(const ClipboardHistoryState& state, const QString& path, const Progress& progress = {});

// The validated state held by archive bytes. Data over maximumBytes is refused before parsing.
ClipboardHistoryState decode(QByteArrayView data);

// Reads an archive from a descriptor or file and decodes it. Reading never holds more than
// maximumBytes + 1 bytes before refusing with tooLarge, whatever the source claims its size is
// (a pipe, or a file that grows while it is read). Throws PersistenceError when the source
// cannot be opened or read.
ClipboardHistoryState read(int fd, const Progress& progress = {});
ClipboardHistoryState readFile(const QString& path);

// The structural checks that encode and decode apply: counts, unique ids, board names and
// symbols, board references and finite creation times.
void validate(const ClipboardHistoryState& state);

} // namespace ClipboardHistoryArchive
} // namespace tolvi
