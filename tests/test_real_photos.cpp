// Photos as cameras, phones and scanners make them: camera sizes, colour
// profiles, orientation tags, CMYK, 16 bits, transparency and damage, through
// the window and the command line alike.

#include <lcms2.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <vips/vips8>

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
    return fixtures::Bytes(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
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

double Psnr(const VImage& a, const VImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return 0;
    const VImage difference = a.cast(VIPS_FORMAT_FLOAT) - b.cast(VIPS_FORMAT_FLOAT);
    const double mse = (difference * difference).avg();
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

/// The result preview as the picture frame shows it (a screenshot of the
/// frame) against @p output scaled to the picture the preview draws: the
/// output's proportions, fitted and centred.
double PreviewPsnr(QWidget& frame, const VImage& output) {
    const QImage shot = frame.grab().toImage().convertToFormat(QImage::Format_RGB888);
    const double scale =
        std::min(double(shot.width()) / output.width(), double(shot.height()) / output.height());
    const QSize drawn(int(std::lround(output.width() * scale)),
                      int(std::lround(output.height() * scale)));
    const QImage picture = shot.copy(QRect(
        QPoint((shot.width() - drawn.width()) / 2, (shot.height() - drawn.height()) / 2), drawn));
    QByteArray rows;
    for (int y = 0; y < picture.height(); ++y)
        rows.append(reinterpret_cast<const char*>(picture.constScanLine(y)), picture.width() * 3);
    const VImage shown = VImage::new_from_memory(rows.data(), size_t(rows.size()), picture.width(),
                                                 picture.height(), 3, VIPS_FORMAT_UCHAR);
    const VImage expected =
        output.resize(double(drawn.width()) / output.width(),
                      VImage::option()->set("vscale", double(drawn.height()) / output.height()));
    return Psnr(shown.copy_memory(), expected.cast(VIPS_FORMAT_UCHAR));
}

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

    struct Run {
        int exitCode;
        QString errors;
    };
    Run runCli(const QStringList& arguments, const QString& folder = {}) {
        QProcess process;
        if (!folder.isEmpty()) process.setWorkingDirectory(folder);
        process.start(QStringLiteral(TESSIVA_CLI), arguments);
        EXPECT_TRUE(process.waitForFinished(300000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }

    /// Opens @p photo in the window and converts it to @p output with the
    /// caption, at @p width (the calculator gives the height).
    void convertInWindow(const QString& photo, const QString& output, int width) {
        platform.openChoices = {photo};
        QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
        edit(IDC_EDIT_OUTPUT_WIDTH)->setText(QString::number(width));
        QTest::mouseClick(button(IDC_BUTTON_BASE_WIDTH), Qt::LeftButton);
        edit(IDC_EDIT_TEXT)->setText(QStringLiteral("Tessiva © 2026"));
        edit(IDC_EDIT_TEXT_X)->setText(QStringLiteral("20"));
        edit(IDC_EDIT_TEXT_Y)->setText(QStringLiteral("20"));
        edit(IDC_EDIT_OUTPUT_FILE)->setText(output);
        QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
    }

    void chooseCaptionFont() {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(40);
        platform.fontChoices = {FontChoice{font, kCaption}};
        QTest::mouseClick(button(IDC_BUTTON_FONT), Qt::LeftButton);
    }

    static QStringList CaptionArguments() {
        return {QStringLiteral("--text"),     QStringLiteral("Tessiva © 2026"),
                QStringLiteral("--font"),     QStringLiteral("DejaVu Sans 40"),
                QStringLiteral("--color"),    kCaption.name(),
                QStringLiteral("--position"), QStringLiteral("20,20")};
    }
};

/// The corpus: one photo per trait, each made as a camera, phone or scanner
/// would store it, at 2 to 24 megapixels.
std::map<QString, QString> MakeCorpus(const TempFolder& temp) {
    std::map<QString, QString> corpus;  // name -> path
    const auto add = [&](const QString& name, const VImage& image) {
        const QString path = temp.file(QStringLiteral("corpus/") + name);
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
            add(QStringLiteral("%1-%2.%3")
                    .arg(QLatin1StringView(name), QString::fromLatin1(format).section(u'[', 0, 0),
                         QLatin1StringView(format)),
                WithProfile(scene, profile));
    const VImage cmyk =
        scene.icc_transform("/usr/share/color/icc/ghostscript/default_cmyk.icc",
                            VImage::option()->set("input_profile", "srgb")->set("embedded", false));
    add(QStringLiteral("cmyk-profile.jpg"), WithProfile(cmyk, PressProfile()));
    add(QStringLiteral("cmyk-bare.jpg"), WithoutProfile(cmyk));
    add(QStringLiteral("cmyk.tif"), WithProfile(cmyk, PressProfile()));
    for (int orientation = 1; orientation <= 8; ++orientation) {
        VImage tagged = scene.copy();
        tagged.set(VIPS_META_ORIENTATION, orientation);
        add(QStringLiteral("orientation-%1.jpg").arg(orientation), tagged);
    }
    const VImage deep =
        (scene.cast(VIPS_FORMAT_USHORT) * 257)
            .cast(VIPS_FORMAT_USHORT)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16));
    add(QStringLiteral("deep.png[compression=1]"), deep);
    add(QStringLiteral("deep-tif.tif"), WithProfile(deep, AdobeRgb()));
    const VImage grey = scene.colourspace(VIPS_INTERPRETATION_B_W);
    add(QStringLiteral("grey.jpg"), grey);
    add(QStringLiteral("grey-png.png[compression=1]"), grey);
    add(QStringLiteral("palette.png[palette,compression=1]"), scene);
    const VImage alpha = (VImage::xyz(1800, 1200)[0] * (255.0 / 1800)).cast(VIPS_FORMAT_UCHAR);
    add(QStringLiteral("alpha.png[compression=1]"), scene.bandjoin(alpha));
    add(QStringLiteral("grey-alpha.png[compression=1]"), grey.bandjoin(alpha));
    add(QStringLiteral("alpha-webp.webp[effort=0]"), scene.bandjoin(alpha));
    add(QStringLiteral("phone.heic[compression=hevc,effort=0]"), scene);
    add(QStringLiteral("12mp.jpg"), Scene(4240, 2832));
    add(QStringLiteral("24mp.jpg"), Scene(6000, 4000));
    // A JPEG cut in its scan data, as an interrupted copy leaves it.
    const QString whole = temp.file(QStringLiteral("corpus/whole.jpg"));
    Save(Scene(2400, 1600), whole);
    const QByteArray bytes = fixtures::Bytes(whole);
    temp.write(QStringLiteral("corpus/cut.jpg"), bytes.left(bytes.size() * 2 / 3));
    corpus[QStringLiteral("cut.jpg")] = temp.file(QStringLiteral("corpus/cut.jpg"));
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
    const QString cliOut = temp.mkdir(QStringLiteral("cli"));
    for (const auto& [size, paths] : bySize) {
        const Run run = runCli(QStringList{QStringLiteral("-W"), QString::number(size.first / 2),
                                           QStringLiteral("-r"), QStringLiteral("90"),
                                           QStringLiteral("-d"), cliOut} +
                               CaptionArguments() + paths);
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    }

    start();
    chooseCaptionFont();
    QTest::mouseClick(button(IDC_RADIO_ROTATE_90), Qt::LeftButton);
    for (const auto& [name, path] : corpus) {
        SCOPED_TRACE(name.toStdString());
        const VImage photo = Open(path);
        const QString windowOut =
            temp.file(QStringLiteral("window-") + QFileInfo(path).completeBaseName() +
                      QStringLiteral(".tif"));
        platform.messages.clear();
        convertInWindow(path, windowOut, photo.width() / 2);
        EXPECT_TRUE(platform.messages.empty())
            << (platform.messages.empty() ? "" : platform.messages[0].text.toStdString());
        const QString cliFile =
            cliOut + u'/' + QFileInfo(path).completeBaseName() + QStringLiteral("_out.tif");
        for (const QString& output : {windowOut, cliFile}) {
            ASSERT_TRUE(QFile::exists(output)) << output.toStdString();
            const VImage result = Open(output);
            EXPECT_EQ(result.width(), photo.height() / 2);
            EXPECT_EQ(result.height(), photo.width() / 2);
            EXPECT_GT(CaptionPixels(Shown(result)), 1000);
        }
    }
}

TEST_F(RealPhotoTest, A24MegapixelPhotoWithTextTurnsAndFlipsAlikeInWindowAndCommandLine) {
    const QString photo = temp.file(QStringLiteral("camera.jpg"));
    Save(Scene(6000, 4000), photo);
    start();
    chooseCaptionFont();
    const int angles[] = {IDC_RADIO_ROTATE_0, IDC_RADIO_ROTATE_90, IDC_RADIO_ROTATE_180,
                          IDC_RADIO_ROTATE_270};
    const int flips[] = {IDC_RADIO_FLIP_NO, IDC_RADIO_FLIP_HORIZONTAL, IDC_RADIO_FLIP_VERTICAL};
    const char* flipNames[] = {"none", "horizontal", "vertical"};
    std::optional<VImage> upright;
    dialog->OnCommand(IDM_SHOW_RESULT);  // the picture frame shows the result
    for (int a = 0; a < 4; ++a) {
        for (int f = 0; f < 3; ++f) {
            SCOPED_TRACE(a * 90);
            SCOPED_TRACE(flipNames[f]);
            QTest::mouseClick(button(angles[a]), Qt::LeftButton);
            QTest::mouseClick(button(flips[f]), Qt::LeftButton);
            const QString windowOut = temp.file(QStringLiteral("w%1%2.tif").arg(a).arg(f));
            convertInWindow(photo, windowOut, 3000);
            const QString cliOut = temp.file(QStringLiteral("c%1%2.tif").arg(a).arg(f));
            const Run run = runCli(
                QStringList{QStringLiteral("-W"), QStringLiteral("3000"), QStringLiteral("-r"),
                            QString::number(a * 90), QStringLiteral("-f"),
                            QString::fromLatin1(flipNames[f]), QStringLiteral("-o"), cliOut} +
                CaptionArguments() + QStringList{photo});
            ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
            const VImage window = Open(windowOut);
            const VImage cli = Open(cliOut);
            if (!upright) upright = window.copy_memory();
            // The unturned result, turned and mirrored as the table says.
            VImage expected = a == 0
                                  ? *upright
                                  : upright->rot(std::array{VIPS_ANGLE_D0, VIPS_ANGLE_D90,
                                                            VIPS_ANGLE_D180, VIPS_ANGLE_D270}[a]);
            if (f == 1) expected = expected.flip(VIPS_DIRECTION_HORIZONTAL);
            if (f == 2) expected = expected.flip(VIPS_DIRECTION_VERTICAL);
            EXPECT_EQ((window - expected).abs().max(), 0.0);
            EXPECT_EQ((cli - window).abs().max(), 0.0);
            EXPECT_GT(CaptionPixels(window), 1000);
            // What the window showed before converting is what came out.
            EXPECT_GE(PreviewPsnr(*item(IDC_STATIC_PICTURE), window), 30.0);
        }
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RealPhotoTest, ColourProfilesAreCarriedOrConverted) {
    const VImage scene = Scene(600, 400);
    for (const auto& [name, profile] :
         {std::pair{"adobe", AdobeRgb()}, std::pair{"p3", DisplayP3()},
          std::pair{"prophoto", ProPhoto()}}) {
        SCOPED_TRACE(name);
        const QString photo = temp.file(QString::fromLatin1(name) + QStringLiteral(".png"));
        Save(WithProfile(scene, profile), photo);
        const VImage shownOriginal = Shown(Open(photo));

        const QString kept = temp.file(QString::fromLatin1(name) + QStringLiteral("-kept.tif"));
        ASSERT_EQ(runCli({QStringLiteral("-o"), kept, photo}).exitCode, 0);
        EXPECT_EQ(ProfileOf(Open(kept)), profile);         // carried byte for byte
        EXPECT_EQ((Open(kept) - scene).abs().max(), 0.0);  // stored values kept
        EXPECT_GE(Psnr(Shown(Open(kept)), shownOriginal), 38.0);

        const QString converted =
            temp.file(QString::fromLatin1(name) + QStringLiteral("-srgb.tif"));
        ASSERT_EQ(
            runCli({QStringLiteral("--srgb"), QStringLiteral("-o"), converted, photo}).exitCode, 0);
        EXPECT_TRUE(ProfileOf(Open(converted)).isEmpty());
        EXPECT_GE(Psnr(Shown(Open(converted)), shownOriginal), 38.0);

        // Text asked for in sRGB shows in that colour through the profile carried.
        const QString captioned =
            temp.file(QString::fromLatin1(name) + QStringLiteral("-text.tif"));
        ASSERT_EQ(runCli({QStringLiteral("-o"), captioned, QStringLiteral("--text"),
                          QStringLiteral("\u2588"), QStringLiteral("--font"),
                          QStringLiteral("DejaVu Sans 80"), QStringLiteral("--color"),
                          QStringLiteral("#d01010"), QStringLiteral("--position"),
                          QStringLiteral("20,20"), photo})
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
        const QString photo = temp.file(QStringLiteral("grey.png"));
        Save(WithProfile(scene.colourspace(VIPS_INTERPRETATION_B_W), bytes), photo);
        const QString out = temp.file(QStringLiteral("grey.tif"));
        ASSERT_EQ(
            runCli({QStringLiteral("--overwrite"), QStringLiteral("-o"), out, photo}).exitCode, 0);
        EXPECT_GE(Psnr(Open(out), Shown(Open(photo)).colourspace(VIPS_INTERPRETATION_sRGB)), 40.0)
            << gamma;
    }

    // A damaged profile, or one of another colour space, is ignored (TIFF
    // keeps whatever profile it is given).
    for (const QByteArray& wrong : {AdobeRgb().left(200), PressProfile()}) {
        const QString photo = temp.file(QStringLiteral("wrong.tif"));
        Save(WithProfile(scene, wrong), photo);
        // Kept values, and with --srgb nothing to convert through.
        for (const QStringList& colours : {QStringList{}, QStringList{QStringLiteral("--srgb")}}) {
            const QString out = temp.file(QStringLiteral("wrong-out.tif"));
            ASSERT_EQ(runCli(colours + QStringList{QStringLiteral("--overwrite"),
                                                   QStringLiteral("-o"), out, photo})
                          .exitCode,
                      0);
            EXPECT_TRUE(ProfileOf(Open(out)).isEmpty());
            EXPECT_EQ((Open(out) - scene).abs().max(), 0.0);
        }
    }

    // CMYK goes through its own profile when it has one, else the built-in one.
    const VImage cmyk = scene.icc_transform("/usr/share/color/icc/ghostscript/default_cmyk.icc",
                                            VImage::option()->set("input_profile", "srgb"));
    const QString tagged = temp.file(QStringLiteral("press.jpg"));
    Save(WithProfile(cmyk, PressProfile()), tagged);
    const QString out = temp.file(QStringLiteral("press.tif"));
    ASSERT_EQ(runCli({QStringLiteral("-o"), out, tagged}).exitCode, 0);
    const VImage reference = Open(tagged).icc_transform(
        "srgb", VImage::option()->set("embedded", true)->set("depth", 8));
    EXPECT_GE(Psnr(Open(out), reference), 33.0);
    const QString bare = temp.file(QStringLiteral("bare.jpg"));
    Save(WithoutProfile(cmyk), bare);
    ASSERT_TRUE(ProfileOf(Open(bare)).isEmpty());
    const QString bareOut = temp.file(QStringLiteral("bare.tif"));
    ASSERT_EQ(runCli({QStringLiteral("-o"), bareOut, bare}).exitCode, 0);
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
    // Stored so that the orientation tag's turn sets them upright again.
    const VipsAngle undo[] = {VIPS_ANGLE_D0, VIPS_ANGLE_D270, VIPS_ANGLE_D180, VIPS_ANGLE_D90};
    const int turns[9] = {0, 0, 4, 2, 6, 5, 1, 7, 3};  // as the rotate-flip table numbers them
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const int type = turns[orientation];
        VImage stored = type >= 4 ? upright.flip(VIPS_DIRECTION_HORIZONTAL) : upright;
        stored = stored.rot(undo[type & 3]).copy();
        stored.set(VIPS_META_ORIENTATION, orientation);
        const QString photo = temp.file(QStringLiteral("o%1.jpg").arg(orientation));
        stored.write_to_file(QFile::encodeName(photo + QStringLiteral("[Q=98]")).constData());

        const QString out = temp.file(QStringLiteral("o%1.tif").arg(orientation));
        ASSERT_EQ(runCli({QStringLiteral("--auto-orient"), QStringLiteral("--overwrite"),
                          QStringLiteral("-o"), out, photo})
                      .exitCode,
                  0);
        EXPECT_TRUE(quadrantsMatch(Open(out)));
        ASSERT_EQ(
            runCli({QStringLiteral("--overwrite"), QStringLiteral("-o"), out, photo}).exitCode, 0);
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
    platform.openChoices = {temp.file(QStringLiteral("o6.jpg"))};
    QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), QStringLiteral("o6.jpg 60 * 40"));
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), QStringLiteral("60"));
}

TEST_F(RealPhotoTest, TransparencyLiesOnBlackOrTheChosenBackground) {
    const VImage xy = VImage::xyz(80, 40);
    const VImage alpha =
        (xy[0] >= 40).ifthenelse(0, 255).cast(VIPS_FORMAT_UCHAR);  // right half clear
    const QString photo = temp.file(QStringLiteral("cutout.png"));
    Save(Scene(80, 40).bandjoin(alpha), photo);
    const QString out = temp.file(QStringLiteral("cutout.tif"));
    ASSERT_EQ(runCli({QStringLiteral("-o"), out, photo}).exitCode, 0);
    EXPECT_EQ(Open(out).getpoint(70, 20), (std::vector<double>{0, 0, 0}));
    ASSERT_EQ(runCli({QStringLiteral("--overwrite"), QStringLiteral("--background"),
                      QStringLiteral("white"), QStringLiteral("-o"), out, photo})
                  .exitCode,
              0);
    EXPECT_EQ(Open(out).getpoint(70, 20), (std::vector<double>{255, 255, 255}));
    EXPECT_EQ(Open(out).getpoint(10, 20), Scene(80, 40).getpoint(10, 20));
}

TEST_F(RealPhotoTest, ADamagedPhotoConvertsWithAWarningNamingIt) {
    const QString whole = temp.file(QStringLiteral("whole.jpg"));
    Save(Scene(1200, 800), whole);
    const QByteArray bytes = fixtures::Bytes(whole);
    const QString cut = temp.write(QStringLiteral("cut.jpg"), bytes.left(bytes.size() / 2));
    const Run run = runCli({QStringLiteral("-o"), temp.file(QStringLiteral("cut.tif")), cut});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cut.jpg: warning: the photo is damaged")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("Premature end"))) << run.errors.toStdString();
    EXPECT_EQ(Open(temp.file(QStringLiteral("cut.tif"))).width(), 1200);
    // An intact photo says nothing of the kind.
    EXPECT_FALSE(runCli({QStringLiteral("-o"), temp.file(QStringLiteral("whole.tif")), whole})
                     .errors.contains(QStringLiteral("warning")));
}

TEST_F(RealPhotoTest, AnyReductionWorksAndFlatColoursStayFlat) {
    const QString flat =
        fixtures::SolidPhoto(temp, QStringLiteral("flat.png"), 5120, 2880, QColor(200, 200, 200));
    const QString strip =
        fixtures::SolidPhoto(temp, QStringLiteral("strip.png"), 1, 10000, QColor(200, 200, 200));
    const std::tuple<QString, int, int> cases[] = {{flat, 9, 5},    {flat, 1, 1},   {flat, 3, 2},
                                                   {flat, 5120, 1}, {strip, 1, 20}, {strip, 1, 1}};
    for (const auto& [photo, width, height] : cases) {
        SCOPED_TRACE(width);
        const QString out = temp.file(QStringLiteral("small.tif"));
        ASSERT_EQ(runCli({QStringLiteral("--overwrite"), QStringLiteral("-W"),
                          QString::number(width), QStringLiteral("-H"), QString::number(height),
                          QStringLiteral("-o"), out, photo})
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
        temp.write(QStringLiteral("huge.txt"),
                   "<svg xmlns='http://www.w3.org/2000/svg' width='20000' height='20000'>"
                   "<rect width='20000' height='10000' fill='#ff0000'/><rect y='10000' "
                   "width='20000' height='10000' fill='#0000ff'/></svg>");
    const QString out = temp.file(QStringLiteral("huge.tif"));
    const Run run =
        runCli({QStringLiteral("-W"), QStringLiteral("100"), QStringLiteral("-o"), out, svg});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const VImage result = Open(out);
    EXPECT_EQ(result.height(), 100);
    EXPECT_EQ(result.getpoint(50, 20), (std::vector<double>{255, 0, 0}));
    EXPECT_EQ(result.getpoint(50, 80), (std::vector<double>{0, 0, 255}));
}

}  // namespace
