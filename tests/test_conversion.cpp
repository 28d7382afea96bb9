#include <gtest/gtest.h>

#include <QBuffer>

#include <QFile>
#include <QFont>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>
#include <vips/vips8>

#include "imaging/execute.h"
#include "imaging/imaging_library.h"
#include "imaging/photo.h"
#include "imaging/text_layout.h"
#include "photo_fixtures.h"
#include "test_support.h"

namespace {

using namespace imaging;
using vips::VImage;

class ConversionTest : public ::testing::Test {
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

    /// Converts @p path at @p size into @p out, with @p text at @p position when given.
    static std::optional<StepFailure> Convert(const QString& path, QSize size, const QString& out,
                                              const QString& text = {}, QPoint position = {},
                                              const QFont& font = {}) {
        ConversionRequest request;
        request.output = size;
        request.text = text;
        request.font = font;
        request.placement.margin = position;
        return fixtures::Convert(*LoadPhoto(path), request, out);
    }

    static VImage Read(const QString& path) {
        return VImage::new_from_file(QFile::encodeName(path).constData());
    }
    static QColor At(const VImage& image, int x, int y) {
        const std::vector<double> p = image.getpoint(x, y);
        return QColor(int(p[0]), int(p[1]), int(p[2]));
    }
};

TEST(Turn, TurnsComposeAsTheirTransformsDo) {
    // Checked against Qt's matrices: composing, undoing and sizing a turn.
    const QSize size(7, 3);
    for (int first = 0; first < 8; ++first) {
        const Turn a = Turn::Of(first % 4, first >= 4);
        EXPECT_TRUE(a.Then(a.Inverse()).IsNone()) << first;
        EXPECT_EQ(a.Transform(size).mapRect(QRectF(QPointF(0, 0), size)),
                  QRectF(QPointF(0, 0), a.Applied(size)))
            << first;
        for (int second = 0; second < 8; ++second) {
            const Turn b = Turn::Of(second % 4, second >= 4);
            EXPECT_EQ(a.Then(b).Transform(size), a.Transform(size) * b.Transform(a.Applied(size)))
                << first << " then " << second;
        }
    }
    // A vertical flip is a horizontal one after half a turn; other angles and flips are none.
    EXPECT_EQ(Turn::ByAngleAndFlip(90, 2), Turn::ByAngleAndFlip(270, 1));
    EXPECT_EQ(Turn::ByAngleAndFlip(45, 0), std::nullopt);
    EXPECT_EQ(Turn::ByAngleAndFlip(90, 3), std::nullopt);
    EXPECT_EQ(Turn::ByAngleAndFlip(180, -1), std::nullopt);
    // Orientation 6 (the camera held turned left) is set upright by turning right.
    EXPECT_EQ(Turn::Uprighting(6), Turn::ByAngleAndFlip(90, 0));
    EXPECT_EQ(Turn::Uprighting(9), Turn());
}

TEST(Plan, CorrectionsAndRefusalsAreDecidedBeforeAnyPixel) {
    ConversionRequest request;
    request.output = QSize(200, 100);
    request.text = u"x"_s;
    struct Case {
        QPoint position;
        int angle;
        bool upright;
        std::vector<Step> told;
    };
    const Case cases[] = {
        {{10, 10}, 90, false, {}},
        {{200, 10}, 0, false, {Step::TextX}},
        {{-1, 100}, 0, false, {Step::TextX, Step::TextY}},
        // Upright at 90 degrees the output is 100 wide: 150 lies beyond it.
        {{150, 10}, 90, true, {Step::TextX}},
        {{250, 10}, 45, false, {Step::TextX, Step::Angle}},
        {{10, 150}, 45, true, {Step::Angle, Step::TextY}},
    };
    for (const Case& c : cases) {
        request.placement.margin = c.position;
        request.angle = c.angle;
        request.textUpright = c.upright;
        const ConversionPlan plan = PlanConversion({}, request);
        EXPECT_EQ(plan.corrections, c.told) << c.position.x() << "," << c.position.y();
        // Told once converted; a frame that fails to decode says only that.
        EXPECT_EQ(WhatToTell(plan, std::nullopt).size(), c.told.size());
        EXPECT_EQ(WhatToTell(plan, StepFailure{Step::Scale, {}}).size(), 1u);
        EXPECT_EQ(WhatToTell(plan, StepFailure{Step::Save, {}}).size(), c.told.size() + 1);
    }
    // The camera's turn and the user's are one; the output's sides follow the user's.
    request.angle = 90;
    const ConversionPlan turned = PlanConversion({6, 300.0}, request);
    EXPECT_EQ(turned.scaled, QSize(100, 200));
    EXPECT_EQ(turned.turn, Turn::ByAngleAndFlip(180, 0));
    EXPECT_EQ(turned.output, QSize(100, 200));
    EXPECT_EQ(turned.dpi, 300.0);
    // 2.7 GB of pixels is refused before anything is read; 1.2 GB is allowed.
    for (const auto& [side, refused] : {std::pair{30000, true}, {20000, false}, {0, true}}) {
        request.output = QSize(side, side);
        EXPECT_EQ(PlanConversion({}, request).refusal.isEmpty(), !refused) << side;
    }
}

TEST_F(ConversionTest, EveryTurnLandsThePixelsWhereItsTransformSays) {
    // Red, green (top), blue, white (bottom), stored as is or turned by the camera.
    const QString stored = QuadrantPhoto(u"quadrants.png"_s);
    const QString tagged = temp.file(u"tagged.tif"_s);
    VImage withTag = Read(stored).copy();
    withTag.set(VIPS_META_ORIENTATION, 5);
    withTag.write_to_file(QFile::encodeName(tagged).constData());
    for (const bool upright : {false, true}) {
        OpenOptions options;
        options.autoOrient = upright;
        const auto photo = LoadPhoto(upright ? tagged : stored, options);
        ASSERT_EQ(photo->IsUpright(), upright);
        const QImage shown = photo->Preview(QSize(photo->Width(), photo->Height()));
        for (int angle : {0, 90, 180, 270}) {
            for (int flip : {0, 1, 2}) {
                SCOPED_TRACE(u"%1/%2/%3"_s.arg(upright).arg(angle).arg(flip).toStdString());
                ConversionRequest request;
                request.output = shown.size();
                request.angle = angle;
                request.flipType = flip;
                // (Each its own name: the library keeps files it has opened.)
                const QString out =
                    temp.file(u"out-%1-%2-%3.tif"_s.arg(upright).arg(angle).arg(flip));
                ASSERT_FALSE(fixtures::Convert(*photo, request, out));
                const VImage image = Read(out);
                const Turn turn = *Turn::ByAngleAndFlip(angle, flip);
                ASSERT_EQ(QSize(image.width(), image.height()), turn.Applied(shown.size()));
                // Each pixel comes from where the turn's transform takes it back to.
                const QTransform back = turn.Transform(shown.size()).inverted();
                const int w = image.width() - 3, h = image.height() - 3;
                for (const QPoint at : {QPoint(2, 2), QPoint(w, 2), QPoint(2, h), QPoint(w, h)}) {
                    const QPointF from = back.map(QPointF(at) + QPointF(0.5, 0.5));
                    EXPECT_EQ(At(image, at.x(), at.y()),
                              shown.pixelColor(int(from.x()), int(from.y())))
                        << at.x() << "," << at.y();
                }
            }
        }
    }
}

TEST_F(ConversionTest, TheSmallResultIsTheTiffShrunkForEveryTurnFlipAndUprightCaption) {
    // Smooth tones, so that only the turns and the caption can tell the two apart;
    // the caption as large against the photo as on a camera's.
    const VImage xy = VImage::xyz(1800, 1200);
    const QString path = temp.file(u"scene.png"_s);
    VImage::bandjoin({xy[0] * 0.1 + 40, xy[1] * 0.13 + 30, (xy[0] + xy[1]) * 0.05 + 60})
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
    const auto photo = LoadPhoto(path);
    const QSize box(196, 124);  // the window's picture frame
    const QImage copy = photo->Preview(QSize(1800, 1200).scaled(box * 2, Qt::KeepAspectRatio));
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(40);
    double worst = 99;
    for (int angle : {0, 90, 180, 270})
        for (int flip : {0, 1, 2})
            for (bool upright : {false, true}) {
                ConversionRequest request;
                request.output = QSize(1800, 1200);
                request.angle = angle;
                request.flipType = flip;
                request.textUpright = upright;
                request.text = u"Tessiva"_s;
                request.font = font;
                request.colour = Qt::red;
                request.placement.margin = QPoint(30, 20);
                const ConversionPlan plan = PlanConversion(FactsOf(*photo), request);
                const QString out = temp.file(u"r%1-%2-%3.tif"_s.arg(angle).arg(flip).arg(upright));
                ASSERT_FALSE(Execute(plan, *photo, {}, {out}));
                const VImage tiff = Read(out);
                const QImage small =
                    ExecuteSmall(plan, copy, box, Qt::black).convertToFormat(QImage::Format_RGB888);
                const double scale = std::min(double(box.width()) / tiff.width(),
                                              double(box.height()) / tiff.height());
                const QSize drawn(int(std::lround(tiff.width() * scale)),
                                  int(std::lround(tiff.height() * scale)));
                const QImage picture = small.copy(QRect(
                    QPoint((box.width() - drawn.width()) / 2, (box.height() - drawn.height()) / 2),
                    drawn));
                const vips::VImage shown = fixtures::FromImage(picture);
                const VImage shrunk = tiff.resize(
                    double(drawn.width()) / tiff.width(),
                    VImage::option()->set("vscale", double(drawn.height()) / tiff.height()));
                const double psnr = fixtures::Psnr(shown, shrunk);
                worst = std::min(worst, psnr);
                EXPECT_GE(psnr, 48.0) << angle << "/" << flip << "/" << upright;
            }
    RecordProperty("worst_psnr", std::to_string(worst));
}

TEST_F(ConversionTest, AnAreaOfTheResultIsThatAreaOfTheTiff) {
    // Stored turned by the camera and opened upright, with a caption over an area's edge.
    const QString tagged = temp.file(u"tagged.tif"_s);
    VImage withTag = Read(QuadrantPhoto(u"q.png"_s)).copy();
    withTag.set(VIPS_META_ORIENTATION, 6);
    withTag.write_to_file(QFile::encodeName(tagged).constData());
    OpenOptions upright;
    upright.autoOrient = true;
    const auto photo = LoadPhoto(tagged, upright);
    for (const auto& [angle, flip, textUpright] :
         {std::tuple{0, 0, false}, {90, 1, false}, {270, 2, true}, {180, 0, true}}) {
        ConversionRequest request;
        request.output = QSize(150, 260);
        request.angle = angle;
        request.flipType = flip;
        request.textUpright = textUpright;
        request.text = u"Tessiva\nat 1:1"_s;
        request.font.setPixelSize(30);
        request.colour = Qt::red;
        request.placement.margin = QPoint(20, 40);
        const ConversionPlan plan = PlanConversion(FactsOf(*photo), request);
        const QString out = temp.file(u"area-%1-%2.tif"_s.arg(angle).arg(flip));
        ASSERT_FALSE(Execute(plan, *photo, {}, {out}));
        const VImage tiff = Read(out);
        for (const QRect area :
             {QRect(0, 0, 60, 50), QRect(30, 45, 90, 70), QRect(100, 60, 500, 500)}) {
            const auto got = ExecuteArea(plan, *photo, area);
            ASSERT_TRUE(std::holds_alternative<QImage>(got));
            const QImage& image = std::get<QImage>(got);
            const QRect inside = area.intersected(QRect(QPoint(0, 0), plan.output));
            ASSERT_EQ(image.size(), inside.size());
            const VImage expected =
                tiff.crop(inside.x(), inside.y(), inside.width(), inside.height());
            const vips::VImage shown = fixtures::FromImage(image);
            EXPECT_EQ((shown - expected).abs().max(), 0.0)
                << angle << "/" << flip << " at " << area.x() << "," << area.y();
        }
    }
}

TEST_F(ConversionTest, UprightTextReadsUprightWhereAViewerAppliesTheCarriedTag) {
    // Written as stored, orientation 6 kept: the viewer turns the pixels, not the caption.
    const QString tagged = temp.file(u"six.tif"_s);
    VImage white = (VImage::black(400, 300, VImage::option()->set("bands", 3)) + 255)
                       .cast(VIPS_FORMAT_UCHAR)
                       .copy();
    white.set(VIPS_META_ORIENTATION, 6);
    white.write_to_file(QFile::encodeName(tagged).constData());
    const auto photo = LoadPhoto(tagged);
    ConversionRequest request;
    request.output = QSize(400, 300);
    request.metadata = MetadataChoice::All;
    request.textUpright = true;
    request.text = u"CAPTION"_s;
    request.font.setPixelSize(30);
    request.colour = Qt::red;
    request.placement.anchor = Anchor::SouthEast;
    request.placement.margin = QPointF(2, 2);
    request.placement.marginInPercent = true;
    const QString out = temp.file(u"six-out.tif"_s);
    ASSERT_FALSE(fixtures::Convert(*photo, request, out));
    const VImage seen = Read(out).autorot();
    ASSERT_EQ(QSize(seen.width(), seen.height()), QSize(300, 400));
    int top = 0, width = 0, height = 0;
    const int left = (seen[1] < 128)
                         .find_trim(&top, &width, &height,
                                    VImage::option()->set("background", std::vector<double>{0}));
    EXPECT_GT(width, 2 * height);  // across, not down the side
    // In the bottom-right corner, 2% in (the box's descent below the capitals' ink).
    EXPECT_GE(left + width, 280);
    EXPECT_LE(left + width, 294);
    EXPECT_GE(top + height, 375);
    EXPECT_LE(top + height, 392);
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

TEST_F(ConversionTest, TheTiffIs24BitRgbLzwWithPredictorAtTheSourcesResolution) {
    const QString source = temp.file(u"dense.jpg"_s);
    (VImage::black(64, 48, VImage::option()->set("bands", 3)) + 128)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("xres", 600 / 25.4)->set("yres", 300 / 25.4))
        .write_to_file(QFile::encodeName(source).constData());
    const QString out = temp.file(u"out.tif"_s);
    ASSERT_FALSE(Convert(source, QSize(32, 24), out));

    const VImage image = Read(out);
    EXPECT_EQ(image.bands(), 3);
    EXPECT_EQ(image.format(), VIPS_FORMAT_UCHAR);
    EXPECT_NEAR(image.xres() * 25.4, 600.0, 0.01);
    EXPECT_NEAR(image.yres() * 25.4, 600.0, 0.01);
    EXPECT_EQ(TiffTag(out, 259), 5u);  // LZW
    EXPECT_EQ(TiffTag(out, 317), 2u);  // horizontal predictor
    EXPECT_EQ(TiffTag(out, 296), 2u);  // inches
    EXPECT_EQ(TiffTag(out, 277), 3u);  // three samples
}

TEST_F(ConversionTest, TextInAnyScriptIsDrawn) {
    const QString white = fixtures::SolidPhoto(temp, u"w.png"_s, 120, 60, Qt::white);
    QFont font(u"No Such Face"_s);  // falls back to a font that exists
    font.setPixelSize(30);
    int written = 0;
    for (const QString& text : {u"写真"_s, u"Ärger"_s, u"Фото"_s, u"👍🏽"_s}) {
        // A name of its own: the library keeps files it has read.
        const QString out = temp.file(u"script-%1.tif"_s.arg(written++));
        ASSERT_FALSE(Convert(white, QSize(120, 60), out, text, QPoint(5, 5), font));
        const VImage ink = Read(out).crop(0, 0, 120, 45);
        // Black text, yet a colour glyph keeps its colours (and a skin tone stays on it).
        if (text.startsWith(u"👍"_s))
            EXPECT_GT((ink[0] - ink[2]).max(), 60.0);
        else
            EXPECT_LT(ink.min(), 60.0) << text.toStdString();  // ink was laid
    }
}

TEST_F(ConversionTest, APlanExecutedAgainReadsAStreamingPhotoAfresh) {
    // A JPEG streams once from the top: a second execution must open it again.
    const QString png = QuadrantPhoto(u"q.png"_s);
    const QString jpeg = temp.file(u"q.jpg"_s);
    Read(png).write_to_file(QFile::encodeName(jpeg).constData());
    const auto photo = LoadPhoto(jpeg);
    ConversionRequest request;
    request.output = QSize(100, 50);
    request.text = u"\u2588"_s;
    request.font.setPixelSize(20);
    request.placement.margin = QPoint(10, 10);
    const ConversionPlan plan = PlanConversion(FactsOf(*photo), request);
    const QString first = temp.file(u"first.tif"_s);
    const QString second = temp.file(u"second.tif"_s);
    ASSERT_FALSE(Execute(plan, *photo, {}, {first}));
    ASSERT_FALSE(Execute(plan, *photo, {}, {second}));
    QBuffer piped;
    piped.open(QIODevice::WriteOnly);
    ASSERT_FALSE(Execute(plan, *photo, {}, {{}, true, &piped}));
    EXPECT_EQ(fixtures::Bytes(first), fixtures::Bytes(second));
    EXPECT_EQ(fixtures::Bytes(first), piped.data());
    EXPECT_EQ(At(Read(first), 15, 20), QColor(Qt::black));
}

TEST_F(ConversionTest, GreyAndSixteenBitPhotosBecome24BitRgb) {
    const QString grey = temp.file(u"grey.png"_s);
    (VImage::black(8, 8) + 77)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(grey).constData());
    const QString deep = temp.file(u"deep.tif"_s);
    (VImage::black(8, 8, VImage::option()->set("bands", 3)) + std::vector<double>{65535, 0, 32896})
        .cast(VIPS_FORMAT_USHORT)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16))
        .write_to_file(QFile::encodeName(deep).constData());
    const std::pair<QString, QColor> cases[] = {{grey, QColor(77, 77, 77)},
                                                {deep, QColor(255, 0, 128)}};
    for (const auto& [path, colour] : cases) {
        const QString out = path + u".out.tif"_s;
        ASSERT_FALSE(Convert(path, QSize(4, 4), out));
        const VImage image = Read(out);
        EXPECT_EQ(image.bands(), 3);
        EXPECT_EQ(image.format(), VIPS_FORMAT_UCHAR);
        EXPECT_EQ(At(image, 2, 2), colour) << path.toStdString();
    }
}

TEST_F(ConversionTest, ShrinkingAveragesFineDetailInsteadOfAliasing) {
    // A one-pixel checkerboard shrunk three times is an even grey, not a pattern.
    const VImage xy = VImage::xyz(300, 300);
    const VImage board = (((xy[0] + xy[1]) % 2) * 255).cast(VIPS_FORMAT_UCHAR);
    const QString path = temp.file(u"board.png"_s);
    VImage::bandjoin({board, board, board})
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(QFile::encodeName(path).constData());
    const QString out = temp.file(u"board.tif"_s);
    ASSERT_FALSE(Convert(path, QSize(100, 100), out));
    const VImage grey = Read(out).crop(5, 5, 90, 90);  // away from the edges
    EXPECT_NEAR(grey.avg(), 127.5, 4.0);
    EXPECT_LT(grey.deviate(), 6.0);
}

TEST_F(ConversionTest, EnlargingIsCatmullRomCubicToWithinALevel) {
    // A zone plate (every frequency, every direction), enlarged on both axes,
    // on one, and from a single pixel, against the cubic worked out directly
    // in two dimensions: pixel centres in line, edges extended.
    const VImage zone = (VImage::zone(97, 61) * 127.5 + 127.5).cast(VIPS_FORMAT_UCHAR);
    const VImage plate =
        VImage::bandjoin({zone, zone.rot90(), zone})
            .crop(0, 0, 61, 61)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const QString path = temp.file(u"zone.png"_s);
    plate.write_to_file(QFile::encodeName(path).constData());
    const QString dot = temp.file(u"dot.png"_s);
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
        const QString out = temp.file(u"zone-%1x%2.tif"_s.arg(width).arg(height));
        ASSERT_FALSE(Convert(source, QSize(width, height), out));
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

}  // namespace
