#include "imaging/tiff_pages.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace imaging {
namespace {

/// The file seen through a few replaced byte ranges, read by libvips through
/// a custom source.
struct PatchedFile {
    QFile file;
    qint64 position = 0;
    std::vector<std::pair<qint64, QByteArray>> patches;  // offset, bytes seen there instead
};

gint64 ReadPatched(VipsSourceCustom*, void* buffer, gint64 length, void* data) {
    auto* view = static_cast<PatchedFile*>(data);
    if (length < 0 || !view->file.seek(view->position)) return -1;
    char* out = static_cast<char*>(buffer);
    const qint64 got = view->file.read(out, length);
    if (got < 0) return -1;
    for (const auto& [at, bytes] : view->patches) {
        const qint64 from = std::max(at, view->position);
        const qint64 to = std::min(at + bytes.size(), view->position + got);
        if (from < to)
            std::memcpy(out + (from - view->position), bytes.constData() + (from - at), to - from);
    }
    view->position += got;
    return got;
}

gint64 SeekPatched(VipsSourceCustom*, gint64 offset, int whence, void* data) {
    auto* view = static_cast<PatchedFile*>(data);
    qint64 target = -1;
    if (whence == SEEK_SET) target = offset;
    if (whence == SEEK_CUR) target = view->position + offset;
    if (whence == SEEK_END) target = view->file.size() + offset;
    if (target < 0) return -1;
    view->position = target;
    return target;
}

}  // namespace

TiffPageIndex TiffPageIndex::Read(const QString& path, uint32_t maxPages) {
    TiffPageIndex index;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return index;
    const QByteArray head = file.read(16);
    if (head.size() < 8 || (!head.startsWith("II") && !head.startsWith("MM"))) return index;
    const bool bigEndian = head[0] == 'M';
    const auto number = [bigEndian](const QByteArray& bytes, int at, int width) {
        uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            const auto byte = static_cast<uint8_t>(bytes[at + (bigEndian ? i : width - 1 - i)]);
            value = (value << 8) | byte;
        }
        return value;
    };
    const uint64_t magic = number(head, 2, 2);
    const bool bigTiff = magic == 43;
    if (magic != 42 && !(bigTiff && head.size() == 16 && number(head, 4, 2) == 8)) return index;
    index.m_bigEndian = bigEndian;
    index.m_bigTiff = bigTiff;

    const uint64_t fileSize = static_cast<uint64_t>(file.size());
    const int countWidth = bigTiff ? 8 : 2, entryWidth = bigTiff ? 20 : 12,
              linkWidth = bigTiff ? 8 : 4;
    uint64_t directory = bigTiff ? number(head, 8, 8) : number(head, 4, 4);
    while (directory != 0 && index.m_pages.size() < maxPages) {
        if (directory >= fileSize || !file.seek(static_cast<qint64>(directory))) break;
        const QByteArray count = file.read(countWidth);
        if (count.size() != countWidth) break;
        const uint64_t entries = number(count, 0, countWidth);
        if (entries > fileSize / entryWidth) break;
        const uint64_t link = directory + countWidth + entries * entryWidth;
        if (link >= fileSize || !file.seek(static_cast<qint64>(link))) break;
        const QByteArray next = file.read(linkWidth);
        if (next.size() != linkWidth) break;
        index.m_pages.push_back({directory, link});
        directory = number(next, 0, linkWidth);
    }
    return index;
}

std::optional<vips::VImage> TiffPageIndex::OpenPage(const QString& path, uint32_t page) const {
    if (page >= m_pages.size()) return std::nullopt;
    const int linkWidth = m_bigTiff ? 8 : 4;
    QByteArray first(linkWidth, '\0');
    for (int i = 0; i < linkWidth; ++i)
        first[m_bigEndian ? linkWidth - 1 - i : i] =
            static_cast<char>(m_pages[page].directory >> (8 * i));

    auto* view = new PatchedFile;
    view->file.setFileName(path);
    view->patches = {{m_bigTiff ? 8 : 4, first},
                     {static_cast<qint64>(m_pages[page].nextLink), QByteArray(linkWidth, '\0')}};
    if (!view->file.open(QIODevice::ReadOnly)) {
        delete view;
        return std::nullopt;
    }
    VipsSourceCustom* custom = vips_source_custom_new();
    g_object_set_data_full(G_OBJECT(custom), "tessiva-patched-file", view,
                           [](gpointer data) { delete static_cast<PatchedFile*>(data); });
    g_signal_connect(custom, "read", G_CALLBACK(ReadPatched), view);
    g_signal_connect(custom, "seek", G_CALLBACK(SeekPatched), view);
    const vips::VSource source(VIPS_SOURCE(custom));  // takes our reference
    try {
        return vips::VImage::new_from_source(
            source, "", vips::VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
    } catch (const vips::VError&) {
        vips_error_clear();
        return std::nullopt;
    }
}

}  // namespace imaging
