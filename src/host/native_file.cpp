#include "host/native_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#ifdef Q_OS_WIN
#include <QDir>
#include <QTemporaryFile>
#else
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

#include "resources/texts.h"

namespace host {
namespace {

constexpr char16_t kStrayByteBase = 0xDC00;

bool IsStrayByte(char16_t unit) {
    return unit >= kStrayByteBase + 0x80 && unit <= kStrayByteBase + 0xFF;
}

/// The length of the valid UTF-8 sequence at @p at, or 0 when there is none.
int Utf8SequenceAt(QByteArrayView bytes, qsizetype at, char32_t* codePoint) {
    const auto byte = [&](qsizetype i) { return static_cast<uint8_t>(bytes[i]); };
    const uint8_t lead = byte(at);
    int length = 0;
    char32_t value = 0;
    if (lead < 0x80) return *codePoint = lead, 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, value = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, value = lead & 0x07;
    else
        return 0;
    if (at + length > bytes.size()) return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

}  // namespace

QString PathFromNative(QByteArrayView bytes) {
    QString path;
    path.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t codePoint = 0;
        const int length = Utf8SequenceAt(bytes, at, &codePoint);
        if (length == 0) {
            path += QChar(char16_t(kStrayByteBase + static_cast<uint8_t>(bytes[at])));
            ++at;
            continue;
        }
        path += QString::fromUcs4(&codePoint, 1);
        at += length;
    }
    return path;
}

QByteArray NativePath(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsStrayByte(path[i].unicode())) continue;
        bytes += QStringView(path).sliced(start, i - start).toUtf8();
        if (i < path.size()) bytes += static_cast<char>(path[i].unicode() - kStrayByteBase);
        start = i + 1;
    }
    return bytes;
}

bool HasStrayBytes(const QString& path) {
    for (const QChar c : path)
        if (IsStrayByte(c.unicode())) return true;
    return false;
}

#ifdef Q_OS_WIN

EntryKind EntryAt(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) return EntryKind::Link;
    if (!info.exists()) return EntryKind::Missing;
    if (info.isDir()) return EntryKind::Folder;
    return info.isFile() ? EntryKind::File : EntryKind::Other;
}

bool OwnedByAnotherUser(const QString&) {
    return false;  // replacing keeps the folder's rules
}

std::optional<FileIdentity> IdentityOf(const QString& path) {
    // Names are compared instead, by their canonical form.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) return std::nullopt;
    return FileIdentity{0, qHash(canonical.toCaseFolded())};
}

bool CanOpenForReading(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

std::unique_ptr<QFile> OpenRegularFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.isDir()) return *error = res::Say(res::Text::IsAFolder), nullptr;
    if (info.exists() && !info.isFile())
        return *error = res::Say(res::Text::NotARegularFile), nullptr;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return *error = file->errorString(), nullptr;
    return file;
}

#else

EntryKind EntryAt(const QString& path) {
    struct stat status {};
    if (::lstat(NativePath(path).constData(), &status) != 0) return EntryKind::Missing;
    if (S_ISLNK(status.st_mode)) return EntryKind::Link;
    if (S_ISDIR(status.st_mode)) return EntryKind::Folder;
    return S_ISREG(status.st_mode) ? EntryKind::File : EntryKind::Other;
}

bool OwnedByAnotherUser(const QString& path) {
    struct stat status {};
    return ::lstat(NativePath(path).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::geteuid() != 0 && status.st_uid != ::geteuid();
}

std::optional<FileIdentity> IdentityOf(const QString& path) {
    struct stat status {};
    if (::stat(NativePath(path).constData(), &status) != 0) return std::nullopt;
    return FileIdentity{uint64_t(status.st_dev), uint64_t(status.st_ino)};
}

bool CanOpenForReading(const QString& path) {
    const int fd =
        ::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::unique_ptr<QFile> OpenRegularFile(const QString& path, QString* error) {
    // Not blocking: opening a pipe would wait for a writer, a device for its line.
    const int fd =
        ::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return *error = QString::fromLocal8Bit(std::strerror(errno)), nullptr;
    struct stat status {};
    const bool statted = ::fstat(fd, &status) == 0;
    if (!statted || !S_ISREG(status.st_mode)) {
        *error = !statted                  ? QString::fromLocal8Bit(std::strerror(errno))
                 : S_ISDIR(status.st_mode) ? res::Say(res::Text::IsAFolder)
                                           : res::Say(res::Text::NotARegularFile);
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        *error = file->errorString();
        ::close(fd);
        return nullptr;
    }
    return file;
}

#endif

std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes, QString* error) {
    QString reason;
    const std::unique_ptr<QFile> file = OpenRegularFile(path, &reason);
    if (file && file->size() > maxBytes)
        reason = res::Say(res::Text::LargerThan, {QString::number(maxBytes)});
    if (file && reason.isEmpty()) {
        // Read one byte beyond the limit: the file may have grown since its size was taken.
        QByteArray bytes = file->read(maxBytes + 1);
        if (bytes.size() <= maxBytes && file->error() == QFileDevice::NoError) return bytes;
        reason = bytes.size() > maxBytes
                     ? res::Say(res::Text::LargerThan, {QString::number(maxBytes)})
                     : file->errorString();
    }
    if (error) *error = reason;
    return std::nullopt;
}

namespace {

/// The reason a path that names @p kind cannot be written over, or empty.
QString UnwritableReason(EntryKind kind) {
    if (kind == EntryKind::Folder) return res::Say(res::Text::IsAFolder);
    // Renaming onto a link replaces the link wherever it lives (/dev/stdout
    // included); writing through it would reach what it names.
    if (kind == EntryKind::Link) return res::Say(res::Text::OutputIsLink);
    if (kind == EntryKind::Other) return res::Say(res::Text::OutputIsDevice);
    return {};
}

std::filesystem::path FileSystemPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(NativePath(path).toStdString());
#endif
}

}  // namespace

ReplacingFile::ReplacingFile(QString path, bool mayReplace)
    : m_path(std::move(path)), m_mayReplace(mayReplace) {}

ReplacingFile::~ReplacingFile() {
    if (m_file && !m_committed) {
        m_file->close();
        std::error_code ignored;
        if (!m_temporaryPath.isEmpty())
            std::filesystem::remove(FileSystemPath(m_temporaryPath), ignored);
    }
}

bool ReplacingFile::Refuse(QString reason) {
    m_error = std::move(reason);
    return false;
}

bool ReplacingFile::Open() {
    if (const QString reason = UnwritableReason(EntryAt(m_path)); !reason.isEmpty())
        return Refuse(reason);
    const qsizetype cut = m_path.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    const qsizetype backslash = m_path.lastIndexOf(u'\\');
    const QString folder = m_path.left(std::max(cut, backslash) + 1);
    auto temporary = std::make_unique<QTemporaryFile>(folder + QStringLiteral(".tessiva-XXXXXX"));
    temporary->setAutoRemove(false);
    if (!temporary->open()) return Refuse(temporary->errorString());
    m_temporaryPath = temporary->fileName();
    m_file = std::move(temporary);
#else
    // Not inherited: a decoder started meanwhile must not hold another photo's output.
    int fd = -1;
#ifdef O_TMPFILE
    // Without a name until it is complete: a process killed meanwhile leaves nothing.
    const QByteArray folder = NativePath(cut < 0 ? QStringLiteral(".") : m_path.left(cut + 1));
    fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        // Hidden, beside the output, so that it is renamed into place on the same disk.
        QByteArray name = NativePath(m_path.left(cut + 1) + QStringLiteral(".tessiva-XXXXXX"));
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return Refuse(QString::fromLocal8Bit(std::strerror(errno)));
        m_temporaryPath = PathFromNative(name);
    }
    // Held until the file is published or the process ends, however it ends:
    // an unheld temporary of ours is one a stopped writer left (RemoveAbandonedFiles).
    ::flock(fd, LOCK_EX | LOCK_NB);
    // Made as a new file is: readable by others as the user's mask allows.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_file = std::make_unique<QFile>();
    if (!m_file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (!m_temporaryPath.isEmpty()) ::unlink(NativePath(m_temporaryPath).constData());
        m_file.reset();
        return Refuse(res::Say(res::Text::CannotWriteBeside));
    }
#endif
    return true;
}

QIODevice& ReplacingFile::Device() {
    return *m_file;
}

#ifndef Q_OS_WIN
namespace {

/// Gives the new file @p fd the owner and mode of the file @p path it
/// replaces, as far as this process may (see OwnedByAnotherUser).
void KeepOwnerAndMode(int fd, const QString& path) {
    struct stat old {};
    if (::lstat(NativePath(path).constData(), &old) != 0 || !S_ISREG(old.st_mode)) return;
    ::fchmod(fd, old.st_mode & 07777);
    struct stat made {};
    if (::fstat(fd, &made) == 0 && (made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0)
        ::fchmod(fd, old.st_mode & 0777);  // no set-id bits on a file of another owner
}

/// Gives the unnamed file @p fd the name @p path, never replacing what is
/// there; false, with errno, when it cannot.
bool LinkUnnamed(int fd, const QByteArray& path) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0;
}

/// Renames @p from to @p to, failing with EEXIST when @p to is there.
bool RenameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // A link is made only where no name is: the same promise, in two steps.
    if (::link(from.constData(), to.constData()) != 0) return false;
    ::unlink(from.constData());
    return true;
}

/// Makes a rename in @p folder lasting, so that a power loss after it leaves
/// the new file, not an empty name.
void SyncFolder(const QString& path) {
    const qsizetype cut = path.lastIndexOf(u'/');
    const QByteArray folder = NativePath(cut < 0 ? QStringLiteral(".") : path.left(cut + 1));
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace
#endif

bool ReplacingFile::Commit() {
    if (!m_file) return Refuse(QStringLiteral("not open"));
    bool flushed = m_file->flush();
    QString flushError = m_file->errorString();
#ifndef Q_OS_WIN
    if (flushed) {
        KeepOwnerAndMode(m_file->handle(), m_path);
        if (::fsync(m_file->handle()) != 0)
            flushed = false, flushError = QString::fromLocal8Bit(std::strerror(errno));
    }
#endif
    if (!flushed) {
        m_file->close();
        return Refuse(flushError);
    }
    // Checked again at the last moment: renaming over a device would replace it.
    if (const QString reason = UnwritableReason(EntryAt(m_path)); !reason.isEmpty()) {
        m_file->close();
        return Refuse(reason);
    }
#ifndef Q_OS_WIN
    const QByteArray target = NativePath(m_path);
    if (m_temporaryPath.isEmpty()) {
        // The unnamed file gets its name: the output's own when nothing may be
        // replaced, else a hidden one that is then renamed over the output.
        const int fd = m_file->handle();
        if (!m_mayReplace) {
            const bool linked = LinkUnnamed(fd, target);
            const int reason = errno;
            m_file->close();
            if (!linked)
                return Refuse(reason == EEXIST ? res::Say(res::Text::AlreadyThere)
                                               : QString::fromLocal8Bit(std::strerror(reason)));
            SyncFolder(m_path);
            m_committed = true;
            return true;
        }
        const qsizetype cut = m_path.lastIndexOf(u'/');
        for (int attempt = 0; attempt < 100 && m_temporaryPath.isEmpty(); ++attempt) {
            const QString name =
                m_path.left(cut + 1) +
                QStringLiteral(".tessiva-%1")
                    .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
            if (LinkUnnamed(fd, NativePath(name)))
                m_temporaryPath = name;
            else if (errno != EEXIST)
                break;
        }
        const int reason = errno;
        m_file->close();
        if (m_temporaryPath.isEmpty()) return Refuse(QString::fromLocal8Bit(std::strerror(reason)));
    } else {
        m_file->close();
    }
    if (!m_mayReplace) {
        if (!RenameWithoutReplacing(NativePath(m_temporaryPath), target))
            return Refuse(errno == EEXIST ? res::Say(res::Text::AlreadyThere)
                                          : QString::fromLocal8Bit(std::strerror(errno)));
        SyncFolder(m_path);
        m_committed = true;
        return true;
    }
#else
    m_file->close();
    if (!m_mayReplace && EntryAt(m_path) != EntryKind::Missing)
        return Refuse(res::Say(res::Text::AlreadyThere));
#endif
    std::error_code error;
    std::filesystem::rename(FileSystemPath(m_temporaryPath), FileSystemPath(m_path), error);
    if (error) return Refuse(QString::fromStdString(error.message()));
#ifndef Q_OS_WIN
    SyncFolder(m_path);
#endif
    m_committed = true;
    return true;
}

#ifndef Q_OS_WIN
namespace {

/// True for the names ReplacingFile gives its temporaries: ".tessiva-" and six
/// letters or digits (mkostemp's), or eight hexadecimal digits.
bool IsTemporaryName(std::string_view name) {
    constexpr std::string_view kPrefix = ".tessiva-";
    if (!name.starts_with(kPrefix)) return false;
    const std::string_view rest = name.substr(kPrefix.size());
    if (rest.size() != 6 && rest.size() != 8) return false;
    return std::all_of(rest.begin(), rest.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

}  // namespace
#endif

QStringList RemoveAbandonedFiles(const QString& folder) {
    QStringList removed;
#ifndef Q_OS_WIN
    const int dir = ::open(NativePath(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return removed;
    DIR* entries = ::fdopendir(dir);
    if (!entries) {
        ::close(dir);
        return removed;
    }
    while (const dirent* entry = ::readdir(entries)) {
        if (!IsTemporaryName(entry->d_name)) continue;
        // Read and write: where locks are emulated (NFS), only a writable file locks.
        const int fd =
            ::openat(dir, entry->d_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        struct stat named {};
        // Ours, a regular file, unheld, and still the file of that name when removed.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dir, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
            ::unlinkat(dir, entry->d_name, 0) == 0)
            removed << PathFromNative(entry->d_name);
        ::close(fd);
    }
    ::closedir(entries);
#else
    Q_UNUSED(folder);
#endif
    return removed;
}

}  // namespace host
