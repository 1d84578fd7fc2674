#pragma once

#include <QString>

namespace tolvi {

// Copies the whole of `from` (from its start, whatever its file position) to `to` (at its file
// position) in the kernel, or through a small buffer where the file systems cannot copy between
// them. False when a read or a write fails.
bool copyWholeFile(int from, int to);

// A copy of the whole file that nobody else can open: a file without a name in `folder`
// (O_TMPFILE, the folder's own file system, so the copy may share its blocks), or in memory where
// the folder offers none or has no room. The new descriptor, open for reading and writing, or -1.
int privateCopyOf(int fd, const QString& folder);

} // namespace tolvi
