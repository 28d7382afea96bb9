#pragma once

// Files as the system holds them: names in the bytes it knows them by, and
// opening that never waits on a pipe or a device.

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class QFile;

namespace app {

/// The bytes the system knows @p path by. A name that is not valid UTF-8
/// reaches a QString with each stray byte as a lone surrogate (U+DC80 to
/// U+DCFF, as PathFromNative makes it); those become the bytes again.
QByteArray NativePath(const QString& path);
/// @p bytes as a QString that NativePath turns back into the same bytes.
QString PathFromNative(QByteArrayView bytes);
/// True when @p path holds a byte that is not UTF-8 (see PathFromNative).
bool HasStrayBytes(const QString& path);

/// What a path names, its last part not followed when it is a link.
enum class EntryKind { Missing, File, Folder, Link, Other };
EntryKind EntryAt(const QString& path);

/// Opens @p path for reading when it is a regular file. Pipes, devices and
/// sockets are refused without waiting on them; @p error gets the reason.
std::unique_ptr<QFile> OpenRegularFile(const QString& path, QString* error);

/// The whole of the regular file @p path when it holds at most @p maxBytes;
/// nothing (and the reason in @p error) otherwise.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes,
                                          QString* error = nullptr);

}  // namespace app
