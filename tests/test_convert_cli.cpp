#include <sys/stat.h>
#include <sys/types.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <tuple>
#include <vips/vips8>

#include "dialog_fixture.h"
#include "photo_fixtures.h"

using namespace res;

namespace {

/// The command-line converter and the window, given the same settings.
class ConvertCliTest : public MainDialogTest {
protected:
    struct Run {
        int exitCode;
        QString errors;
    };
    Run runCli(const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TESSIVA_CLI), arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }
    static double Difference(const QString& a, const QString& b) {
        const vips::VImage x = vips::VImage::new_from_file(QFile::encodeName(a).constData());
        const vips::VImage y = vips::VImage::new_from_file(QFile::encodeName(b).constData());
        if (x.width() != y.width() || x.height() != y.height() || x.bands() != y.bands())
            return 1e9;
        return (x - y).abs().max();
    }
};

TEST_F(ConvertCliTest, AFolderOfMixedPhotosComesOutAsTheWindowMakesIt) {
    const QString in = temp.mkdir(QStringLiteral("in"));
    QStringList inputs;
    for (const char* name : {"a.jpg", "b.png", "c.tif", "d.webp", "e.heic"})
        inputs << fixtures::SolidPhoto(temp, QStringLiteral("in/") + QString::fromLatin1(name), 120,
                                       80, QColor(40, 160, 90));
    inputs << fixtures::FramedPhoto(temp, QStringLiteral("in/f.gif"), 120, 80,
                                    {Qt::blue, Qt::yellow});
    inputs << temp.write(QStringLiteral("in/broken.jpg"), "not a photo at all");

    const QString cliOut = temp.mkdir(QStringLiteral("cli"));
    const Run run = runCli(
        QStringList{QStringLiteral("-W"), QStringLiteral("90"), QStringLiteral("-r"),
                    QStringLiteral("90"), QStringLiteral("-f"), QStringLiteral("horizontal"),
                    QStringLiteral("--text"), QStringLiteral("Tessiva"), QStringLiteral("--font"),
                    QStringLiteral("DejaVu Sans bold 14"), QStringLiteral("--color"),
                    QStringLiteral("#ff0000"), QStringLiteral("--position"), QStringLiteral("5,8"),
                    QStringLiteral("-d"), cliOut} +
        inputs);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        run.errors.contains(QStringLiteral("broken.jpg: Can not get the width of the photo!")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("Converted 6 of 7 photos; 1 failed.")))
        << run.errors.toStdString();
    EXPECT_FALSE(QFile::exists(cliOut + QStringLiteral("/broken_out.tif")));

    // The window, set the same way.
    start();
    QTest::mouseClick(button(IDC_RADIO_ROTATE_90), Qt::LeftButton);
    QTest::mouseClick(button(IDC_RADIO_FLIP_HORIZONTAL), Qt::LeftButton);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    platform.fontChoices = {FontChoice{font, QColor(Qt::red)}};
    QTest::mouseClick(button(IDC_BUTTON_FONT), Qt::LeftButton);
    for (const QString& input : inputs.mid(0, 6)) {
        platform.openChoices = {input};
        QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
        edit(IDC_EDIT_OUTPUT_WIDTH)->setText(QStringLiteral("90"));
        QTest::mouseClick(button(IDC_BUTTON_BASE_WIDTH), Qt::LeftButton);
        edit(IDC_EDIT_TEXT)->setText(QStringLiteral("Tessiva"));
        edit(IDC_EDIT_TEXT_X)->setText(QStringLiteral("5"));
        edit(IDC_EDIT_TEXT_Y)->setText(QStringLiteral("8"));
        const QString windowOut = temp.file(QStringLiteral("window-") +
                                            QFileInfo(input).baseName() + QStringLiteral(".tif"));
        edit(IDC_EDIT_OUTPUT_FILE)->setText(windowOut);
        QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
        const QString cliFile =
            cliOut + u'/' + QFileInfo(input).completeBaseName() + QStringLiteral("_out.tif");
        EXPECT_EQ(Difference(windowOut, cliFile), 0.0) << input.toStdString();
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ConvertCliTest, ExistingOutputsAreKeptUnlessOverwriteIsGiven) {
    const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("p.png"), 40, 30, Qt::red);
    const QString out = temp.write(QStringLiteral("p_out.tif"), "keep me");
    Run run = runCli({photo});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("--overwrite"))) << run.errors.toStdString();
    EXPECT_EQ(fixtures::Bytes(out), QByteArray("keep me"));
    run =
        runCli({QStringLiteral("--overwrite"), QStringLiteral("-H"), QStringLiteral("15"), photo});
    EXPECT_EQ(run.exitCode, 0);
    const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(out).constData());
    EXPECT_EQ(image.width(), 20);  // the calculator's proportions
    EXPECT_EQ(image.height(), 15);
}

TEST_F(ConvertCliTest, MistakesOnTheCommandLineAreExplained) {
    const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("p.png"), 40, 30, Qt::red);
    const std::pair<QStringList, const char*> cases[] = {
        {{}, "no input photo"},
        {{QStringLiteral("-r"), QStringLiteral("45"), photo}, "--rotate"},
        {{QStringLiteral("-f"), QStringLiteral("sideways"), photo}, "--flip"},
        {{QStringLiteral("-W"), QStringLiteral("abc"), photo}, "--width"},
        {{QStringLiteral("--position"), QStringLiteral("1"), photo}, "--position"},
        {{QStringLiteral("-o"), QStringLiteral("x.tif"), photo, photo}, "--output-dir"},
        {{QStringLiteral("--font"), QStringLiteral("24"), photo}, "--font"},
    };
    for (const auto& [arguments, mention] : cases) {
        const Run run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << mention;
        EXPECT_TRUE(run.errors.contains(QString::fromLatin1(mention))) << run.errors.toStdString();
    }
    const Run frame = runCli({QStringLiteral("--frame"), QStringLiteral("3"), QStringLiteral("-o"),
                              temp.file(QStringLiteral("f.tif")), photo});
    EXPECT_EQ(frame.exitCode, 1);
    EXPECT_TRUE(frame.errors.contains(QStringLiteral("The frame number is invalid")))
        << frame.errors.toStdString();
}

TEST_F(ConvertCliTest, InterruptingStopsCleanlyWithoutPartialFiles) {
    const QString photo =
        fixtures::SolidPhoto(temp, QStringLiteral("in/big.png"), 3000, 2000, Qt::red);
    QStringList inputs;
    for (int i = 0; i < 40; ++i) {
        const QString copy = temp.file(QStringLiteral("in/p%1.png").arg(i));
        QFile::copy(photo, copy);
        inputs << copy;
    }
    const QString out = temp.mkdir(QStringLiteral("out"));
    const QString list = temp.write(QStringLiteral("list.txt"), inputs.join(u'\n').toUtf8());
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(
        QStringLiteral(TESSIVA_CLI),
        {QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("4000"),
         QStringLiteral("-d"), out, QStringLiteral("--files-from"), list});
    // Interrupted once the first photo is written, however fast the machine.
    QByteArray said;
    while (!said.contains("->") && process.waitForReadyRead(60000))
        said += process.readAllStandardError();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 130);
    const QStringList written = QDir(out).entryList(QDir::Files | QDir::Hidden);
    EXPECT_LT(written.size(), 40);
    for (const QString& name : written) {  // every file there is a whole TIFF
        EXPECT_TRUE(name.endsWith(QStringLiteral("_out.tif"))) << name.toStdString();
        const vips::VImage image =
            vips::VImage::new_from_file(QFile::encodeName(out + u'/' + name).constData());
        EXPECT_EQ(image.width(), 4000);
        EXPECT_EQ(image.avg(), (255.0 + 0 + 0) / 3) << name.toStdString();
    }
    // The closing line counts every input of the list, read or not: the photo
    // stopped half-way and those never taken are not started, not failed.
    const QString closing = QString::fromUtf8(said + process.readAllStandardError()).trimmed();
    EXPECT_TRUE(closing.endsWith(QStringLiteral("Converted %1 of 40 photos; %2 not started; "
                                                "interrupted.")
                                     .arg(written.size())
                                     .arg(40 - written.size())))
        << closing.toStdString();
}

TEST_F(ConvertCliTest, TwoInputsOfOneRunNeverWriteOneOutput) {
    const QString gif =
        fixtures::FramedPhoto(temp, QStringLiteral("multi.gif"), 40, 30, {Qt::blue, Qt::yellow});
    const QString tif = fixtures::SolidPhoto(temp, QStringLiteral("multi.tif"), 40, 30, Qt::red);
    const QString out = temp.mkdir(QStringLiteral("out"));
    const Run run = runCli({QStringLiteral("-d"), out + u'/', gif, tif});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(
        QStringLiteral("multi.tif: would overwrite %1/multi_out.tif, written for %2")
            .arg(out, gif)))
        << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(QStringLiteral("//"))) << run.errors.toStdString();
    // The file is the first input's: blue, its first frame.
    const vips::VImage written = vips::VImage::new_from_file(
        QFile::encodeName(out + QStringLiteral("/multi_out.tif")).constData());
    EXPECT_EQ(written.getpoint(5, 5), (std::vector<double>{0, 0, 255}));
}

TEST_F(ConvertCliTest, PagesOfOtherSizesKeepTheirOwnSizeInWindowAndCommandLine) {
    start();
    const QString pages = fixtures::PagesOfSizes(
        temp, QStringLiteral("pages.tif"), {QSize(800, 500), QSize(375, 600)}, {Qt::red, Qt::blue});
    const QString cliOut = temp.file(QStringLiteral("cli.tif"));
    EXPECT_EQ(runCli({pages, QStringLiteral("--frame"), QStringLiteral("1"), QStringLiteral("-W"),
                      QStringLiteral("100"), QStringLiteral("-o"), cliOut})
                  .exitCode,
              0);
    const vips::VImage cli = vips::VImage::new_from_file(QFile::encodeName(cliOut).constData());
    EXPECT_EQ(QSize(cli.width(), cli.height()), QSize(100, 160));

    platform.openChoices = {pages};
    QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
    edit(IDC_EDIT_FRAME_NUMBER)->setText(QStringLiteral("1"));
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), QStringLiteral("pages.tif 375 * 600"));
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), QStringLiteral("375"));  // followed, untouched
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(QStringLiteral("150"));
    QTest::mouseClick(button(IDC_BUTTON_BASE_WIDTH), Qt::LeftButton);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_HEIGHT)->text(),
              QStringLiteral("240"));  // this page's proportions
    edit(IDC_EDIT_FRAME_NUMBER)->setText(QStringLiteral("0"));
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), QStringLiteral("150"));  // typed: kept
}

TEST_F(ConvertCliTest, CaptionsPlaceThemselvesAlikeOnPhotosOfEverySize) {
    start();
    QStringList photos;
    for (const int width : {800, 2400, 5000, 8000})
        photos << fixtures::SolidPhoto(temp, QStringLiteral("p%1.jpg").arg(width), width,
                                       width * 2 / 3, Qt::white);
    const QString out = temp.mkdir(QStringLiteral("out"));
    const QString report = temp.file(QStringLiteral("report.json"));
    const Run run = runCli(QStringList{QStringLiteral("--text"), QStringLiteral("\u2588\u2588"),
                                       QStringLiteral("--anchor"), QStringLiteral("south-east"),
                                       QStringLiteral("--position"), QStringLiteral("2%,2%"),
                                       QStringLiteral("--font"), QStringLiteral("DejaVu Sans 3%"),
                                       QStringLiteral("--color"), QStringLiteral("#ff0000"),
                                       QStringLiteral("-d"), out} +
                           photos);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    std::vector<double> right, bottom, tall;
    for (const int photoWidth : {800, 2400, 5000, 8000}) {
        SCOPED_TRACE(photoWidth);
        const vips::VImage image = vips::VImage::new_from_file(
            QFile::encodeName(out + QStringLiteral("/p%1_out.tif").arg(photoWidth)).constData());
        // The ink's box, as shares of the picture: the same on every size.
        int top = 0, width = 0, height = 0;
        const int left = image[1].find_trim(&top, &width, &height,
                                            vips::VImage::option()
                                                ->set("background", std::vector<double>{255})
                                                ->set("threshold", 64));
        right.push_back(double(left + width) / image.width());
        bottom.push_back(double(top + height) / image.height());
        tall.push_back(double(height) / image.height());
    }
    for (const auto* shares : {&right, &bottom, &tall})
        EXPECT_LT(*std::max_element(shares->begin(), shares->end()) -
                      *std::min_element(shares->begin(), shares->end()),
                  0.01);
    EXPECT_NEAR(right[0], 0.98, 0.01);
    EXPECT_NEAR(bottom[0], 0.98, 0.01);
    // A position outside a photo is a warning, in the report too, never silent.
    const QString outside = temp.file(QStringLiteral("outside.tif"));
    const Run warned =
        runCli({QStringLiteral("--text"), QStringLiteral("x"), QStringLiteral("--position"),
                QStringLiteral("5000,10"), QStringLiteral("--report"), report, QStringLiteral("-o"),
                outside, photos[0]});
    EXPECT_EQ(warned.exitCode, 0);
    EXPECT_TRUE(warned.errors.contains(QStringLiteral("The text position X")))
        << warned.errors.toStdString();
    EXPECT_TRUE(fixtures::Bytes(report).contains("\"status\":\"warning\""));
}

TEST_F(ConvertCliTest, RightsTravelByDefaultAndEverythingOnlyWhenAsked) {
    start();
    const QString photo =
        fixtures::SolidPhoto(temp, QStringLiteral("camera.jpg"), 64, 48, Qt::gray);
    ASSERT_EQ(
        QProcess::execute(
            QStringLiteral("exiftool"),
            {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
             QStringLiteral("-EXIF:Artist=Exif Artist"), QStringLiteral("-EXIF:Copyright=© Exif"),
             QStringLiteral("-DateTimeOriginal=2026:05:01 10:20:30"),
             QStringLiteral("-Orientation#=6"), QStringLiteral("-GPSLatitude=48.1"),
             QStringLiteral("-GPSLatitudeRef=N"), QStringLiteral("-SerialNumber=SN123"),
             QStringLiteral("-XMP-dc:Creator=Xmp Creator"),
             QStringLiteral("-XMP-dc:Description=Xmp caption"),
             QStringLiteral("-IPTC:CopyrightNotice=Iptc copyright"), photo}),
        0);
    // What exiftool reads of an output, as "group:tag" -> value.
    const auto tags = [&](const QStringList& options, const QString& input) {
        const QString out = temp.file(QStringLiteral("out.tif"));
        EXPECT_EQ(runCli(options + QStringList{QStringLiteral("--overwrite"), QStringLiteral("-o"),
                                               out, input})
                      .exitCode,
                  0);
        QProcess exiftool;
        exiftool.start(QStringLiteral("exiftool"),
                       {QStringLiteral("-j"), QStringLiteral("-G1"), QStringLiteral("-n"), out});
        exiftool.waitForFinished();
        return QJsonDocument::fromJson(exiftool.readAllStandardOutput()).array()[0].toObject();
    };
    const QJsonObject rights = tags({}, photo);
    EXPECT_EQ(rights[QStringLiteral("IFD0:Artist")].toString(), QStringLiteral("Xmp Creator"));
    EXPECT_EQ(rights[QStringLiteral("IFD0:Copyright")].toString(),
              QStringLiteral("Iptc copyright"));
    EXPECT_EQ(rights[QStringLiteral("IFD0:ImageDescription")].toString(),
              QStringLiteral("Xmp caption"));
    EXPECT_EQ(rights[QStringLiteral("IFD0:ModifyDate")].toString(),
              QStringLiteral("2026:05:01 10:20:30"));
    EXPECT_EQ(rights[QStringLiteral("XMP-dc:Creator")].toString(), QStringLiteral("Xmp Creator"));
    for (const char* absent :
         {"GPS:GPSLatitude", "ExifIFD:SerialNumber", "IFD0:Orientation", "IPTC:CopyrightNotice"})
        EXPECT_FALSE(rights.contains(QLatin1StringView(absent))) << absent;  // privacy by default

    const QJsonObject all = tags({QStringLiteral("--metadata"), QStringLiteral("all")}, photo);
    EXPECT_NEAR(all[QStringLiteral("GPS:GPSLatitude")].toDouble(), 48.1, 1e-6);
    EXPECT_EQ(all[QStringLiteral("ExifIFD:SerialNumber")].toString(), QStringLiteral("SN123"));
    EXPECT_EQ(all[QStringLiteral("IFD0:Orientation")].toInt(), 6);  // written as stored
    EXPECT_EQ(all[QStringLiteral("IPTC:CopyrightNotice")].toString(),
              QStringLiteral("Iptc copyright"));
    EXPECT_EQ(all[QStringLiteral("IFD0:Artist")].toString(), QStringLiteral("Exif Artist"));
    const QJsonObject turned =
        tags({QStringLiteral("--metadata"), QStringLiteral("all"), QStringLiteral("--auto-orient")},
             photo);
    EXPECT_EQ(turned[QStringLiteral("IFD0:Orientation")].toInt(), 1);  // the pixels are upright

    const QJsonObject none = tags({QStringLiteral("--metadata"), QStringLiteral("none")}, photo);
    for (const char* absent :
         {"IFD0:Artist", "XMP-dc:Creator", "GPS:GPSLatitude", "IFD0:Orientation"})
        EXPECT_FALSE(none.contains(QLatin1StringView(absent))) << absent;

    // HEIF keeps its XMP apart, and its pixels come turned already.
    const QString heif = temp.file(QStringLiteral("camera.heic"));
    vips::VImage::new_from_file(QFile::encodeName(photo).constData())
        .write_to_file(QFile::encodeName(heif).constData());
    const QJsonObject fromHeif = tags({QStringLiteral("--metadata"), QStringLiteral("all")}, heif);
    EXPECT_EQ(fromHeif[QStringLiteral("XMP-dc:Creator")].toString(), QStringLiteral("Xmp Creator"));
    EXPECT_EQ(fromHeif[QStringLiteral("IFD0:Orientation")].toInt(), 1);
}

TEST_F(ConvertCliTest, PhotosConvertedSideBySideKeepTheirOwnReasons) {
    // Every other photo is cut short; four convert at once.
    QStringList arguments{QStringLiteral("--jobs"), QStringLiteral("4"), QStringLiteral("-d"),
                          temp.mkdir(QStringLiteral("out"))};
    for (int i = 0; i < 24; ++i) {
        const QString name = temp.file(QStringLiteral("p%1.jpg").arg(i));
        vips::VImage::gaussnoise(600, 400).write_to_file(QFile::encodeName(name).constData());
        if (i % 2 == 1) QFile(name).resize(QFileInfo(name).size() / 2);
        arguments << name;
    }
    const Run run = runCli(arguments);
    EXPECT_EQ(run.exitCode, 0);
    for (int i = 1; i < 24; i += 2)
        EXPECT_TRUE(run.errors.contains(
            QStringLiteral("p%1.jpg: warning: the photo is damaged; converted what could be read "
                           "(VipsJpeg: Premature end of input file)")
                .arg(i)))
            << i << run.errors.toStdString();
}

TEST_F(ConvertCliTest, FailuresSayWhy) {
    const QString folder = temp.mkdir(QStringLiteral("folder"));
    const QString text = temp.write(QStringLiteral("notes.jpg"), "just some notes");
    const std::pair<QString, const char*> cases[] = {
        {temp.file(QStringLiteral("missing.jpg")), "(No such file or directory)"},
        {folder, "(is a folder)"},
        {text, "(not a photo format (text))"},
        {temp.file(QStringLiteral("pipe.jpg")), "(not a regular file)"},  // opening it would wait
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.file(QStringLiteral("pipe.jpg"))).constData(), 0600),
              0);
    for (const auto& [input, reason] : cases) {
        const Run run = runCli({QStringLiteral("-d"), temp.path(), input});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains(input +
                                        QStringLiteral(": Can not get the width of the photo! ") +
                                        QLatin1StringView(reason)))
            << run.errors.toStdString();
    }
    // Unknown options and languages are usage errors too.
    EXPECT_EQ(runCli({QStringLiteral("-x"), text}).exitCode, 2);
    const Run language = runCli({QStringLiteral("--language"), QStringLiteral("Klingon"), text});
    EXPECT_EQ(language.exitCode, 2);
    EXPECT_TRUE(language.errors.contains(QStringLiteral("Klingon")))
        << language.errors.toStdString();

    // A full disk, where this test may mount a tiny one.
    const QString small = temp.mkdir(QStringLiteral("small"));
    const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("p.png"), 40, 30, Qt::red);
    if (QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=16k"), QStringLiteral("tmpfs"), small}) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const Run full = runCli({QStringLiteral("-W"), QStringLiteral("3000"), QStringLiteral("-H"),
                             QStringLiteral("3000"), QStringLiteral("-d"), small, photo});
    const QStringList left = QDir(small).entryList(QDir::Files | QDir::Hidden);
    QProcess::execute(QStringLiteral("umount"), {small});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(
        full.errors.contains(QStringLiteral("Failed to save the file! (No space left on device)")))
        << full.errors.toStdString();
    EXPECT_TRUE(left.isEmpty());
}

TEST_F(ConvertCliTest, TheReadmeExampleRunsAsWritten) {
    // The command as the README shows it, from a folder of camera photos.
    const QString readme = ReadText(QStringLiteral(TESSIVA_SOURCE_DIR "/README.md"));
    const qsizetype start = readme.indexOf(QStringLiteral("`build/tessiva-convert "));
    ASSERT_GE(start, 0);
    const QString command = readme.mid(start + 1, readme.indexOf(u'`', start + 1) - start - 1);
    QStringList arguments = QProcess::splitCommand(command);
    ASSERT_EQ(arguments.takeFirst(), QStringLiteral("build/tessiva-convert"));
    ASSERT_EQ(arguments.takeLast(), QStringLiteral("photos/*.jpg"));
    temp.mkdir(QStringLiteral("photos"));
    temp.mkdir(QStringLiteral("out"));
    for (const char* name : {"a.jpg", "b.jpg"})
        fixtures::SolidPhoto(temp, QStringLiteral("photos/") + QLatin1StringView(name), 6000, 4000,
                             QColor(90, 120, 150));
    QProcess process;
    process.setWorkingDirectory(temp.path());
    process.start(
        QStringLiteral(TESSIVA_CLI),
        arguments + QStringList{QStringLiteral("photos/a.jpg"), QStringLiteral("photos/b.jpg")});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    for (const char* name : {"out/a_out.tif", "out/b_out.tif"}) {
        const vips::VImage result = vips::VImage::new_from_file(
            QFile::encodeName(temp.file(QLatin1StringView(name))).constData());
        EXPECT_EQ(result.width(), 1066);  // turned: the output height
        EXPECT_EQ(result.height(), 1600);
    }
}

TEST_F(ConvertCliTest, UprightTextReadsAsOnAPhotoThatWasNeverTurned) {
    start();
    // Red text at 10,10 on a turned and mirrored white photo, and on one of the
    // turned size that is not turned: the same ink at the same place.
    const QString wide =
        fixtures::SolidPhoto(temp, QStringLiteral("wide.png"), 200, 100, Qt::white);
    const QString tall =
        fixtures::SolidPhoto(temp, QStringLiteral("tall.png"), 100, 200, Qt::white);
    const QStringList text{QStringLiteral("--text"),     QStringLiteral("Tessiva"),
                           QStringLiteral("--color"),    QStringLiteral("red"),
                           QStringLiteral("--position"), QStringLiteral("10,10")};
    const QString turned = temp.file(QStringLiteral("turned.tif"));
    const QString plain = temp.file(QStringLiteral("plain.tif"));
    ASSERT_EQ(
        runCli(text + QStringList{wide, QStringLiteral("-r"), QStringLiteral("90"),
                                  QStringLiteral("-f"), QStringLiteral("horizontal"),
                                  QStringLiteral("--text-upright"), QStringLiteral("-o"), turned})
            .exitCode,
        0);
    ASSERT_EQ(runCli(text + QStringList{tall, QStringLiteral("-o"), plain}).exitCode, 0);
    EXPECT_EQ(Difference(turned, plain), 0.0);
    // The window, with the stored choice, writes the same.
    platform.openChoices = {wide};
    QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
    QTest::mouseClick(button(IDC_RADIO_ROTATE_90), Qt::LeftButton);
    QTest::mouseClick(button(IDC_RADIO_FLIP_HORIZONTAL), Qt::LeftButton);
    dialog->OnCommand(IDM_TEXT_UPRIGHT);
    QFont font = QFont();
    font.setPixelSize(13);
    platform.fontChoices = {FontChoice{font, QColor(Qt::red)}};
    QTest::mouseClick(button(IDC_BUTTON_FONT), Qt::LeftButton);
    edit(IDC_EDIT_TEXT)->setText(QStringLiteral("Tessiva"));
    edit(IDC_EDIT_TEXT_X)->setText(QStringLiteral("10"));
    edit(IDC_EDIT_TEXT_Y)->setText(QStringLiteral("10"));
    const QString window = temp.file(QStringLiteral("window.tif"));
    edit(IDC_EDIT_OUTPUT_FILE)->setText(window);
    QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
    EXPECT_EQ(Difference(window, plain), 0.0);
    EXPECT_EQ(storedInt(QStringLiteral("Option"), QStringLiteral("nTextUpright")), 1);
}

TEST_F(ConvertCliTest, MessagesComeFromTheChosenLanguage) {
    const QString broken = temp.write(QStringLiteral("kaputt.jpg"), "kaputt");
    // By the language's English or own name, or by the locale; C asks for none.
    QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        plain.remove(QString::fromLatin1(name));
    QProcessEnvironment german = plain;
    german.insert(QStringLiteral("LANGUAGE"), QStringLiteral("fr:de"));
    QProcessEnvironment c = german;
    c.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    for (const auto& [arguments, environment, isGerman] :
         {std::tuple{QStringList{QStringLiteral("--language"), QStringLiteral("German")}, plain,
                     true},
          std::tuple{QStringList{QStringLiteral("--language"), QStringLiteral("deutsch")}, plain,
                     true},
          std::tuple{QStringList{}, german, true}, std::tuple{QStringList{}, c, false}}) {
        const Run run = runCli(arguments + QStringList{broken}, environment);
        EXPECT_EQ(
            run.errors.contains(QStringLiteral("0 von 1 Fotos umgewandelt; 1 fehlgeschlagen.")),
            isGerman)
            << run.errors.toStdString();
    }
    const Run unknown = runCli({QStringLiteral("--language"), QStringLiteral("Klingon"), broken});
    EXPECT_EQ(unknown.exitCode, 2);
}

}  // namespace

namespace {

// The command line is for servers: no display, no widget library.
TEST_F(ConvertCliTest, RunsWithoutADisplayAndWithoutWidgets) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(TESSIVA_CLI)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
    EXPECT_TRUE(libraries.contains(QStringLiteral("libQt6Gui"))) << libraries.toStdString();
    EXPECT_FALSE(libraries.contains(QStringLiteral("libQt6Widgets"))) << libraries.toStdString();

    const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("a.png"), 40, 30, Qt::red);
    // A display named that is not there, as a stale session or a desktop profile leaves it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":999"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess cli;
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(TESSIVA_CLI), {QStringLiteral("--text"), QStringLiteral("caption"),
                                            QStringLiteral("-d"), temp.path(), photo});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const vips::VImage out =
        vips::VImage::new_from_file(temp.file(QStringLiteral("a_out.tif")).toUtf8().constData());
    EXPECT_EQ(out.width(), 40);
}

}  // namespace
