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
namespace PrivateAtomicFileWriter {

// Called with the temporary file's path after its content is complete, before the rename.
using BeforeReplace = std::function<void(const QString& temporaryPath)>;
// Writes the content to the open descriptor; throws to fail the write.
using Producer = std::function<void(int fd)>;

void write(QByteArrayView data, const QString& path, const BeforeReplace& beforeReplace = {});
void writeStreaming(const QString& path, const Producer& produce, const BeforeReplace& beforeReplace = {});

inline constexpr char temporaryPrefix[] = ".tolvi-private-";

} // namespace PrivateAtomicFileWriter
} // namespace tolvi
