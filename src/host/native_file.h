#pragma once

// Files as the system holds them: names in the bytes it knows them by, and
// opening that never waits on a pipe or a device.

#include <QByteArray>
#include <QString>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>

class QFile;
class QIODevice;

namespace host {

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

/// What tells one file from every other on the system, whatever names it has
/// (hard links and other spellings included).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t node = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};
/// The identity of the file @p path names, links followed; nothing when none.
std::optional<FileIdentity> IdentityOf(const QString& path);

/// True when @p path is a file of another user that this process cannot give
/// back to its owner once replaced: the new file is then this user's.
bool OwnedByAnotherUser(const QString& path);

/// True when @p path opens for reading; a pipe or device is opened without
/// waiting on it.
bool CanOpenForReading(const QString& path);

/// Opens @p path for reading when it is a regular file. Pipes, devices and
/// sockets are refused without waiting on them; @p error gets the reason.
std::unique_ptr<QFile> OpenRegularFile(const QString& path, QString* error);

/// The whole of the regular file @p path when it holds at most @p maxBytes;
/// nothing (and the reason in @p error) otherwise.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes,
                                          QString* error = nullptr);

/// A new file written beside @p path that takes its place only when
/// committed: a reader never sees it half written, and a failure leaves what
/// was there untouched and no other file. Only a regular file may be replaced,
/// keeping its owner and mode where the process may; a link, folder, device,
/// pipe or socket at the path is refused.
class ReplacingFile {
public:
    /// With @p mayReplace false, Commit fails ("is there already") when
    /// anything has taken the name meanwhile, another process included.
    explicit ReplacingFile(QString path, bool mayReplace = true);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    /// Creates the new file; false, with Error(), when it cannot be.
    bool Open();
    /// Where the new file's bytes go, once open.
    QIODevice& Device();
    /// Puts the new file in place; false, with Error(), when it cannot.
    bool Commit();
    const QString& Error() const { return m_error; }

private:
    bool Refuse(QString reason);

    QString m_path;
    bool m_mayReplace;
    QString m_temporaryPath;  // empty while the new file has no name
    std::unique_ptr<QFile> m_file;
    bool m_committed = false;
    QString m_error;
};

/// Removes from @p folder the partial files that writers stopped by force
/// (kill -9, the out-of-memory killer) left where unnamed files cannot be
/// made: this program's hidden temporaries, of this user, that no living
/// writer holds. Gives the names removed.
QStringList RemoveAbandonedFiles(const QString& folder);

}  // namespace host
