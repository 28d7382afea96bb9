#pragma once

// A photo's file, opened once: every later read is of what was opened.

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include <vips/vips8>

class QFile;
class QIODevice;

namespace imaging {

/// A file opened for reading once and read at any offset, from any thread.
/// Moving, replacing or deleting the path afterwards changes nothing; a file
/// rewritten in place is noticed, unless its bytes were kept (KeepBytes).
class OpenedFile {
public:
    /// Opens the regular file @p path; nullptr, with the reason in @p error,
    /// when it cannot be read (pipes and devices are refused without waiting).
    static std::shared_ptr<OpenedFile> Open(const QString& path, QString* error);
    /// A file of @p bytes held in memory, named @p path.
    static std::shared_ptr<OpenedFile> FromBytes(const QString& path, QByteArray bytes);
    ~OpenedFile();

    const QString& Path() const { return m_path; }
    qint64 Size() const { return m_size; }

    /// Reads the whole file into memory when it holds at most @p maxBytes, so
    /// that nothing done to the file afterwards reaches this photo.
    void KeepBytes(qint64 maxBytes);

    /// Up to @p length bytes from @p offset into @p data: the count read, or
    /// -1 when the file can no longer be read as it was.
    qint64 ReadAt(qint64 offset, char* data, qint64 length) const;
    QByteArray ReadAt(qint64 offset, qint64 length) const;
    /// The whole file when it holds at most @p maxBytes; empty otherwise.
    QByteArray ReadAll(qint64 maxBytes) const;

    /// Why the file no longer reads as it did when opened (rewritten in place,
    /// or a read failed); empty while it does.
    QString Problem() const;

private:
    OpenedFile() = default;

    QString m_path;
    std::unique_ptr<QFile> m_file;
    QByteArray m_bytes;  // the whole file once kept
    bool m_kept = false;
    qint64 m_size = 0;
    QDateTime m_modified;
    mutable QMutex m_lock;
};

/// A byte range of a file seen as other bytes (a TIFF's page links).
using BytePatch = std::pair<qint64, QByteArray>;

/// A libvips source reading @p file from its start, with a position of its
/// own, through @p patches. Throws vips::VError when the file changed.
vips::VSource SourceOver(std::shared_ptr<const OpenedFile> file,
                         std::vector<BytePatch> patches = {});

/// A read-only device over @p file, with a position of its own.
std::unique_ptr<QIODevice> DeviceOver(std::shared_ptr<const OpenedFile> file);

}  // namespace imaging
