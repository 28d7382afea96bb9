#include "photo_fixtures.h"

#include <tiffio.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <vips/vips8>

#include "imaging/execute.h"
#include "imaging/imaging_library.h"
#include "test_support.h"

namespace fixtures {
namespace {

using vips::VImage;

VImage Solid(int width, int height, QColor colour) {
    return (VImage::black(width, height, VImage::option()->set("bands", 3)) +
            std::vector<double>{double(colour.red()), double(colour.green()),
                                double(colour.blue())})
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

QString SolidPhoto(const TempFolder& folder, const QString& name, int width, int height,
                   QColor colour) {
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

QString PagesOfSizes(const TempFolder& folder, const QString& name, const std::vector<QSize>& sizes,
                     const std::vector<QColor>& colours) {
    const QString path = folder.file(name);
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    for (size_t page = 0; page < sizes.size(); ++page) {
        const QSize size = sizes[page];
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(size.height()));
        QByteArray row;
        for (int x = 0; x < size.width(); ++x)
            row += char(colours[page].red()), row += char(colours[page].green()),
                row += char(colours[page].blue());
        for (int y = 0; y < size.height(); ++y) TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
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

QString PngClaimingSize(const TempFolder& folder, const QString& name, uint32_t width,
                        uint32_t height) {
    const QByteArray header = Be32(width) + Be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QByteArray idat = QByteArray::fromHex("789c030000000001");  // an empty zlib stream
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) +
                           PngChunk("IDAT", idat) + PngChunk("IEND", {});
    return folder.write(name, png);
}

QString BlankBilevelPng(const TempFolder& folder, const QString& name, int side) {
    const QByteArray header =
        Be32(uint32_t(side)) + Be32(uint32_t(side)) + QByteArray("\x01\x00\x00\x00\x00", 5);
    const QByteArray row = QByteArray(1 + (side + 7) / 8, '\0');      // filter byte, pixels
    const QByteArray idat = qCompress(row.repeated(side), 9).mid(4);  // without Qt's length
    return folder.write(name, QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) +
                                  PngChunk("IDAT", idat) + PngChunk("IEND", {}));
}

QString LinearDng(const TempFolder& folder, const QString& name, int width, int height) {
    QByteArray pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels += x < width / 2 ? Le(60000, 2) + Le(2000, 2) + Le(2000, 2)
                                    : Le(2000, 2) + Le(2000, 2) + Le(60000, 2);
    struct Entry {
        uint16_t tag, type;
        uint32_t count;
        QByteArray value;  // inline (4 bytes) or placed after the directory
    };
    const QByteArray model("Tessiva Test", 13);
    std::vector<Entry> entries{{254, 4, 1, Le(0, 4)},
                               {256, 4, 1, Le(uint32_t(width), 4)},
                               {257, 4, 1, Le(uint32_t(height), 4)},
                               {258, 3, 3, Le(16, 2) + Le(16, 2) + Le(16, 2)},
                               {259, 3, 1, Le(1, 4)},
                               {262, 3, 1, Le(34892, 4)},
                               {271, 2, 8, QByteArray("Tessiva", 8)},
                               {272, 2, 5, QByteArray("Test", 5)},
                               {273, 4, 1, Le(8, 4)},
                               {277, 3, 1, Le(3, 4)},
                               {278, 4, 1, Le(uint32_t(height), 4)},
                               {279, 4, 1, Le(uint32_t(pixels.size()), 4)},
                               {284, 3, 1, Le(1, 4)},
                               {50706, 1, 4, QByteArray("\x01\x04\x00\x00", 4)},
                               {50708, 2, uint32_t(model.size()), model},
                               {50717, 4, 1, Le(65535, 4)}};
    const uint32_t directory = 8 + uint32_t(pixels.size());
    uint32_t extra = directory + 2 + 12 * uint32_t(entries.size()) + 4;
    QByteArray ifd = Le(uint32_t(entries.size()), 2), tail;
    for (const Entry& entry : entries) {
        ifd += Le(entry.tag, 2) + Le(entry.type, 2) + Le(entry.count, 4);
        if (entry.value.size() <= 4) {
            ifd += entry.value.leftJustified(4, '\0', true);
        } else {
            ifd += Le(extra + uint32_t(tail.size()), 4);
            tail += entry.value;
        }
    }
    ifd += Le(0, 4);
    return folder.write(name, QByteArray("II*\0", 4) + Le(directory, 4) + pixels + ifd + tail);
}

QString RedEmf(const TempFolder& folder, const QString& name) {
    const auto i32 = [](int32_t v) { return Le(static_cast<uint32_t>(v), 4); };
    const QByteArray body =
        Le(39, 4) + Le(24, 4) + Le(1, 4) + Le(0, 4) + Le(0x0000FF, 4) + Le(0, 4) +  // brush
        Le(37, 4) + Le(12, 4) + Le(1, 4) +                                          // select
        Le(43, 4) + Le(24, 4) + i32(0) + i32(0) + i32(99) + i32(49) +               // rectangle
        Le(14, 4) + Le(20, 4) + Le(0, 4) + Le(16, 4) + Le(20, 4);                   // end
    const QByteArray header = Le(1, 4) + Le(88, 4) + i32(0) + i32(0) + i32(99) + i32(49) + i32(0) +
                              i32(0) + i32(2646) + i32(1323) + Le(0x464D4520, 4) + Le(0x10000, 4) +
                              Le(uint32_t(88 + body.size()), 4) + Le(5, 4) + Le(2, 2) + Le(0, 2) +
                              Le(0, 4) + Le(0, 4) + Le(0, 4) + i32(1920) + i32(1080) + i32(508) +
                              i32(286);
    return folder.write(name, header + body);
}

QString RedWmf(const TempFolder& folder, const QString& name) {
    const auto record = [](uint16_t function, std::vector<int16_t> params) {
        QByteArray bytes = Le(uint32_t(3 + params.size()), 4) + Le(function, 2);
        for (int16_t p : params) bytes += Le(static_cast<uint16_t>(p), 2);
        return bytes;
    };
    QByteArray records = record(0x020B, {0, 0}) + record(0x020C, {50, 100});
    records += Le(7, 4) + Le(0x02FC, 2) + Le(0, 2) + Le(0x0000FF, 4) + Le(0, 2);  // solid red brush
    records += record(0x012D, {0}) + record(0x041B, {50, 100, 0, 0}) + record(0x0000, {});
    const QByteArray header = Le(1, 2) + Le(9, 2) + Le(0x0300, 2) +
                              Le(uint32_t((18 + records.size()) / 2), 4) + Le(1, 2) + Le(7, 4) +
                              Le(0, 2);
    QByteArray placeable = Le(0x9AC6CDD7, 4) + Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(100, 2) +
                           Le(50, 2) + Le(96, 2) + Le(0, 4);
    uint16_t checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= qFromLittleEndian<uint16_t>(placeable.constData() + i);
    return folder.write(name, placeable + Le(checksum, 2) + header + records);
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

EveryLoader::EveryLoader() {
    vips_operation_block_set("VipsForeignLoad", FALSE);
}

EveryLoader::~EveryLoader() {
    imaging::AllowOnlyInProcessLoaders();
}

std::optional<imaging::StepFailure> Convert(const imaging::Photo& photo,
                                            const imaging::ConversionRequest& request,
                                            const QString& out) {
    return imaging::Execute(imaging::PlanConversion(imaging::FactsOf(photo), request), photo, {},
                            {out});
}

std::optional<imaging::StepFailure> Convert(const imaging::Photo& photo, QSize size,
                                            const QString& out) {
    imaging::ConversionRequest request;
    request.output = size;
    return Convert(photo, request, out);
}

double Psnr(const vips::VImage& a, const vips::VImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return 0;
    const vips::VImage difference = a.cast(VIPS_FORMAT_FLOAT) - b.cast(VIPS_FORMAT_FLOAT);
    const double mse = (difference * difference).avg();
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

vips::VImage FromImage(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const size_t rowBytes = size_t(rgb.width()) * 3;
    // The picture owns its pixels: a memory image is never copied again.
    auto* pixels = static_cast<uchar*>(g_malloc(rowBytes * size_t(rgb.height()) + 1));
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(pixels + rowBytes * size_t(y), rgb.constScanLine(y), rowBytes);
    return vips::VImage::new_from_memory_steal(pixels, rowBytes * size_t(rgb.height()), rgb.width(),
                                               rgb.height(), 3, VIPS_FORMAT_UCHAR);
}

double Difference(const QString& a, const QString& b) {
    const vips::VImage x = vips::VImage::new_from_file(QFile::encodeName(a).constData());
    const vips::VImage y = vips::VImage::new_from_file(QFile::encodeName(b).constData());
    if (x.width() != y.width() || x.height() != y.height() || x.bands() != y.bands()) return 1e9;
    return (x - y).abs().max();
}

}  // namespace fixtures
