#include <gtest/gtest.h>

#include <QBuffer>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>
#include <vips/vips8>

#include "imaging/bitmap.h"
#include "imaging/imaging_library.h"
#include "imaging/photo.h"
#include "imaging/text_layout.h"
#include "photo_fixtures.h"
#include "test_support.h"

namespace {

/// Writes @p text as the window places it: its top-left corner at @p position.
void DrawText(Bitmap& bitmap, const QString& text, const QFont& font, const QColor& colour,
              QPoint position) {
    TextPlacement placement;
    placement.margin = position;
    bitmap.DrawText(LayOutText(text, font, placement, QSize(bitmap.Width(), bitmap.Height())),
                    colour, position);
}

using namespace imaging;
using vips::VImage;

class BitmapTest : public ::testing::Test {
protected:
    LibrarySession session;
    TempFolder temp;

    /// A 200 x 100 photo whose quadrants are red, green (top), blue, white (bottom).
    QString QuadrantPhoto(const QString& name) {
        const auto quadrant = [](double r, double g, double b) {
            return (VImage::black(100, 50, VImage::option()->set("bands", 3)) +
                    std::vector<double>{r, g, b})
                .cast(VIPS_FORMAT_UCHAR);
        };
        VImage image = VImage::arrayjoin({quadrant(255, 0, 0), quadrant(0, 255, 0),
                                          quadrant(0, 0, 255), quadrant(255, 255, 255)},
                                         VImage::option()->set("across", 2));
        const QString path = temp.file(name);
        image.write_to_file(QFile::encodeName(path).constData());
        return path;
    }

    static VImage Read(const QString& path) {
        return VImage::new_from_file(QFile::encodeName(path).constData());
    }
    static QColor At(const VImage& image, int x, int y) {
        const std::vector<double> p = image.getpoint(x, y);
        return QColor(int(p[0]), int(p[1]), int(p[2]));
    }
};

TEST(RotateFlip, TheTableOfTypes) {
    const int expected[4][3] = {{0, 4, 6}, {1, 5, 7}, {2, 6, 4}, {3, 7, 5}};
    const int angles[4] = {0, 90, 180, 270};
    for (int a = 0; a < 4; ++a)
        for (int f = 0; f < 3; ++f)
            EXPECT_EQ(RotateFlipFor(angles[a], f), expected[a][f]) << angles[a] << " " << f;
    EXPECT_EQ(RotateFlipFor(45, 0), std::nullopt);
    EXPECT_EQ(RotateFlipFor(-90, 1), std::nullopt);
    EXPECT_EQ(RotateFlipFor(90, 3), std::nullopt);
    EXPECT_EQ(RotateFlipFor(180, -1), std::nullopt);
    EXPECT_TRUE(IsKnownAngle(270));
    EXPECT_FALSE(IsKnownAngle(360));
}

TEST_F(BitmapTest, BitmapsThatCannotBeMadeAreRefused) {
    EXPECT_EQ(Bitmap::Create(0, 10), nullptr);
    EXPECT_EQ(Bitmap::Create(10, -1), nullptr);
    EXPECT_EQ(Bitmap::Create(30000, 30000), nullptr);  // 2.7 GB of pixels
    EXPECT_NE(Bitmap::Create(20000, 20000), nullptr);  // 1.2 GB is allowed, and costs nothing yet
}

TEST_F(BitmapTest, EveryAngleAndFlipLandsTheCornersWhereTheTableSays) {
    const auto photo = LoadPhoto(QuadrantPhoto(QStringLiteral("quadrants.png")));
    // Corner colours of the source: top-left, top-right, bottom-left, bottom-right.
    enum Corner { TL, TR, BL, BR };
    const QColor source[4] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    const auto expectCorners = [&](int type) {
        // Where each output corner comes from: rotate clockwise, then mirror.
        std::map<Corner, Corner> from{{TL, TL}, {TR, TR}, {BL, BL}, {BR, BR}};
        for (int turn = 0; turn < (type & 3); ++turn) {
            from = {{TL, from[BL]}, {TR, from[TL]}, {BR, from[TR]}, {BL, from[BR]}};
        }
        if (type >= 4) from = {{TL, from[TR]}, {TR, from[TL]}, {BL, from[BR]}, {BR, from[BL]}};
        return from;
    };
    // Each turn alone, and followed by a second one (they add up before the
    // pixels are computed).
    for (int angle : {0, 90, 180, 270}) {
        for (int flip : {0, 1, 2}) {
            for (int second : {-1, int(Rotate90FlipX), int(Rotate180FlipNone)}) {
                SCOPED_TRACE(
                    QStringLiteral("%1/%2/%3").arg(angle).arg(flip).arg(second).toStdString());
                const int type = *RotateFlipFor(angle, flip);
                auto bitmap = Bitmap::Create(200, 100);
                ASSERT_TRUE(bitmap->DrawScaled(*photo));
                ASSERT_TRUE(bitmap->RotateFlip(type));
                std::map<Corner, Corner> from = expectCorners(type);
                bool turned = angle == 90 || angle == 270;
                if (second >= 0) {
                    ASSERT_TRUE(bitmap->RotateFlip(second));
                    const std::map<Corner, Corner> then = expectCorners(second);
                    from = {{TL, from[then.at(TL)]},
                            {TR, from[then.at(TR)]},
                            {BL, from[then.at(BL)]},
                            {BR, from[then.at(BR)]}};
                    turned = turned != ((second & 1) != 0);
                }
                // (Each its own name: the library keeps files it has opened.)
                const QString out =
                    temp.file(QStringLiteral("out-%1-%2-%3.tif").arg(angle).arg(flip).arg(second));
                ASSERT_TRUE(bitmap->SaveTiff(out));
                const VImage image = Read(out);
                ASSERT_EQ(image.width(), turned ? 100 : 200);
                ASSERT_EQ(image.height(), turned ? 200 : 100);
                const int w = image.width() - 3, h = image.height() - 3;
                EXPECT_EQ(At(image, 2, 2), source[from.at(TL)]);
                EXPECT_EQ(At(image, w, 2), source[from.at(TR)]);
                EXPECT_EQ(At(image, 2, h), source[from.at(BL)]);
                EXPECT_EQ(At(image, w, h), source[from.at(BR)]);
            }
        }
    }
}

/// The value of TIFF tag @p tag in the first directory of @p path (short or long).
std::optional<uint32_t> TiffTag(const QString& path, uint16_t tag) {
    const QByteArray bytes = fixtures::Bytes(path);
    if (bytes.size() < 8 || !bytes.startsWith("II")) return std::nullopt;
    const auto u16 = [&](qsizetype at) {
        return qFromLittleEndian<uint16_t>(bytes.constData() + at);
    };
    const auto u32 = [&](qsizetype at) {
        return qFromLittleEndian<uint32_t>(bytes.constData() + at);
    };
    const uint32_t directory = u32(4);
    for (int i = 0; i < u16(directory); ++i) {
        const qsizetype entry = directory + 2 + 12 * i;
        if (u16(entry) == tag) return u16(entry + 2) == 3 ? u16(entry + 8) : u32(entry + 8);
    }
    return std::nullopt;
}

TEST_F(BitmapTest, TheTiffIs24BitRgbLzwWithPredictorAtTheSourcesResolution) {
    const QString source = temp.file(QStringLiteral("dense.jpg"));
    (VImage::black(64, 48, VImage::option()->set("bands", 3)) + 128)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("xres", 600 / 25.4)->set("yres", 300 / 25.4))
        .write_to_file(QFile::encodeName(source).constData());
    const auto photo = LoadPhoto(source);
    auto bitmap = Bitmap::Create(32, 24);
    ASSERT_TRUE(bitmap->SetResolution(photo->HorizontalResolution()));
    ASSERT_TRUE(bitmap->DrawScaled(*photo));
    const QString out = temp.file(QStringLiteral("out.tif"));
    ASSERT_TRUE(bitmap->SaveTiff(out));

    const VImage image = Read(out);
    EXPECT_EQ(image.bands(), 3);
    EXPECT_EQ(image.format(), VIPS_FORMAT_UCHAR);
    EXPECT_NEAR(image.xres() * 25.4, 600.0, 0.01);
    EXPECT_NEAR(image.yres() * 25.4, 600.0, 0.01);
    EXPECT_EQ(TiffTag(out, 259), 5u);  // LZW
    EXPECT_EQ(TiffTag(out, 317), 2u);  // horizontal predictor
    EXPECT_EQ(TiffTag(out, 296), 2u);  // inches
    EXPECT_EQ(TiffTag(out, 277), 3u);  // three samples
    EXPECT_FALSE(bitmap->SetResolution(0));
}

TEST_F(BitmapTest, TransparencyIsDrawnOnBlack) {
    const QString path = temp.file(QStringLiteral("clear.png"));
    VImage::black(10, 10, VImage::option()->set("bands", 4))
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
    auto bitmap = Bitmap::Create(5, 5);
    ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(path)));
    const QString out = temp.file(QStringLiteral("clear.tif"));
    ASSERT_TRUE(bitmap->SaveTiff(out));
    EXPECT_EQ(At(Read(out), 2, 2), QColor(Qt::black));
}

TEST_F(BitmapTest, TextIsDrawnAtItsPositionAndTurnsWithThePhoto) {
    const QString white =
        fixtures::SolidPhoto(temp, QStringLiteral("white.png"), 200, 100, Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    font.setBold(true);
    for (int type : {0, 2}) {
        auto bitmap = Bitmap::Create(200, 100);
        ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(white)));
        DrawText(*bitmap, QStringLiteral("\u2588"), font, Qt::red, QPoint(10, 10));  // a full block
        ASSERT_TRUE(bitmap->RotateFlip(type));
        const QString out = temp.file(QStringLiteral("text-%1.tif").arg(type));
        ASSERT_TRUE(bitmap->SaveTiff(out));
        const VImage image = Read(out);
        const QPoint inside = type == 0 ? QPoint(20, 30) : QPoint(200 - 1 - 20, 100 - 1 - 30);
        EXPECT_EQ(At(image, inside.x(), inside.y()), QColor(Qt::red)) << type;
        EXPECT_EQ(At(image, 100, 50), QColor(Qt::white)) << type;
    }
}

TEST_F(BitmapTest, OnlyTheEightRotateFlipTypesExist) {
    auto bitmap = Bitmap::Create(4, 2);
    EXPECT_FALSE(bitmap->RotateFlip(8));
    EXPECT_FALSE(bitmap->RotateFlip(-1));
    EXPECT_EQ(bitmap->Width(), 4);
    EXPECT_TRUE(bitmap->RotateFlip(Rotate270FlipNone));
    EXPECT_EQ(bitmap->Width(), 2);
}

TEST_F(BitmapTest, TextInAnyScriptIsDrawn) {
    const QString white = fixtures::SolidPhoto(temp, QStringLiteral("w.png"), 120, 60, Qt::white);
    QFont font(QStringLiteral("No Such Face"));  // falls back to a font that exists
    font.setPixelSize(30);
    int written = 0;
    for (const QString& text : {QStringLiteral("写真"), QStringLiteral("Ärger"),
                                QStringLiteral("Фото"), QStringLiteral("👍🏽")}) {
        auto bitmap = Bitmap::Create(120, 60);
        ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(white)));
        DrawText(*bitmap, text, font, Qt::black, QPoint(5, 5));
        // A name of its own: the library keeps files it has read.
        const QString out = temp.file(QStringLiteral("script-%1.tif").arg(written++));
        ASSERT_TRUE(bitmap->SaveTiff(out));
        const VImage ink = Read(out).crop(0, 0, 120, 45);
        // Black text, yet a colour glyph keeps its colours (and a skin tone stays on it).
        if (text.startsWith(QStringLiteral("👍")))
            EXPECT_GT((ink[0] - ink[2]).max(), 60.0);
        else
            EXPECT_LT(ink.min(), 60.0) << text.toStdString();  // ink was laid
    }
}

TEST_F(BitmapTest, SavingReplacesAFileOnlyWithACompleteOne) {
    const auto photo =
        LoadPhoto(fixtures::SolidPhoto(temp, QStringLiteral("a.png"), 20, 10, Qt::red));
    auto bitmap = Bitmap::Create(20, 10);
    ASSERT_TRUE(bitmap->DrawScaled(*photo));

    const QString existing = temp.write(QStringLiteral("out/old.tif"), "old contents");
    ASSERT_TRUE(bitmap->SaveTiff(existing));
    EXPECT_EQ(Read(existing).width(), 20);

    EXPECT_FALSE(bitmap->SaveTiff(temp.file(QStringLiteral("missing/out.tif"))));
    EXPECT_FALSE(QFile::exists(temp.file(QStringLiteral("missing"))));
    const QString folder = temp.mkdir(QStringLiteral("out/folder.tif"));
    EXPECT_FALSE(bitmap->SaveTiff(folder));
    EXPECT_EQ(QDir(temp.file(QStringLiteral("out"))).entryList(QDir::Files),
              QStringList{QStringLiteral("old.tif")});
}

TEST_F(BitmapTest, APhotoStreamingFromItsFileIsReadAfreshForEachSaving) {
    // A JPEG streams once from the top: a second saving must open it again.
    const QString png = QuadrantPhoto(QStringLiteral("q.png"));
    const QString jpeg = temp.file(QStringLiteral("q.jpg"));
    Read(png).write_to_file(QFile::encodeName(jpeg).constData());
    auto bitmap = Bitmap::Create(100, 50);
    ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(jpeg)));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(20);
    DrawText(*bitmap, QStringLiteral("\u2588"), font, Qt::black, QPoint(10, 10));
    const QString first = temp.file(QStringLiteral("first.tif"));
    const QString second = temp.file(QStringLiteral("second.tif"));
    ASSERT_TRUE(bitmap->SaveTiff(first)) << bitmap->Error().toStdString();
    ASSERT_TRUE(bitmap->SaveTiff(second)) << bitmap->Error().toStdString();
    QBuffer piped;
    piped.open(QIODevice::WriteOnly);
    ASSERT_TRUE(bitmap->WriteTiff(piped));
    EXPECT_EQ(fixtures::Bytes(first), fixtures::Bytes(second));
    EXPECT_EQ(fixtures::Bytes(first), piped.data());
    EXPECT_EQ(At(Read(first), 15, 20), QColor(Qt::black));
}

TEST_F(BitmapTest, GreyAndSixteenBitPhotosBecome24BitRgb) {
    const QString grey = temp.file(QStringLiteral("grey.png"));
    (VImage::black(8, 8) + 77)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(grey).constData());
    const QString deep = temp.file(QStringLiteral("deep.tif"));
    (VImage::black(8, 8, VImage::option()->set("bands", 3)) + std::vector<double>{65535, 0, 32896})
        .cast(VIPS_FORMAT_USHORT)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16))
        .write_to_file(QFile::encodeName(deep).constData());
    const std::pair<QString, QColor> cases[] = {{grey, QColor(77, 77, 77)},
                                                {deep, QColor(255, 0, 128)}};
    for (const auto& [path, colour] : cases) {
        auto bitmap = Bitmap::Create(4, 4);
        ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(path)));
        const QString out = path + QStringLiteral(".out.tif");
        ASSERT_TRUE(bitmap->SaveTiff(out));
        const VImage image = Read(out);
        EXPECT_EQ(image.bands(), 3);
        EXPECT_EQ(image.format(), VIPS_FORMAT_UCHAR);
        EXPECT_EQ(At(image, 2, 2), colour) << path.toStdString();
    }
}

TEST_F(BitmapTest, ShrinkingAveragesFineDetailInsteadOfAliasing) {
    // A one-pixel checkerboard shrunk three times is an even grey, not a pattern.
    const VImage xy = VImage::xyz(300, 300);
    const VImage board = (((xy[0] + xy[1]) % 2) * 255).cast(VIPS_FORMAT_UCHAR);
    const QString path = temp.file(QStringLiteral("board.png"));
    VImage::bandjoin({board, board, board})
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(QFile::encodeName(path).constData());
    auto bitmap = Bitmap::Create(100, 100);
    ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(path)));
    const QString out = temp.file(QStringLiteral("board.tif"));
    ASSERT_TRUE(bitmap->SaveTiff(out));
    const VImage grey = Read(out).crop(5, 5, 90, 90);  // away from the edges
    EXPECT_NEAR(grey.avg(), 127.5, 4.0);
    EXPECT_LT(grey.deviate(), 6.0);
}

TEST_F(BitmapTest, EnlargingKeepsPixelCentresInLine) {
    // Left half black, right half white; four times wider, the edge must stay
    // in the middle: the two pixels beside it mirror each other.
    const QString path = temp.file(QStringLiteral("edge.png"));
    VImage half = VImage::black(5, 4, VImage::option()->set("bands", 3));
    half.join(half + 255, VIPS_DIRECTION_HORIZONTAL)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(QFile::encodeName(path).constData());
    auto bitmap = Bitmap::Create(40, 16);
    ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(path)));
    const QString out = temp.file(QStringLiteral("edge.tif"));
    ASSERT_TRUE(bitmap->SaveTiff(out));
    const VImage image = Read(out);
    for (int offset = 0; offset < 6; ++offset) {
        const int left = At(image, 19 - offset, 8).red();
        const int right = At(image, 20 + offset, 8).red();
        EXPECT_NEAR(left + right, 255, 2) << offset;
    }
    EXPECT_EQ(At(image, 0, 8).red(), 0);
    EXPECT_EQ(At(image, 39, 8).red(), 255);
}

TEST_F(BitmapTest, EnlargingIsCatmullRomCubicToWithinALevel) {
    // A zone plate (every frequency, every direction), enlarged on both axes,
    // on one, and from a single pixel, against the cubic worked out directly
    // in two dimensions: pixel centres in line, edges extended.
    const VImage zone = (VImage::zone(97, 61) * 127.5 + 127.5).cast(VIPS_FORMAT_UCHAR);
    const VImage plate =
        VImage::bandjoin({zone, zone.rot90(), zone})
            .crop(0, 0, 61, 61)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const QString path = temp.file(QStringLiteral("zone.png"));
    plate.write_to_file(QFile::encodeName(path).constData());
    const QString dot = temp.file(QStringLiteral("dot.png"));
    plate.crop(30, 30, 1, 1).write_to_file(QFile::encodeName(dot).constData());
    const auto weights = [](double t) {
        return std::array<double, 4>{((-0.5 * t + 1.0) * t - 0.5) * t,
                                     (1.5 * t - 2.5) * t * t + 1.0,
                                     ((-1.5 * t + 2.0) * t + 0.5) * t, (0.5 * t - 0.5) * t * t};
    };
    const std::tuple<QString, int, int> cases[] = {
        {path, 250, 173}, {path, 200, 61}, {path, 61, 130}, {dot, 5, 3}};
    for (const auto& [source, width, height] : cases) {
        const VImage input = Read(source).copy_memory();
        const int inW = input.width(), inH = input.height();
        const auto* in = static_cast<const uint8_t*>(input.data());
        auto bitmap = Bitmap::Create(width, height);
        ASSERT_TRUE(bitmap->DrawScaled(*LoadPhoto(source)));
        const QString out = temp.file(QStringLiteral("zone-%1x%2.tif").arg(width).arg(height));
        ASSERT_TRUE(bitmap->SaveTiff(out));
        const VImage made = Read(out).copy_memory();
        const auto* got = static_cast<const uint8_t*>(made.data());
        double worst = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double u = (x + 0.5) * inW / width - 0.5, v = (y + 0.5) * inH / height - 0.5;
                const int bx = int(std::floor(u)), by = int(std::floor(v));
                const auto wx = weights(u - bx), wy = weights(v - by);
                for (int b = 0; b < 3; ++b) {
                    double sum = 0;
                    for (int j = 0; j < 4; ++j)
                        for (int i = 0; i < 4; ++i) {
                            const int sx = std::clamp(bx - 1 + i, 0, inW - 1);
                            const int sy = std::clamp(by - 1 + j, 0, inH - 1);
                            sum += wx[size_t(i)] * wy[size_t(j)] * in[(sy * inW + sx) * 3 + b];
                        }
                    const double expected = std::clamp(std::round(sum), 0.0, 255.0);
                    worst = std::max(worst, std::abs(expected - got[(y * width + x) * 3 + b]));
                }
            }
        EXPECT_LE(worst, 1.0) << width << "x" << height;
    }
}

TEST_F(BitmapTest, AnUndecodablePhotoCannotBeDrawn) {
    const auto photo = LoadPhoto(temp.write(QStringLiteral("x.jpg"), "not a photo"));
    auto bitmap = Bitmap::Create(10, 10);
    EXPECT_FALSE(bitmap->DrawScaled(*photo));
}

}  // namespace
