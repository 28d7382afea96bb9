#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <vips/vips8>

#include "imaging/imaging_library.h"
#include "imaging/photo.h"
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
    const QString path = fixtures::SolidPhoto(temp, QString::fromLatin1(GetParam().name), 64, 40, Qt::red);
    const auto photo = LoadPhoto(path);
    EXPECT_EQ(photo->Width(), 64);
    EXPECT_EQ(photo->Height(), 40);
    ASSERT_EQ(photo->FrameDimensions().size(), 1u);
    const QUuid dimension = photo->FrameDimensions()[0];
    EXPECT_EQ(FrameDimensionName(dimension, 0), QStringLiteral("FrameDimension") +
                                                    QString::fromLatin1(GetParam().expectDimension));
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
    const auto photo = LoadPhoto(fixtures::FramedPhoto(temp, QStringLiteral("anim.gif"), 30, 20, colours));
    ASSERT_EQ(photo->FrameDimensions(), std::vector<QUuid>{kFrameDimensionTime});
    EXPECT_EQ(photo->FrameCount(kFrameDimensionTime), 5u);
    EXPECT_EQ(photo->FrameCount(kFrameDimensionPage), 0u);
    EXPECT_EQ(photo->Height(), 20);
    EXPECT_GT(PreviewColour(*photo).red(), 200);
    ASSERT_TRUE(photo->SelectActiveFrame(kFrameDimensionTime, 2));
    EXPECT_GT(PreviewColour(*photo).blue(), 200);
    EXPECT_LT(PreviewColour(*photo).red(), 60);
    EXPECT_FALSE(photo->SelectActiveFrame(kFrameDimensionTime, 5));
    EXPECT_FALSE(photo->SelectActiveFrame(kFrameDimensionPage, 1));
    EXPECT_GT(PreviewColour(*photo).blue(), 200);  // unchanged
}

TEST_F(PhotoTest, TiffPagesAreThePageDimension) {
    const auto photo = LoadPhoto(fixtures::FramedPhoto(temp, QStringLiteral("pages.tif"), 30, 20,
                                                       {Qt::red, Qt::green, Qt::blue}));
    ASSERT_EQ(photo->FrameDimensions(), std::vector<QUuid>{kFrameDimensionPage});
    EXPECT_EQ(photo->FrameCount(kFrameDimensionPage), 3u);
    ASSERT_TRUE(photo->SelectActiveFrame(kFrameDimensionPage, 1));
    EXPECT_GT(PreviewColour(*photo).green(), 200);
}

TEST_F(PhotoTest, IconSizesAreTheResolutionDimensionEachWithItsOwnSize) {
    const auto photo = LoadPhoto(fixtures::IconFile(temp, QStringLiteral("app.ico"), {16, 32, 48},
                                                    {Qt::red, Qt::green, Qt::blue}));
    ASSERT_EQ(photo->FrameDimensions(), std::vector<QUuid>{kFrameDimensionResolution});
    EXPECT_EQ(photo->FrameCount(kFrameDimensionResolution), 3u);
    EXPECT_EQ(photo->Width(), 16);
    ASSERT_TRUE(photo->SelectActiveFrame(kFrameDimensionResolution, 2));
    EXPECT_EQ(photo->Width(), 48);
    EXPECT_GT(PreviewColour(*photo).blue(), 200);
    EXPECT_FALSE(photo->SelectActiveFrame(kFrameDimensionResolution, 3));
    EXPECT_EQ(photo->Width(), 48);
}

TEST_F(PhotoTest, CameraRawFilesAreDevelopedForThePreview) {
    const QString dngPath = fixtures::LinearDng(temp, QStringLiteral("camera.dng"), 32, 24);
    const auto photo = LoadPhoto(dngPath);
    EXPECT_EQ(photo->Width(), 32);
    EXPECT_EQ(photo->Height(), 24);
    EXPECT_EQ(photo->FrameDimensions(), std::vector<QUuid>{kFrameDimensionPage});
    const QImage preview = photo->Preview(QSize(16, 12));
    ASSERT_EQ(preview.size(), QSize(16, 12));
    EXPECT_GT(preview.pixelColor(3, 8).red(), 150);
    EXPECT_GT(preview.pixelColor(13, 8).blue(), 150);
    // A raw name on something else falls back to the ordinary loaders.
    const QString png = fixtures::SolidPhoto(temp, QStringLiteral("x.png"), 8, 8, Qt::green);
    QFile::copy(png, temp.file(QStringLiteral("renamed.nef")));
    EXPECT_EQ(LoadPhoto(temp.file(QStringLiteral("renamed.nef")))->Width(), 8);
}

TEST_F(PhotoTest, MetafilesAreRendered) {
    for (const QString& path : {fixtures::RedEmf(temp, QStringLiteral("box.emf")),
                                fixtures::RedWmf(temp, QStringLiteral("box.wmf"))}) {
        const auto photo = LoadPhoto(path);
        EXPECT_NEAR(photo->Width(), 100, 1) << path.toStdString();
        EXPECT_NEAR(photo->Height(), 50, 1) << path.toStdString();
        EXPECT_GT(PreviewColour(*photo).red(), 200) << path.toStdString();
        // Cut after the header: undecodable, not a crash.
        const QByteArray bytes = fixtures::Bytes(path);
        for (qsizetype keep : {qsizetype(50), bytes.size() - 10}) {
            const QString cut = temp.write(QStringLiteral("cut-%1.%2").arg(keep).arg(path.right(3)), bytes.left(keep));
            LoadPhoto(cut)->Preview(QSize(8, 8));
        }
    }
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
    // A metafile claiming records beyond its end is refused outright.
    EXPECT_EQ(LoadPhoto(regressions.filePath(QStringLiteral("wmf-huge-record.wmf")))->Width(), 0);
}

TEST_F(PhotoTest, TransparencyShowsBlackInThePreview) {
    vips::VImage clear = vips::VImage::black(10, 10, vips::VImage::option()->set("bands", 4));
    const QString path = temp.file(QStringLiteral("clear.png"));
    clear.cast(VIPS_FORMAT_UCHAR).write_to_file(QFile::encodeName(path).constData());
    const auto photo = LoadPhoto(path);
    EXPECT_EQ(PreviewColour(*photo), QColor(Qt::black));
}

TEST_F(PhotoTest, FilesThatAreNoPhotosHaveNoSize) {
    const QString jpeg = fixtures::SolidPhoto(temp, QStringLiteral("whole.jpg"), 64, 64, Qt::red);
    const QByteArray bytes = fixtures::Bytes(jpeg);
    const QString cases[] = {
        temp.write(QStringLiteral("empty.jpg")),
        temp.write(QStringLiteral("text.jpg"), "this is not a photo\n"),
        temp.write(QStringLiteral("header-only.jpg"), bytes.left(20)),
        temp.write(QStringLiteral("noise.png"), QByteArray(5000, '\x5a')),
        temp.mkdir(QStringLiteral("folder.jpg")),
        temp.file(QStringLiteral("missing.jpg")),
    };
    for (const QString& path : cases) {
        const auto photo = LoadPhoto(path);
        EXPECT_EQ(photo->Width(), 0) << path.toStdString();
        EXPECT_EQ(photo->Height(), 0) << path.toStdString();
        EXPECT_TRUE(photo->FrameDimensions().empty());
        EXPECT_TRUE(photo->Preview(QSize(8, 8)).isNull());
    }
}

TEST_F(PhotoTest, ATruncatedPhotoOpensAndPreviewsWithoutCrashing) {
    const QString jpeg = fixtures::SolidPhoto(temp, QStringLiteral("big.jpg"), 400, 300, Qt::red);
    const QString cut = temp.write(QStringLiteral("cut.jpg"), fixtures::Bytes(jpeg).chopped(200));
    const auto photo = LoadPhoto(cut);
    EXPECT_EQ(photo->Width(), 400);
    photo->Preview(QSize(20, 15));  // whatever it shows, it returns
}

TEST_F(PhotoTest, ADecompressionBombIsRefusedAtOnce) {
    QElapsedTimer timer;
    timer.start();
    const auto bomb = LoadPhoto(fixtures::PngClaimingSize(temp, QStringLiteral("bomb.png"), 100000, 100000));
    EXPECT_EQ(bomb->Width(), 0);
    // 200 megapixels is a real camera's size and still opens.
    const auto large = LoadPhoto(fixtures::PngClaimingSize(temp, QStringLiteral("large.png"), 16384, 12288));
    EXPECT_EQ(large->Width(), 16384);
    EXPECT_LT(timer.elapsed(), 5000);  // a guard against reading pixels, not a benchmark
}

TEST_F(PhotoTest, ResolutionIsTheStoredOneOr96) {
    vips::VImage image = vips::VImage::black(8, 8);
    const QString dense = temp.file(QStringLiteral("dense.jpg"));
    image.copy(vips::VImage::option()->set("xres", 600 / 25.4)->set("yres", 300 / 25.4))
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(dense).constData());
    EXPECT_NEAR(LoadPhoto(dense)->HorizontalResolution(), 600.0, 0.5);
    const QString png = temp.file(QStringLiteral("dense.png"));
    image.copy(vips::VImage::option()->set("xres", 300 / 25.4)).cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(png).constData());
    EXPECT_NEAR(LoadPhoto(png)->HorizontalResolution(), 300.0, 0.5);
    EXPECT_EQ(LoadPhoto(fixtures::SolidPhoto(temp, QStringLiteral("g.gif"), 8, 8, Qt::red))->HorizontalResolution(), 96.0);
}

}  // namespace
