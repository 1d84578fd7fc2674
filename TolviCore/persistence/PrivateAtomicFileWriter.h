#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

namespace tolvi {

// Replaces a file as a whole with new bytes that only its owner can read and write. The bytes go
// to a hidden temporary file in the target's folder (".tolvi-private-<UUID>.tmp", created
// exclusively, never through a symbolic link, mode 0600 from the start), reach the disk, and
// are renamed over the target; the folder is then synchronised so the rename survives a power
// cut. A reader sees the old file or the new one, never a mixture; a target that is a symbolic
// link is replaced by a regular file and the link's own target is never written. The folder must
// exist. Every failure throws PersistenceError (system errors carry the errno of the failed call)
// and leaves the target untouched with no temporary file behind.
//
// While it is written, the temporary file carries an exclusive flock, so that removeLeftovers can
// tell a file that a write is still filling from one that a killed write left behind. A file-size
// limit (RLIMIT_FSIZE) would end the process with SIGXFSZ at the write that crosses it: when that
// signal still has its default action, writing ignores it for the process, so that the write
// fails with EFBIG like one on a full disk.
namespace PrivateAtomicFileWriter {

// Called with the temporary file's path after its content is complete, before the rename.
using BeforeReplace = std::function<void(const QString& temporaryPath)>;
// Writes the content to the open descriptor; throws to fail the write.
using Producer = std::function<void(int fd)>;

void write(QByteArrayView data, const QString& path, const BeforeReplace& beforeReplace = {});
void writeStreaming(const QString& path, const Producer& produce, const BeforeReplace& beforeReplace = {});
// The same for a new file: the complete file takes the name only if nothing stands under it
// (a file, a folder or a link alike); otherwise it fails with EEXIST and leaves that as it is.
void createStreaming(const QString& path, const Producer& produce);

inline constexpr char temporaryPrefix[] = ".tolvi-private-";

// Whether a file name has the form of our temporary files.
bool isTemporaryFileName(QStringView name);

// Removes the temporary files that interrupted writes left in the folder: names of our form that
// are regular files of this user and that no write holds. Links, folders and other users' files
// are left alone. Returns how many were removed.
int removeLeftovers(const QString& folder);

} // namespace PrivateAtomicFileWriter
} // namespace tolvi
