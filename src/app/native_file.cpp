#include "app/native_file.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

namespace app {
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
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, value = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, value = lead & 0x07;
    else return 0;
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

std::unique_ptr<QFile> OpenRegularFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.isDir()) return *error = QStringLiteral("is a folder"), nullptr;
    if (info.exists() && !info.isFile()) return *error = QStringLiteral("not a regular file"), nullptr;
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

std::unique_ptr<QFile> OpenRegularFile(const QString& path, QString* error) {
    // Not blocking: opening a pipe would wait for a writer, a device for its line.
    const int fd = ::open(NativePath(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return *error = QString::fromLocal8Bit(std::strerror(errno)), nullptr;
    struct stat status {};
    const bool statted = ::fstat(fd, &status) == 0;
    if (!statted || !S_ISREG(status.st_mode)) {
        *error = !statted                   ? QString::fromLocal8Bit(std::strerror(errno))
                 : S_ISDIR(status.st_mode) ? QStringLiteral("is a folder")
                                           : QStringLiteral("not a regular file");
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
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
        reason = QStringLiteral("larger than %1 bytes").arg(maxBytes);
    if (file && reason.isEmpty()) {
        // Read one byte beyond the limit: the file may have grown since its size was taken.
        QByteArray bytes = file->read(maxBytes + 1);
        if (bytes.size() <= maxBytes && file->error() == QFileDevice::NoError) return bytes;
        reason = bytes.size() > maxBytes ? QStringLiteral("larger than %1 bytes").arg(maxBytes)
                                         : file->errorString();
    }
    if (error) *error = reason;
    return std::nullopt;
}

}  // namespace app
