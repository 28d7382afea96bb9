// Photos as cameras, phones and scanners make them: camera sizes, colour
// profiles, orientation tags, CMYK, 16 bits, transparency and damage, through
// the window and the command line alike.

#include <lcms2.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <cmath>
#include <functional>
#include <map>
#include <vips/vips8>

#include "cli_runner.h"
#include "dialog_fixture.h"
#include "imaging/photo.h"
#include "photo_fixtures.h"

using namespace res;
using vips::VImage;

namespace {

const QColor kCaption(255, 0, 0);

/// Gradients and a ripple in mid-tones, so that no pixel of the scene looks
/// like the caption's pure red.
VImage Scene(int width, int height) {
    const VImage xy = VImage::xyz(width, height);
    const VImage x = xy[0] * (120.0 / width);
    const VImage y = xy[1] * (120.0 / height);
    const VImage ripple = ((xy[0] + xy[1]) * 0.05).sin() * 20;
    return VImage::bandjoin({x + 60, y + 60, (x + y) / 2 + ripple + 60}).cast(VIPS_FORMAT_UCHAR);
}

/// An RGB profile made with lcms from primaries, a white point and one gamma.
QByteArray RgbProfile(cmsCIExyYTRIPLE primaries, cmsCIExyY white, double gamma) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(profile, nullptr, &length);
    QByteArray bytes(qsizetype(length), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &length);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
QByteArray AdobeRgb() {
    return RgbProfile({{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}, kD65, 563.0 / 256);
}
QByteArray DisplayP3() {
    return RgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, kD65, 2.2);
}
QByteArray ProPhoto() {
    return RgbProfile({{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
                      {0.3457, 0.3585, 1}, 1.8);
}
QByteArray Srgb() {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(profile, nullptr, &length);
    QByteArray bytes(qsizetype(length), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &length);
    cmsCloseProfile(profile);
    return bytes;
}
/// A press profile for CMYK, from the system's colour folder.
QByteArray PressProfile() {
    return fixtures::Bytes(u"/usr/share/color/icc/ghostscript/default_cmyk.icc"_s);
}

VImage WithProfile(VImage image, const QByteArray& profile) {
    image = image.copy();
    vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, profile.constData(),
                             size_t(profile.size()));
    return image;
}

VImage WithoutProfile(VImage image) {
    image = image.copy();
    if (image.get_typeof(VIPS_META_ICC_NAME))
        vips_image_remove(image.get_image(), VIPS_META_ICC_NAME);
    return image;
}

QByteArray ProfileOf(const VImage& image) {
    if (!image.get_typeof(VIPS_META_ICC_NAME)) return {};
    size_t length = 0;
    const void* bytes = image.get_blob(VIPS_META_ICC_NAME, &length);
    return QByteArray(static_cast<const char*>(bytes), qsizetype(length));
}

VImage Open(const QString& path) {
    const fixtures::EveryLoader everyLoader;
    return VImage::new_from_file(QFile::encodeName(path).constData()).copy_memory();
}

void Save(const VImage& image, const QString& path) {
    image.write_to_file(QFile::encodeName(path).constData());
}

/// As a colour-managed viewer shows @p image: through its profile to sRGB.
VImage Shown(const VImage& image) {
    if (ProfileOf(image).isEmpty())
        return image.colourspace(VIPS_INTERPRETATION_sRGB).cast(VIPS_FORMAT_UCHAR);
    return image.icc_transform("srgb", VImage::option()->set("embedded", true)->set("depth", 8));
}

using fixtures::Psnr;

/// Pixels of pure caption red, which the scene never holds.
int CaptionPixels(const VImage& image) {
    const VImage red = (image[0] > 235) & (image[1] < 30) & (image[2] < 30);
    return int(red.avg() / 255.0 * image.width() * image.height());
}

class RealPhotoTest : public MainDialogTest {
protected:
    // Outputs are read back after being replaced: no cached copies of them.
    RealPhotoTest() {
        if (VIPS_INIT("tests") == 0) vips_cache_set_max(0);
    }

    static CliRun runCli(const QStringList& arguments) { return RunCli(arguments); }

    static QStringList CaptionArguments() {
        return {u"--text"_s,  u"Tessiva © 2026"_s, u"--font"_s,     u"DejaVu Sans 40"_s,
                u"--color"_s, kCaption.name(),     u"--position"_s, u"20,20"_s};
    }
};

/// The corpus: one photo per trait, each made as a camera, phone or scanner
/// would store it, at 2 to 24 megapixels.
std::map<QString, QString> MakeCorpus(const TempFolder& temp) {
    std::map<QString, QString> corpus;  // name -> path
    const auto add = [&](const QString& name, const VImage& image) {
        const QString path = temp.file(u"corpus/"_s + name);
        QDir().mkpath(QFileInfo(path).path());
        Save(image, path);
        corpus[name] = path;
    };
    const VImage scene = Scene(1800, 1200);  // 2.2 megapixels
    const std::pair<const char*, QByteArray> profiles[] = {{"srgb", Srgb()},
                                                           {"adobe", AdobeRgb()},
                                                           {"p3", DisplayP3()},
                                                           {"prophoto", ProPhoto()},
                                                           {"broken", AdobeRgb().left(300)}};
    for (const auto& [name, profile] : profiles)
        for (const char* format : {"jpg", "png[compression=1]", "tif", "webp[effort=0]"})
            add(u"%1-%2.%3"_s.arg(QLatin1StringView(name),
                                  QString::fromLatin1(format).section(u'[', 0, 0),
                                  QLatin1StringView(format)),
                WithProfile(scene, profile));
    const VImage cmyk =
        scene.icc_transform("/usr/share/color/icc/ghostscript/default_cmyk.icc",
                            VImage::option()->set("input_profile", "srgb")->set("embedded", false));
    add(u"cmyk-profile.jpg"_s, WithProfile(cmyk, PressProfile()));
    add(u"cmyk-bare.jpg"_s, WithoutProfile(cmyk));
    add(u"cmyk.tif"_s, WithProfile(cmyk, PressProfile()));
    for (int orientation = 1; orientation <= 8; ++orientation) {
        VImage tagged = scene.copy();
        tagged.set(VIPS_META_ORIENTATION, orientation);
        add(u"orientation-%1.jpg"_s.arg(orientation), tagged);
    }
    const VImage deep =
        (scene.cast(VIPS_FORMAT_USHORT) * 257)
            .cast(VIPS_FORMAT_USHORT)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16));
    add(u"deep.png[compression=1]"_s, deep);
    add(u"deep-tif.tif"_s, WithProfile(deep, AdobeRgb()));
    const VImage grey = scene.colourspace(VIPS_INTERPRETATION_B_W);
    add(u"grey.jpg"_s, grey);
    add(u"grey-png.png[compression=1]"_s, grey);
    add(u"palette.png[palette,compression=1]"_s, scene);
    const VImage alpha = (VImage::xyz(1800, 1200)[0] * (255.0 / 1800)).cast(VIPS_FORMAT_UCHAR);
    add(u"alpha.png[compression=1]"_s, scene.bandjoin(alpha));
    add(u"grey-alpha.png[compression=1]"_s, grey.bandjoin(alpha));
    add(u"alpha-webp.webp[effort=0]"_s, scene.bandjoin(alpha));
    add(u"phone.heic[compression=hevc,effort=0]"_s, scene);
    add(u"12mp.jpg"_s, Scene(4240, 2832));
    add(u"24mp.jpg"_s, Scene(6000, 4000));
    // A JPEG cut in its scan data, as an interrupted copy leaves it.
    const QString whole = temp.file(u"corpus/whole.jpg"_s);
    Save(Scene(2400, 1600), whole);
    const QByteArray bytes = fixtures::Bytes(whole);
    temp.write(u"corpus/cut.jpg"_s, bytes.left(bytes.size() * 2 / 3));
    corpus[u"cut.jpg"_s] = temp.file(u"corpus/cut.jpg"_s);
    QFile::remove(whole);
    // Names as written, without the save options.
    std::map<QString, QString> named;
    for (const auto& [name, path] : corpus) {
        const QString file = path.section(u'[', 0, 0);
        named[name.section(u'[', 0, 0)] = file;
    }
    return named;
}

TEST_F(RealPhotoTest, EveryTraitConvertsWithACaptionAtHalfSizeTurned) {
    const std::map<QString, QString> corpus = MakeCorpus(temp);
    ASSERT_GE(corpus.size(), 40u);

    // The command line, one run per photo size, at half size and turned 90 degrees.
    std::map<std::pair<int, int>, QStringList> bySize;
    for (const auto& [name, path] : corpus) {
        const VImage photo = Open(path);
        bySize[{photo.width(), photo.height()}] << path;
    }
    const QString cliOut = temp.mkdir(u"cli"_s);
    for (const auto& [size, paths] : bySize) {
        const CliRun run = runCli(QStringList{u"-W"_s, QString::number(size.first / 2), u"-r"_s,
                                              u"90"_s, u"-d"_s, cliOut} +
                                  CaptionArguments() + paths);
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    }

    start();
    platform.fontChoices = {Font(40, kCaption, u"DejaVu Sans"_s)};
    click(IDC_BUTTON_FONT);
    click(IDC_RADIO_ROTATE_90);
    for (const auto& [name, path] : corpus) {
        SCOPED_TRACE(name.toStdString());
        const VImage photo = Open(path);
        const QString windowOut =
            temp.file(u"window-"_s + QFileInfo(path).completeBaseName() + u".tif"_s);
        platform.messages.clear();
        convertInWindow(
            path, windowOut,
            {QString::number(photo.width() / 2), {}, {}, u"Tessiva © 2026"_s, {20, 20}});
        // Only the cut photo says anything: that it is damaged, on opening and converting.
        EXPECT_EQ(platform.messages.size(), name == u"cut.jpg" ? 2u : 0u)
            << (platform.messages.empty() ? "" : platform.messages[0].text.toStdString());
        const QString cliFile = cliOut + u'/' + QFileInfo(path).completeBaseName() + u"_out.tif"_s;
        for (const QString& output : {windowOut, cliFile}) {
            ASSERT_TRUE(QFile::exists(output)) << output.toStdString();
            const VImage result = Open(output);
            EXPECT_EQ(result.width(), photo.height() / 2);
            EXPECT_EQ(result.height(), photo.width() / 2);
            EXPECT_GT(CaptionPixels(Shown(result)), 1000);
        }
    }
}

TEST_F(RealPhotoTest, ColourProfilesAreCarriedOrConverted) {
    const VImage scene = Scene(600, 400);
    for (const auto& [name, profile] :
         {std::pair{"adobe", AdobeRgb()}, std::pair{"p3", DisplayP3()},
          std::pair{"prophoto", ProPhoto()}}) {
        SCOPED_TRACE(name);
        const QString photo = temp.file(QString::fromLatin1(name) + u".png"_s);
        Save(WithProfile(scene, profile), photo);
        const VImage shownOriginal = Shown(Open(photo));

        const QString kept = temp.file(QString::fromLatin1(name) + u"-kept.tif"_s);
        ASSERT_EQ(runCli({u"-o"_s, kept, photo}).exitCode, 0);
        EXPECT_EQ(ProfileOf(Open(kept)), profile);         // carried byte for byte
        EXPECT_EQ((Open(kept) - scene).abs().max(), 0.0);  // stored values kept
        EXPECT_GE(Psnr(Shown(Open(kept)), shownOriginal), 38.0);

        const QString converted = temp.file(QString::fromLatin1(name) + u"-srgb.tif"_s);
        ASSERT_EQ(runCli({u"--srgb"_s, u"-o"_s, converted, photo}).exitCode, 0);
        EXPECT_TRUE(ProfileOf(Open(converted)).contains(QByteArray("\0s\0R\0G\0B", 8)));
        EXPECT_GE(Psnr(Shown(Open(converted)), shownOriginal), 38.0);

        // Text asked for in sRGB shows in that colour through the profile carried.
        const QString captioned = temp.file(QString::fromLatin1(name) + u"-text.tif"_s);
        ASSERT_EQ(
            runCli({u"-o"_s, captioned, u"--text"_s, u"\u2588"_s, u"--font"_s, u"DejaVu Sans 80"_s,
                    u"--color"_s, u"#d01010"_s, u"--position"_s, u"20,20"_s, photo})
                .exitCode,
            0);
        const std::vector<double> ink = Shown(Open(captioned)).getpoint(45, 70);
        const double levels = std::string_view(name) == "prophoto" ? 4 : 2;  // coarse 8-bit steps
        EXPECT_NEAR(ink[0], 208, levels);
        EXPECT_NEAR(ink[1], 16, levels);
        EXPECT_NEAR(ink[2], 16, levels);

        // The preview shows what a colour-managed viewer shows.
        const QImage preview = imaging::LoadPhoto(photo)->Preview(QSize(600, 400));
        const std::vector<double> viewer = shownOriginal.getpoint(300, 200);
        const QColor shown = preview.pixelColor(300, 200);
        EXPECT_NEAR(shown.red(), viewer[0], 2);
        EXPECT_NEAR(shown.green(), viewer[1], 2);
        EXPECT_NEAR(shown.blue(), viewer[2], 2);
    }

    // A camera's Adobe RGB marked in EXIF alone (uncalibrated, index R03) reads as Adobe RGB.
    const QString marked = temp.file(u"r03.jpg"_s);
    const QString embedded = temp.file(u"adobe.jpg"_s);
    Save(scene, marked);
    Save(WithProfile(scene, AdobeRgb()), embedded);
    ASSERT_EQ(
        QProcess::execute(u"exiftool"_s, {u"-q"_s, u"-overwrite_original"_s, u"-n"_s,
                                          u"-ColorSpace=65535"_s, u"-InteropIndex=R03"_s, marked}),
        0);
    for (const QString& photo : {marked, embedded})
        ASSERT_EQ(runCli({u"--srgb"_s, u"-o"_s, photo + u".tif"_s, photo}).exitCode, 0);
    EXPECT_GE(Psnr(Open(marked + u".tif"_s), Open(embedded + u".tif"_s)), 50.0);

    // Grey with a profile of its own shows its tones: converted through it.
    for (const double gamma : {1.0, 2.2}) {
        cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
        cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), curve);
        cmsUInt32Number length = 0;
        cmsSaveProfileToMem(grey, nullptr, &length);
        QByteArray bytes(qsizetype(length), '\0');
        cmsSaveProfileToMem(grey, bytes.data(), &length);
        cmsCloseProfile(grey);
        cmsFreeToneCurve(curve);
        const QString photo = temp.file(u"grey.png"_s);
        Save(WithProfile(scene.colourspace(VIPS_INTERPRETATION_B_W), bytes), photo);
        const QString out = temp.file(u"grey.tif"_s);
        ASSERT_EQ(runCli({u"--overwrite"_s, u"-o"_s, out, photo}).exitCode, 0);
        EXPECT_GE(Psnr(Open(out), Shown(Open(photo)).colourspace(VIPS_INTERPRETATION_sRGB)), 40.0)
            << gamma;
    }

    // A damaged profile, or one of another colour space, is ignored (TIFF
    // keeps whatever profile it is given).
    for (const QByteArray& wrong : {AdobeRgb().left(200), PressProfile()}) {
        const QString photo = temp.file(u"wrong.tif"_s);
        Save(WithProfile(scene, wrong), photo);
        // Kept values, and with --srgb nothing to convert through: read as sRGB, and said so.
        for (const QStringList& colours : {QStringList{}, QStringList{u"--srgb"_s}}) {
            const QString out = temp.file(u"wrong-out.tif"_s);
            ASSERT_EQ(runCli(colours + QStringList{u"--overwrite"_s, u"-o"_s, out, photo}).exitCode,
                      0);
            EXPECT_EQ(ProfileOf(Open(out)).isEmpty(), colours.isEmpty());
            EXPECT_EQ((Open(out) - scene).abs().max(), 0.0);
        }
    }

    // CMYK goes through its own profile when it has one, else the built-in one.
    const VImage cmyk = scene.icc_transform("/usr/share/color/icc/ghostscript/default_cmyk.icc",
                                            VImage::option()->set("input_profile", "srgb"));
    const QString tagged = temp.file(u"press.jpg"_s);
    Save(WithProfile(cmyk, PressProfile()), tagged);
    const QString out = temp.file(u"press.tif"_s);
    ASSERT_EQ(runCli({u"-o"_s, out, tagged}).exitCode, 0);
    const VImage reference = Open(tagged).icc_transform(
        "srgb", VImage::option()->set("embedded", true)->set("depth", 8));
    EXPECT_GE(Psnr(Open(out), reference), 33.0);
    const QString bare = temp.file(u"bare.jpg"_s);
    Save(WithoutProfile(cmyk), bare);
    ASSERT_TRUE(ProfileOf(Open(bare)).isEmpty());
    const QString bareOut = temp.file(u"bare.tif"_s);
    ASSERT_EQ(runCli({u"-o"_s, bareOut, bare}).exitCode, 0);
    EXPECT_GE(Psnr(Open(bareOut), Open(bare).colourspace(VIPS_INTERPRETATION_sRGB)), 40.0);
}

TEST_F(RealPhotoTest, CameraOrientationSetsPhotosUprightOnlyWhenAsked) {
    // Four quadrants of their own colours, upright.
    const VImage xy = VImage::xyz(60, 40);
    const VImage right = xy[0] >= 30, lower = xy[1] >= 20;
    const VImage upright = VImage::bandjoin({right.ifthenelse(220, 30), lower.ifthenelse(220, 30),
                                             (right ^ lower).ifthenelse(220, 30)})
                               .cast(VIPS_FORMAT_UCHAR);
    const auto quadrantsMatch = [&](const VImage& image) {
        for (const auto& [x, y] :
             {std::pair{10, 10}, std::pair{50, 10}, std::pair{10, 30}, std::pair{50, 30}})
            for (int band = 0; band < 3; ++band)
                if (std::abs(image.getpoint(x, y)[size_t(band)] -
                             upright.getpoint(x, y)[size_t(band)]) > 12)
                    return false;
        return true;
    };
    // Stored as the tag says a camera stores it: a viewer turns it upright again.
    const auto h = [](const VImage& i) { return i.flip(VIPS_DIRECTION_HORIZONTAL); };
    const std::function<VImage(const VImage&)> stores[9] = {
        nullptr,
        [](const VImage& i) { return i; },
        h,
        [](const VImage& i) { return i.rot180(); },
        [](const VImage& i) { return i.flip(VIPS_DIRECTION_VERTICAL); },
        [&](const VImage& i) { return h(i.rot90()); },  // transposed
        [](const VImage& i) { return i.rot270(); },
        [&](const VImage& i) { return h(i.rot270()); },  // transversed
        [](const VImage& i) { return i.rot90(); }};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        VImage stored = stores[orientation](upright).copy();
        stored.set(VIPS_META_ORIENTATION, orientation);
        const QString photo = temp.file(u"o%1.jpg"_s.arg(orientation));
        stored.write_to_file(QFile::encodeName(photo + u"[Q=98]"_s).constData());

        const QString out = temp.file(u"o%1.tif"_s.arg(orientation));
        ASSERT_EQ(runCli({u"--auto-orient"_s, u"--overwrite"_s, u"-o"_s, out, photo}).exitCode, 0);
        EXPECT_TRUE(quadrantsMatch(Open(out)));
        ASSERT_EQ(runCli({u"--overwrite"_s, u"-o"_s, out, photo}).exitCode, 0);
        EXPECT_EQ(Open(out).width(), stored.width());  // as stored, by default

        imaging::OpenOptions upright;
        upright.autoOrient = true;
        const std::unique_ptr<imaging::Photo> opened = imaging::LoadPhoto(photo, upright);
        ASSERT_EQ(opened->Width(), 60);
        const QImage preview = opened->Preview(QSize(60, 40));
        EXPECT_NEAR(preview.pixelColor(50, 30).red(), 220, 12);
        EXPECT_NEAR(preview.pixelColor(50, 30).blue(), 30, 12);
    }

    // The window's stored choice: the size shown and proposed is upright.
    seedStore("[Option]\nnAutoOrient=1\n");
    start();
    openPhoto(temp.file(u"o6.jpg"_s));
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"o6.jpg 60 * 40"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"60"_s);
}

TEST_F(RealPhotoTest, TransparencyLiesOnBlackOrTheChosenBackground) {
    const VImage xy = VImage::xyz(80, 40);
    const VImage alpha =
        (xy[0] >= 40).ifthenelse(0, 255).cast(VIPS_FORMAT_UCHAR);  // right half clear
    const QString photo = temp.file(u"cutout.png"_s);
    Save(Scene(80, 40).bandjoin(alpha), photo);
    const QString out = temp.file(u"cutout.tif"_s);
    ASSERT_EQ(runCli({u"-o"_s, out, photo}).exitCode, 0);
    EXPECT_EQ(Open(out).getpoint(70, 20), (std::vector<double>{0, 0, 0}));
    ASSERT_EQ(
        runCli({u"--overwrite"_s, u"--background"_s, u"white"_s, u"-o"_s, out, photo}).exitCode, 0);
    EXPECT_EQ(Open(out).getpoint(70, 20), (std::vector<double>{255, 255, 255}));
    EXPECT_EQ(Open(out).getpoint(10, 20), Scene(80, 40).getpoint(10, 20));
}

TEST_F(RealPhotoTest, ADamagedPhotoConvertsWithAWarningNamingIt) {
    const QString whole = temp.file(u"whole.jpg"_s);
    Save(Scene(1200, 800), whole);
    const QByteArray bytes = fixtures::Bytes(whole);
    const QString cut = temp.write(u"cut.jpg"_s, bytes.left(bytes.size() / 2));
    const CliRun run = runCli({u"-o"_s, temp.file(u"cut.tif"_s), cut});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(u"cut.jpg: warning: the photo is damaged"_s))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(u"Premature end"_s)) << run.errors.toStdString();
    EXPECT_EQ(Open(temp.file(u"cut.tif"_s)).width(), 1200);
    // An intact photo says nothing of the kind.
    EXPECT_FALSE(runCli({u"-o"_s, temp.file(u"whole.tif"_s), whole}).errors.contains(u"warning"_s));

    // The window says so on opening and on converting, in the same words.
    const QString reason = run.errors.section(u'(', 1).section(u')', 0, 0);
    ASSERT_FALSE(reason.isEmpty());
    start();
    convertInWindow(cut, temp.file(u"window.tif"_s));
    const QString warning =
        u"The photo is damaged: only what could be read is shown and converted."_s;
    EXPECT_EQ(platform.texts(), std::vector<QString>(2, warning));
    EXPECT_EQ(platform.reasons(),
              std::vector<QString>(2, reason.left(1).toUpper() + reason.mid(1)));
    EXPECT_EQ(fixtures::Difference(temp.file(u"window.tif"_s), temp.file(u"cut.tif"_s)), 0.0);

    // A photo decoded apart of which nothing can be read says so on opening, with the
    // reason Convert then fails with.
    Save(Scene(600, 400), temp.file(u"whole.jxl"_s));
    const QByteArray jxl = fixtures::Bytes(temp.file(u"whole.jxl"_s));
    platform.messages.clear();
    openPhoto(temp.write(u"cut.jxl"_s, jxl.left(jxl.size() / 2)));
    click(IDC_BUTTON_CONVERT);
    EXPECT_EQ(platform.texts(),
              (std::vector<QString>{
                  u"The photo is damaged: none of it can be read, to show or to convert."_s,
                  u"Failed to convert photo!"_s}));
    ASSERT_EQ(platform.reasons().size(), 2u);
    EXPECT_FALSE(platform.reasons()[0].isEmpty());
    EXPECT_EQ(platform.reasons()[0], platform.reasons()[1]);
}

TEST_F(RealPhotoTest, AnyReductionWorksAndFlatColoursStayFlat) {
    const QString flat =
        fixtures::SolidPhoto(temp, u"flat.png"_s, 5120, 2880, QColor(200, 200, 200));
    const QString strip =
        fixtures::SolidPhoto(temp, u"strip.png"_s, 1, 10000, QColor(200, 200, 200));
    const std::tuple<QString, int, int> cases[] = {{flat, 9, 5},    {flat, 1, 1},   {flat, 3, 2},
                                                   {flat, 5120, 1}, {strip, 1, 20}, {strip, 1, 1}};
    for (const auto& [photo, width, height] : cases) {
        SCOPED_TRACE(width);
        const QString out = temp.file(u"small.tif"_s);
        ASSERT_EQ(runCli({u"--overwrite"_s, u"-W"_s, QString::number(width), u"-H"_s,
                          QString::number(height), u"-o"_s, out, photo})
                      .exitCode,
                  0);
        const VImage result = Open(out);
        EXPECT_EQ(result.width(), width);
        EXPECT_GE(result.min(), 199.0);
        EXPECT_LE(result.max(), 201.0);
    }
}

TEST_F(RealPhotoTest, ATinyVectorFileClaimingAHugeSizeConvertsSmall) {
    const QString svg =
        temp.write(u"huge.txt"_s,
                   "<svg xmlns='http://www.w3.org/2000/svg' width='20000' height='20000'>"
                   "<rect width='20000' height='10000' fill='#ff0000'/><rect y='10000' "
                   "width='20000' height='10000' fill='#0000ff'/></svg>");
    const QString out = temp.file(u"huge.tif"_s);
    const CliRun run = runCli({u"-W"_s, u"100"_s, u"-o"_s, out, svg});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const VImage result = Open(out);
    EXPECT_EQ(result.height(), 100);
    EXPECT_EQ(result.getpoint(50, 20), (std::vector<double>{255, 0, 0}));
    EXPECT_EQ(result.getpoint(50, 80), (std::vector<double>{0, 0, 255}));
}

}  // namespace
