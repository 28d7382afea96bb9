#pragma once

#include <QString>

namespace host {

/// The native path separator of this platform ("\\" on Windows, "/" elsewhere).
QChar PathSeparator();

/// True when @p path names a file that can be opened for reading. Folders are
/// not files.
bool FileExists(const QString& path);

/// The folder part of @p path up to and including its last separator; empty
/// when there is none.
QString FolderOf(const QString& path);

/// The base folder for the executable at @p path (links resolved): its folder,
/// or that folder's parent when the parent holds "language/English.ini", or
/// else "share/tessiva" under the parent when that holds it and the folder
/// does not (an installed tree).
QString BaseFolderFor(const QString& path);

/// The running program's executable, links resolved.
QString ExecutablePath();

/// The base folder of the running program (BaseFolderFor its executable).
QString GetBaseFolder();

}  // namespace host
