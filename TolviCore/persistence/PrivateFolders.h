#pragma once

#include <QString>

namespace tolvi {

// The folder part of a path: "." for a bare name, "/" for a file at the root.
QString folderOf(const QString& path);

// Creates the folder and every missing folder above it, each new one with mode 0700 whatever
// the umask. Folders that exist are left as they are. Throws PersistenceError::system.
void createPrivateFolders(const QString& folder);

// Throws PersistenceError::system (EACCES) unless the folder belongs to the user and nobody else
// may write into it: otherwise another user could swap files under us or read them.
void requirePrivateFolder(const QString& folder);

} // namespace tolvi
