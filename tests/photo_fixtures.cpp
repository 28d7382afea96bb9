#include "photo_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <vips/vips8>

#include "test_support.h"

namespace fixtures {
namespace {

using vips::VImage;

VImage Solid(int width, int height, QColor colour) {
    return (VImage::black(width, height, VImage::option()->set("bands", 3)) +
            std::vector<double>{double(colour.red()), double(colour.green()), double(colour.blue())})
        .cast(VIPS_FORMAT_UCHAR);
}

uint32_t Crc32(const QByteArray& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char byte : data) {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray Be32(uint32_t value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray Le(uint32_t value, int size) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    return bytes;
}

QByteArray PngChunk(const char* type, const QByteArray& data) {
    const QByteArray typed = QByteArray(type) + data;
    return Be32(static_cast<uint32_t>(data.size())) + typed + Be32(Crc32(typed));
}

}  // namespace

QString SolidPhoto(const TempFolder& folder, const QString& name, int width, int height, QColor colour) {
    const QString path = folder.file(name);
    QDir().mkpath(QFileInfo(path.section(u'[', 0, 0)).absolutePath());
    Solid(width, height, colour).write_to_file(QFile::encodeName(path).constData());
    return path.section(u'[', 0, 0);
}

QString FramedPhoto(const TempFolder& folder, const QString& name, int width, int height,
                    const std::vector<QColor>& frames) {
    std::vector<VImage> pages;
    for (const QColor& colour : frames) pages.push_back(Solid(width, height, colour));
    VImage strip = VImage::arrayjoin(pages, VImage::option()->set("across", 1));
    strip.set("page-height", height);
    const QString path = folder.file(name);
    strip.write_to_file(QFile::encodeName(path).constData());
    return path;
}

QString IconFile(const TempFolder& folder, const QString& name, const std::vector<int>& sizes,
                 const std::vector<QColor>& colours) {
    std::vector<QByteArray> images;
    for (size_t i = 0; i < sizes.size(); ++i) {
        void* buffer = nullptr;
        size_t length = 0;
        Solid(sizes[i], sizes[i], colours[i]).write_to_buffer(".png", &buffer, &length);
        images.emplace_back(static_cast<const char*>(buffer), static_cast<qsizetype>(length));
        g_free(buffer);
    }
    QByteArray file = Le(0, 2) + Le(1, 2) + Le(static_cast<uint32_t>(sizes.size()), 2);
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const uint32_t side = sizes[i] >= 256 ? 0 : static_cast<uint32_t>(sizes[i]);
        file += Le(side, 1) + Le(side, 1) + Le(0, 1) + Le(0, 1) + Le(1, 2) + Le(32, 2) +
                Le(static_cast<uint32_t>(images[i].size()), 4) + Le(offset, 4);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const QByteArray& image : images) file += image;
    return folder.write(name, file);
}

QString PngClaimingSize(const TempFolder& folder, const QString& name, uint32_t width, uint32_t height) {
    const QByteArray header = Be32(width) + Be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QByteArray idat = QByteArray::fromHex("789c030000000001");  // an empty zlib stream
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) +
                           PngChunk("IDAT", idat) + PngChunk("IEND", {});
    return folder.write(name, png);
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace fixtures
