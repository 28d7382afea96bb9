#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <vips/vips8>

#include "imaging/imaging_library.h"
#include "imaging/photo.h"
#include "imaging/photo_internal.h"
#include "photo_fixtures.h"
#include "test_support.h"

namespace {

using namespace imaging;

class PhotoTest : public ::testing::Test {
protected:
    LibrarySession session;
    TempFolder temp;

    /// The colour at the centre of the active frame's preview.
    static QColor PreviewColour(Photo& photo) {
        const QImage preview = photo.Preview(QSize(8, 6));
        EXPECT_EQ(preview.size(), QSize(8, 6));
        return preview.pixelColor(4, 3);
    }
};

struct FormatCase {
    const char* name;
    const char* expectDimension;  // "Page", "Time"
};

class PhotoFormats : public PhotoTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(PhotoFormats, OpenWithSizeFramesAndPreview) {
    const QString path =
        fixtures::SolidPhoto(temp, QString::fromLatin1(GetParam().name), 64, 40, Qt::red);
    const auto photo = LoadPhoto(path);
    EXPECT_EQ(photo->Width(), 64);
    EXPECT_EQ(photo->Height(), 40);
    ASSERT_EQ(photo->FrameDimensions().size(), 1u);
    const FrameKind dimension = photo->FrameDimensions()[0];
    EXPECT_EQ(FrameDimensionName(dimension, 0),
              u"FrameDimension"_s + QString::fromLatin1(GetParam().expectDimension));
    EXPECT_EQ(photo->FrameCount(dimension), 1u);
    const QColor centre = PreviewColour(*photo);
    EXPECT_GT(centre.red(), 200) << GetParam().name;
    EXPECT_LT(centre.green(), 60) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PhotoFormats,
    ::testing::Values(FormatCase{"a.jpg", "Page"}, FormatCase{"a.png", "Page"},
                      FormatCase{"a.gif", "Time"}, FormatCase{"a.tif", "Page"},
                      FormatCase{"a.bmp", "Page"}, FormatCase{"a.webp", "Time"},
                      FormatCase{"a.heic", "Page"}, FormatCase{"a.avif", "Page"},
                      FormatCase{"a.jxl", "Page"}, FormatCase{"a.jp2", "Page"}),
    [](const auto& info) { return std::string(info.param.name).substr(2); });

TEST_F(PhotoTest, AnimatedGifFramesAreTheTimeDimension) {
    const std::vector<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::white, Qt::black};
    const auto photo = LoadPhoto(fixtures::FramedPhoto(temp, u"anim.gif"_s, 30, 20, colours));
    ASSERT_EQ(photo->FrameDimensions(), std::vector<FrameKind>{FrameKind::Time});
    EXPECT_EQ(photo->FrameCount(FrameKind::Time), 5u);
    EXPECT_EQ(photo->FrameCount(FrameKind::Page), 0u);
    EXPECT_EQ(photo->Height(), 20);
    EXPECT_GT(PreviewColour(*photo).red(), 200);
    ASSERT_TRUE(photo->SelectActiveFrame(FrameKind::Time, 2));
    EXPECT_GT(PreviewColour(*photo).blue(), 200);
    EXPECT_LT(PreviewColour(*photo).red(), 60);
    EXPECT_FALSE(photo->SelectActiveFrame(FrameKind::Time, 5));
    EXPECT_FALSE(photo->SelectActiveFrame(FrameKind::Page, 1));
    EXPECT_GT(PreviewColour(*photo).blue(), 200);  // unchanged
}

struct GreyPage {
    QSize size;
    int grey;
};

/// A classic TIFF written byte by byte, in either byte order: one uncompressed
/// grey strip per page, each page's pixels followed by its directory.
QByteArray HandmadeTiff(bool bigEndian, const std::vector<GreyPage>& pages) {
    const auto number = [bigEndian](uint32_t value, int width) {
        QByteArray bytes(width, '\0');
        for (int i = 0; i < width; ++i)
            bytes[bigEndian ? width - 1 - i : i] = static_cast<char>(value >> (8 * i));
        return bytes;
    };
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        const QByteArray field =
            type == 3 ? number(value, 2) + QByteArray(2, '\0') : number(value, 4);
        return number(tag, 2) + number(type, 2) + number(1, 4) + field;
    };
    constexpr uint32_t kDirectorySize = 2 + 9 * 12 + 4;
    std::vector<uint32_t> directories;
    uint32_t offset = 8;
    for (const GreyPage& page : pages) {
        offset += static_cast<uint32_t>(page.size.width() * page.size.height());
        offset += offset % 2;  // directories start on a word boundary
        directories.push_back(offset);
        offset += kDirectorySize;
    }
    QByteArray file =
        QByteArray(bigEndian ? "MM" : "II") + number(42, 2) + number(directories[0], 4);
    for (size_t i = 0; i < pages.size(); ++i) {
        const auto [size, grey] = pages[i];
        const uint32_t pixels = static_cast<uint32_t>(size.width() * size.height());
        const auto stripAt = static_cast<uint32_t>(file.size());
        file += QByteArray(static_cast<qsizetype>(pixels), static_cast<char>(grey));
        if (file.size() % 2) file += '\0';
        file += number(9, 2) + entry(256, 4, size.width()) + entry(257, 4, size.height()) +
                entry(258, 3, 8) + entry(259, 3, 1) + entry(262, 3, 1) + entry(273, 4, stripAt) +
                entry(277, 3, 1) + entry(278, 4, size.height()) + entry(279, 4, pixels);
        file += number(i + 1 < pages.size() ? directories[i + 1] : 0, 4);
    }
    return file;
}

TEST_F(PhotoTest, EveryPageOfAMultiPageTiffOpensWithItsOwnSizeAndPixels) {
    const std::vector<GreyPage> pages{
        {QSize(30, 20), 10}, {QSize(7, 9), 90}, {QSize(40, 3), 170}, {QSize(5, 5), 250}};
    const auto expectPages = [&](const QString& path, const std::string& kind) {
        const auto photo = LoadPhoto(path);
        ASSERT_EQ(photo->FrameCount(FrameKind::Page), pages.size()) << kind;
        for (const uint32_t page : {3u, 0u, 2u, 1u, 3u}) {
            ASSERT_TRUE(photo->SelectActiveFrame(FrameKind::Page, page)) << kind;
            EXPECT_EQ(QSize(photo->Width(), photo->Height()), pages[page].size)
                << kind << " page " << page;
            EXPECT_EQ(PreviewColour(*photo),
                      QColor(pages[page].grey, pages[page].grey, pages[page].grey))
                << kind << " page " << page;
        }
    };
    expectPages(temp.write(u"little.tif"_s, HandmadeTiff(false, pages)), "little-endian");
    expectPages(temp.write(u"big.tif"_s, HandmadeTiff(true, pages)), "big-endian");

    // Written by the library: 64-bit offsets, tiles with compression.
    std::vector<vips::VImage> equal;
    for (const GreyPage& page : pages)
        equal.push_back((vips::VImage::black(32, 16) + page.grey).cast(VIPS_FORMAT_UCHAR));
    vips::VImage strip = vips::VImage::arrayjoin(equal, vips::VImage::option()->set("across", 1));
    strip.set("page-height", 16);
    for (const char* options :
         {"[bigtiff]", "[tile,tile_width=16,tile_height=16,compression=lzw]"}) {
        const QString path = temp.file(u"written%1.tif"_s.arg(QString::fromLatin1(options).size()));
        strip.write_to_file((QFile::encodeName(path) + options).constData());
        const auto photo = LoadPhoto(path);
        ASSERT_EQ(photo->FrameCount(FrameKind::Page), pages.size()) << options;
        for (const uint32_t page : {2u, 1u}) {
            ASSERT_TRUE(photo->SelectActiveFrame(FrameKind::Page, page));
            EXPECT_EQ(PreviewColour(*photo).red(), pages[page].grey) << options;
        }
        // The page converts, not only previews.
        const QString out = temp.file(u"page1.tif"_s);
        ASSERT_FALSE(fixtures::Convert(*photo, QSize(8, 4), out));
        EXPECT_EQ(vips::VImage::new_from_file(QFile::encodeName(out).constData()).getpoint(4, 2)[0],
                  pages[1].grey);
    }
}

TEST_F(PhotoTest, ABrokenChainOfTiffPagesStillShowsThePagesItReaches) {
    const std::vector<GreyPage> pages{{QSize(6, 4), 40}, {QSize(6, 4), 120}, {QSize(6, 4), 200}};
    QByteArray bytes = HandmadeTiff(false, pages);
    // The last page's directory links to a point past the end of the file.
    bytes.replace(bytes.size() - 4, 4, QByteArray("\xff\xff\xff\x7f", 4));
    const auto photo = LoadPhoto(temp.write(u"chain.tif"_s, bytes));
    const uint32_t count = photo->FrameCount(FrameKind::Page);
    ASSERT_EQ(count, 3u) << "pages before the broken link";
    for (uint32_t page = count; page-- > 0;) {
        ASSERT_TRUE(photo->SelectActiveFrame(FrameKind::Page, page));
        EXPECT_EQ(PreviewColour(*photo).red(), pages[page].grey);
    }
    EXPECT_FALSE(photo->SelectActiveFrame(FrameKind::Page, count));
}

TEST_F(PhotoTest, IconSizesAreTheResolutionDimensionEachWithItsOwnSize) {
    const auto photo = LoadPhoto(
        fixtures::IconFile(temp, u"app.ico"_s, {16, 32, 48}, {Qt::red, Qt::green, Qt::blue}));
    ASSERT_EQ(photo->FrameDimensions(), std::vector<FrameKind>{FrameKind::Resolution});
    EXPECT_EQ(photo->FrameCount(FrameKind::Resolution), 3u);
    EXPECT_EQ(photo->Width(), 16);
    ASSERT_TRUE(photo->SelectActiveFrame(FrameKind::Resolution, 2));
    EXPECT_EQ(photo->Width(), 48);
    EXPECT_GT(PreviewColour(*photo).blue(), 200);
    EXPECT_FALSE(photo->SelectActiveFrame(FrameKind::Resolution, 3));
    EXPECT_EQ(photo->Width(), 48);
}

TEST_F(PhotoTest, CameraRawFilesAreDevelopedForThePreview) {
    const QString dngPath = fixtures::LinearDng(temp, u"camera.dng"_s, 32, 24);
    const auto photo = LoadPhoto(dngPath);
    EXPECT_EQ(photo->Width(), 32);
    EXPECT_EQ(photo->Height(), 24);
    EXPECT_EQ(photo->FrameDimensions(), std::vector<FrameKind>{FrameKind::Page});
    const QImage preview = photo->Preview(QSize(16, 12));
    ASSERT_EQ(preview.size(), QSize(16, 12));
    EXPECT_GT(preview.pixelColor(3, 8).red(), 150);
    EXPECT_GT(preview.pixelColor(13, 8).blue(), 150);
    // A raw name on something else falls back to the ordinary loaders.
    const QString png = fixtures::SolidPhoto(temp, u"x.png"_s, 8, 8, Qt::green);
    QFile::copy(png, temp.file(u"renamed.nef"_s));
    EXPECT_EQ(LoadPhoto(temp.file(u"renamed.nef"_s))->Width(), 8);
}

TEST_F(PhotoTest, MetafilesAreRendered) {
    for (const QString& path :
         {fixtures::RedEmf(temp, u"box.emf"_s), fixtures::RedWmf(temp, u"box.wmf"_s)}) {
        const auto photo = LoadPhoto(path);
        EXPECT_NEAR(photo->Width(), 100, 1) << path.toStdString();
        EXPECT_NEAR(photo->Height(), 50, 1) << path.toStdString();
        EXPECT_GT(PreviewColour(*photo).red(), 200) << path.toStdString();
        // Cut after the header: undecodable, not a crash.
        const QByteArray bytes = fixtures::Bytes(path);
        for (qsizetype keep : {qsizetype(50), bytes.size() - 10}) {
            const QString cut =
                temp.write(u"cut-%1.%2"_s.arg(keep).arg(path.right(3)), bytes.left(keep));
            LoadPhoto(cut)->Preview(QSize(8, 8));
        }
    }
}

TEST_F(PhotoTest, MetafilesConvertAtTheTargetsSize) {
    for (const QString& path :
         {fixtures::RedEmf(temp, u"box.emf"_s), fixtures::RedWmf(temp, u"box.wmf"_s)}) {
        const auto photo = LoadPhoto(path);
        for (const QSize target : {QSize(20, 10), QSize(300, 40), QSize(400, 200)}) {
            const QString out = temp.file(u"metafile-%1.tif"_s.arg(target.width()));
            ASSERT_FALSE(fixtures::Convert(*photo, target, out)) << path.toStdString();
            const vips::VImage saved =
                vips::VImage::new_from_file(QFile::encodeName(out).constData());
            EXPECT_EQ(QSize(saved.width(), saved.height()), target);
            const std::vector<double> centre =
                saved.getpoint(target.width() / 2, target.height() / 2);
            EXPECT_GT(centre[0], 200) << path.toStdString() << " at " << target.width();
            EXPECT_LT(centre[1], 60) << path.toStdString() << " at " << target.width();
        }
    }
}

TEST_F(PhotoTest, AFileChangedOnDiskIsReadAfresh) {
    // The same name over again: a photo edited elsewhere, or a TIFF converted
    // once more and opened again.
    for (const QString& name : {u"again.png"_s, u"again.tif"_s, u"again.jpg"_s}) {
        fixtures::SolidPhoto(temp, name, 40, 30, Qt::red);
        {
            const auto photo = LoadPhoto(temp.file(name));
            ASSERT_FALSE(fixtures::Convert(*photo, QSize(40, 30), temp.file(u"converted.tif"_s)));
            EXPECT_EQ(LoadPhoto(temp.file(u"converted.tif"_s))->Width(), 40);
        }
        const auto first = LoadPhoto(temp.file(name));
        EXPECT_GT(PreviewColour(*first).red(), 200);

        QFile::remove(temp.file(name));
        fixtures::SolidPhoto(temp, name, 60, 20, Qt::blue);
        const auto second = LoadPhoto(temp.file(name));
        EXPECT_EQ(second->Width(), 60) << name.toStdString();
        EXPECT_GT(PreviewColour(*second).blue(), 200) << name.toStdString();
        const QString out = temp.file(name + u".out.tif"_s);
        ASSERT_FALSE(fixtures::Convert(*second, QSize(4, 4), out));
        EXPECT_GT(vips::VImage::new_from_file(QFile::encodeName(out).constData()).getpoint(2, 2)[2],
                  200)
            << name.toStdString();
        {
            ASSERT_FALSE(fixtures::Convert(*second, QSize(60, 20), temp.file(u"converted.tif"_s)));
            const auto reopened = LoadPhoto(temp.file(u"converted.tif"_s));
            EXPECT_EQ(reopened->Width(), 60) << "a converted TIFF opened again";
            EXPECT_GT(PreviewColour(*reopened).blue(), 200);
        }
    }
}

TEST_F(PhotoTest, ALargeGifWhoseDataCanHoldItOpens) {
    // 18 megapixels of one colour: about 1,350 pixels per byte, LZW at its best.
    const QString path = temp.file(u"large.gif"_s);
    (vips::VImage::black(4500, 4000) + 200)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
    const auto photo = LoadPhoto(path);
    EXPECT_EQ(photo->Width(), 4500);
    EXPECT_GT(PreviewColour(*photo).green(), 150);
}

TEST_F(PhotoTest, FuzzedFilesFoundOnceStayHarmless) {
    // Inputs the fuzzers once turned into crashes or runaway allocations.
    const QDir regressions(QStringLiteral(TESSIVA_SOURCE_DIR "/tests/fuzz/regressions"));
    const QStringList files = regressions.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        const auto photo = LoadPhoto(regressions.filePath(name));
        const QImage preview = photo->Preview(QSize(16, 12));
        EXPECT_TRUE(preview.isNull() || preview.size() == QSize(16, 12)) << name.toStdString();
    }
    // A metafile claiming records beyond its end is refused outright, and so
    // are pictures with a side beyond the renderer's limit (once read as one
    // pixel wide: rendering millions of lines took minutes and gigabytes).
    for (const char* name :
         {"wmf-huge-record.wmf", "emf-side-beyond-limit.emf", "emf-width-beyond-limit.emf"})
        EXPECT_EQ(LoadPhoto(regressions.filePath(QString::fromLatin1(name)))->Width(), 0) << name;
    // A GIF claiming a 390-megapixel frame in 47 bytes.
    EXPECT_EQ(LoadPhoto(regressions.filePath(u"gif-huge-frame.gif"_s))->Width(), 0);
    // A strip one pixel wide and millions high opens, but is too thin to show
    // or to scale: no preview, and the conversion fails at once.
    const auto strip = LoadPhoto(regressions.filePath(u"emf-one-pixel-strip.emf"_s));
    EXPECT_EQ(strip->Width(), 1);
    EXPECT_TRUE(strip->Preview(QSize(196, 125)).isNull());
    EXPECT_TRUE(fixtures::Convert(*strip, QSize(8, 8), temp.file(u"strip.tif"_s)));
}

TEST_F(PhotoTest, TransparencyShowsBlackInThePreview) {
    vips::VImage clear = vips::VImage::black(10, 10, vips::VImage::option()->set("bands", 4));
    const QString path = temp.file(u"clear.png"_s);
    clear.cast(VIPS_FORMAT_UCHAR).write_to_file(QFile::encodeName(path).constData());
    const auto photo = LoadPhoto(path);
    EXPECT_EQ(PreviewColour(*photo), QColor(Qt::black));
}

TEST_F(PhotoTest, ADecompressionBombIsRefusedAtOnce) {
    const auto bomb = LoadPhoto(fixtures::PngClaimingSize(temp, u"bomb.png"_s, 100000, 100000));
    EXPECT_TRUE(bomb->LoadFailure().contains(u"more than the limit"_s))
        << bomb->LoadFailure().toStdString();
    // A file this short cannot hold 200 megapixels, the size of a real camera's
    // photo; 16 megapixels cost little enough to be opened, whatever the file.
    const auto lying = LoadPhoto(fixtures::PngClaimingSize(temp, u"lying.png"_s, 16384, 12288));
    EXPECT_EQ(lying->LoadFailure(), u"the file is too short for the size it claims"_s);
    const auto cheap = LoadPhoto(fixtures::PngClaimingSize(temp, u"cheap.png"_s, 4096, 4096));
    EXPECT_EQ(cheap->Width(), 4096);
}

TEST_F(PhotoTest, ResolutionIsTheStoredOneOr96) {
    vips::VImage image = vips::VImage::black(8, 8);
    const QString dense = temp.file(u"dense.jpg"_s);
    image.copy(vips::VImage::option()->set("xres", 600 / 25.4)->set("yres", 300 / 25.4))
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(dense).constData());
    EXPECT_NEAR(LoadPhoto(dense)->HorizontalResolution(), 600.0, 0.5);
    const QString png = temp.file(u"dense.png"_s);
    image.copy(vips::VImage::option()->set("xres", 300 / 25.4))
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(png).constData());
    EXPECT_NEAR(LoadPhoto(png)->HorizontalResolution(), 300.0, 0.5);
    EXPECT_EQ(
        LoadPhoto(fixtures::SolidPhoto(temp, u"g.gif"_s, 8, 8, Qt::red))->HorizontalResolution(),
        96.0);
}

}  // namespace
