#include "imaging/opened_file.h"
#include "imaging/photo_internal.h"

#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <cstring>

#include "host/native_file.h"
#include "resources/texts.h"

namespace imaging {
namespace {

/// Reads ahead by this much: decoders ask for a few kilobytes at a time.
constexpr qint64 kReadAhead = qint64{256} << 10;

/// One reader's view of the file: its position, its read-ahead and the
/// byte ranges it sees patched.
struct FileView {
    std::shared_ptr<const OpenedFile> file;
    std::vector<BytePatch> patches;
    qint64 position = 0;
    QByteArray ahead{};  // bytes read ahead of the position
    qint64 aheadStart = 0;

    qint64 Read(char* out, qint64 length) {
        length = std::clamp<qint64>(length, 0, std::max<qint64>(file->Size() - position, 0));
        qint64 got = 0;
        const qint64 aheadEnd = aheadStart + ahead.size();
        if (position >= aheadStart && position + length <= aheadEnd) {
            std::memcpy(out, ahead.constData() + (position - aheadStart), size_t(length));
            got = length;
        } else if (length >= kReadAhead) {
            got = file->ReadAt(position, out, length);
        } else {
            ahead = file->ReadAt(position, kReadAhead);
            aheadStart = position;
            if (ahead.isEmpty() && file->Size() > position) return -1;
            got = std::min<qint64>(length, ahead.size());
            std::memcpy(out, ahead.constData(), size_t(got));
        }
        if (got < 0) return -1;
        for (const auto& [at, bytes] : patches) {
            const qint64 from = std::max(at, position);
            const qint64 to = std::min(at + bytes.size(), position + got);
            if (from < to)
                std::memcpy(out + (from - position), bytes.constData() + (from - at),
                            size_t(to - from));
        }
        position += got;
        return got;
    }
    qint64 Seek(qint64 offset, int whence) {
        const qint64 base = whence == SEEK_CUR ? position : whence == SEEK_END ? file->Size() : 0;
        if (base + offset < 0) return -1;
        return position = base + offset;
    }
};

gint64 ReadView(VipsSourceCustom*, void* buffer, gint64 length, void* data) {
    return static_cast<FileView*>(data)->Read(static_cast<char*>(buffer), length);
}

gint64 SeekView(VipsSourceCustom*, gint64 offset, int whence, void* data) {
    return static_cast<FileView*>(data)->Seek(offset, whence);
}

/// The file as a Qt device.
class ViewDevice final : public QIODevice {
public:
    explicit ViewDevice(std::shared_ptr<const OpenedFile> file) : m_file(std::move(file)) {
        open(QIODevice::ReadOnly);
    }
    qint64 size() const override { return m_file->Size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        return m_file->ReadAt(pos(), data, std::min(maxSize, size() - pos()));
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<const OpenedFile> m_file;
};

}  // namespace

std::shared_ptr<OpenedFile> OpenedFile::Open(const QString& path, QString* error) {
    std::unique_ptr<QFile> file = host::OpenRegularFile(path, error);
    if (!file) return nullptr;
    std::shared_ptr<OpenedFile> opened(new OpenedFile);
    opened->m_path = path;
    opened->m_size = file->size();
    opened->m_modified = file->fileTime(QFileDevice::FileModificationTime);
    opened->m_file = std::move(file);
    return opened;
}

std::shared_ptr<OpenedFile> OpenedFile::FromBytes(const QString& path, QByteArray bytes) {
    std::shared_ptr<OpenedFile> opened(new OpenedFile);
    opened->m_path = path;
    opened->m_size = bytes.size();
    opened->m_bytes = std::move(bytes);
    opened->m_kept = true;
    return opened;
}

OpenedFile::~OpenedFile() = default;

void OpenedFile::KeepBytes(qint64 maxBytes) {
    if (m_kept || m_size > maxBytes || !Problem().isEmpty()) return;
    QByteArray bytes(m_size, Qt::Uninitialized);
    if (ReadAt(0, bytes.data(), m_size) != m_size) return;
    const QMutexLocker lock(&m_lock);
    m_bytes = std::move(bytes);
    m_kept = true;
    m_file.reset();
}

qint64 OpenedFile::ReadAt(qint64 offset, char* data, qint64 length) const {
    if (offset < 0 || length < 0) return -1;
    length = std::min(length, std::max<qint64>(m_size - offset, 0));
    const QMutexLocker lock(&m_lock);
    if (m_kept) {
        std::memcpy(data, m_bytes.constData() + offset, size_t(length));
        return length;
    }
    if (!m_file->seek(offset)) return -1;
    qint64 got = 0;
    while (got < length) {
        const qint64 part = m_file->read(data + got, length - got);
        if (part <= 0) break;
        got += part;
    }
    return got == length ? got : -1;
}

QByteArray OpenedFile::ReadAt(qint64 offset, qint64 length) const {
    length = std::clamp<qint64>(length, 0, std::max<qint64>(m_size - offset, 0));
    QByteArray bytes(length, Qt::Uninitialized);
    if (ReadAt(offset, bytes.data(), length) != length) return {};
    return bytes;
}

QByteArray OpenedFile::ReadAll(qint64 maxBytes) const {
    if (m_size > maxBytes) return {};
    return ReadAt(0, m_size);
}

QString OpenedFile::Problem() const {
    const QMutexLocker lock(&m_lock);
    if (m_kept) return {};
    if (m_file->size() != m_size ||
        m_file->fileTime(QFileDevice::FileModificationTime) != m_modified)
        return res::Say(res::Text::FileChanged);
    return {};
}

vips::VSource SourceOver(std::shared_ptr<const OpenedFile> file, std::vector<BytePatch> patches) {
    if (const QString problem = file->Problem(); !problem.isEmpty()) throw OwnFailure(problem);
    auto* view = new FileView{std::move(file), std::move(patches)};
    VipsSourceCustom* custom = vips_source_custom_new();
    g_object_set_data_full(G_OBJECT(custom), "tessiva-file-view", view,
                           [](gpointer data) { delete static_cast<FileView*>(data); });
    g_signal_connect(custom, "read", G_CALLBACK(ReadView), view);
    g_signal_connect(custom, "seek", G_CALLBACK(SeekView), view);
    return vips::VSource(VIPS_SOURCE(custom));  // takes our reference
}

std::unique_ptr<QIODevice> DeviceOver(std::shared_ptr<const OpenedFile> file) {
    return std::make_unique<ViewDevice>(std::move(file));
}

}  // namespace imaging
