#include <sys/stat.h>
#include <sys/types.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <tuple>
#include <vips/vips8>

#include "cli/options.h"
#include "cli/read_options.h"
#include "cli_runner.h"
#include "dialog_fixture.h"
#include "photo_fixtures.h"

using namespace res;

namespace {

/// The command-line converter and the window, given the same settings.
class ConvertCliTest : public MainDialogTest {
protected:
    CliRun runCli(const QStringList& arguments, const QProcessEnvironment& environment =
                                                    QProcessEnvironment::systemEnvironment()) {
        return RunCli(arguments, {{}, {}, environment});
    }
};

TEST_F(ConvertCliTest, AFolderOfMixedPhotosComesOutAsTheWindowMakesIt) {
    const QString in = temp.mkdir(u"in"_s);
    QStringList inputs;
    for (const char* name : {"a.jpg", "b.png", "c.tif", "d.webp", "e.heic"})
        inputs << fixtures::SolidPhoto(temp, u"in/"_s + QString::fromLatin1(name), 120, 80,
                                       QColor(40, 160, 90));
    inputs << fixtures::FramedPhoto(temp, u"in/f.gif"_s, 120, 80, {Qt::blue, Qt::yellow});
    inputs << temp.write(u"in/broken.jpg"_s, "not a photo at all");

    const QString cliOut = temp.mkdir(u"cli"_s);
    const CliRun run =
        runCli(QStringList{u"-W"_s, u"90"_s, u"-r"_s, u"90"_s, u"-f"_s, u"horizontal"_s,
                           u"--text"_s, u"Tessiva"_s, u"--font"_s, u"DejaVu Sans bold 14"_s,
                           u"--color"_s, u"#ff0000"_s, u"--position"_s, u"5,8"_s, u"-d"_s, cliOut} +
               inputs);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(u"broken.jpg: Can not get the width of the photo!"_s))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(u"Converted 6 of 7 photos; 1 failed."_s))
        << run.errors.toStdString();
    EXPECT_FALSE(QFile::exists(cliOut + u"/broken_out.tif"_s));

    // The window, set the same way.
    // The turn and the font are chosen once: opening each photo keeps them.
    start();
    click(IDC_RADIO_ROTATE_90);
    click(IDC_RADIO_FLIP_HORIZONTAL);
    platform.fontChoices = {Font(14, Qt::red, u"DejaVu Sans"_s, true)};
    click(IDC_BUTTON_FONT);
    for (const QString& input : inputs.mid(0, 6)) {
        const QString windowOut = temp.file(u"window-"_s + QFileInfo(input).baseName() + u".tif"_s);
        convertInWindow(input, windowOut, {u"90"_s, {}, {}, u"Tessiva"_s, {5, 8}});
        const QString cliFile = cliOut + u'/' + QFileInfo(input).completeBaseName() + u"_out.tif"_s;
        EXPECT_EQ(fixtures::Difference(windowOut, cliFile), 0.0) << input.toStdString();
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ConvertCliTest, ExistingOutputsAreKeptUnlessOverwriteIsGiven) {
    const QString photo = fixtures::SolidPhoto(temp, u"p.png"_s, 40, 30, Qt::red);
    const QString out = temp.write(u"p_out.tif"_s, "keep me");
    CliRun run = runCli({photo});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(u"--overwrite"_s)) << run.errors.toStdString();
    EXPECT_EQ(fixtures::Bytes(out), QByteArray("keep me"));
    run = runCli({u"--overwrite"_s, u"-H"_s, u"15"_s, photo});
    EXPECT_EQ(run.exitCode, 0);
    const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(out).constData());
    EXPECT_EQ(image.width(), 20);  // the calculator's proportions
    EXPECT_EQ(image.height(), 15);
}

TEST(ReadOptions, MistakesAreUsageErrorsThatNameWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "no input photo"},
        {"-r 45 p.png", "--rotate"},
        {"-f sideways p.png", "--flip"},
        {"-W abc p.png", "--width"},
        {"-H 0 p.png", "--height"},
        {"--position 1 p.png", "--position"},
        {"-o x.tif p.png p.png", "--output-dir"},
        {"--font 24 p.png", "--font"},
        {"--color nocolour p.png", "--color"},
        {"--anchor up p.png", "--anchor"},
        {"--metadata some p.png", "--metadata"},
        {"--name {size} p.png", "--name"},
        {"--overwrite --skip-existing p.png", "exclude each other"},
        {"--quiet --verbose p.png", "exclude each other"},
        {"--shard 3/2 p.png", "--shard"},
        {"--max-memory 16777215 p.png", "--max-memory"},
        {"--max-pixels 0 p.png", "--max-pixels"},
        {"--background nocolour p.png", "--background"},
        {"--null p.png", "--null"},
        {"- p.png", "standard input"},
        {"-d /no/such/folder p.png", "no such folder"},
    };
    for (const auto& [arguments, mention] : cases) {
        QCommandLineParser parser;
        cli::DescribeOptions(parser);
        ASSERT_TRUE(
            parser.parse(QStringList{u"tessiva-convert"_s} + Args(QLatin1StringView(arguments))));
        const auto read = cli::ReadOptions(parser);
        const auto* mistake = std::get_if<cli::UsageError>(&read);
        ASSERT_TRUE(mistake) << arguments;
        EXPECT_TRUE(mistake->text.contains(QLatin1StringView(mention)))
            << mistake->text.toStdString();
    }
    // The least of each is no mistake.
    QCommandLineParser parser;
    cli::DescribeOptions(parser);
    ASSERT_TRUE(parser.parse(Args(u"tessiva-convert --max-memory 16M --max-pixels 1 p.png"_s)));
    EXPECT_FALSE(std::holds_alternative<cli::UsageError>(cli::ReadOptions(parser)));
}

TEST_F(ConvertCliTest, AMistakeEndsTheRunWithStatusTwoAndAFrameBeyondThePhotoFailsIt) {
    const QString photo = fixtures::SolidPhoto(temp, u"p.png"_s, 40, 30, Qt::red);
    const CliRun mistake = runCli({u"-r"_s, u"45"_s, photo});
    EXPECT_EQ(mistake.exitCode, 2);
    EXPECT_TRUE(mistake.errors.contains(u"--rotate"_s)) << mistake.errors.toStdString();
    const CliRun frame = runCli({u"--frame"_s, u"3"_s, u"-o"_s, temp.file(u"f.tif"_s), photo});
    EXPECT_EQ(frame.exitCode, 1);
    EXPECT_TRUE(frame.errors.contains(u"The frame number is invalid"_s))
        << frame.errors.toStdString();
}

TEST_F(ConvertCliTest, InterruptingStopsCleanlyWithoutPartialFiles) {
    const QString photo = fixtures::SolidPhoto(temp, u"in/big.png"_s, 3000, 2000, Qt::red);
    QStringList inputs;
    for (int i = 0; i < 40; ++i) {
        const QString copy = temp.file(u"in/p%1.png"_s.arg(i));
        QFile::copy(photo, copy);
        inputs << copy;
    }
    const QString out = temp.mkdir(u"out"_s);
    const QString list = temp.write(u"list.txt"_s, inputs.join(u'\n').toUtf8());
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(TESSIVA_CLI),
                  {u"-j"_s, u"1"_s, u"-W"_s, u"4000"_s, u"-d"_s, out, u"--files-from"_s, list});
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
        EXPECT_TRUE(name.endsWith(u"_out.tif"_s)) << name.toStdString();
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
    const QString gif = fixtures::FramedPhoto(temp, u"multi.gif"_s, 40, 30, {Qt::blue, Qt::yellow});
    const QString tif = fixtures::SolidPhoto(temp, u"multi.tif"_s, 40, 30, Qt::red);
    const QString out = temp.mkdir(u"out"_s);
    const CliRun run = runCli({u"-d"_s, out + u'/', gif, tif});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(
        u"multi.tif: would overwrite %1/multi_out.tif, written for %2"_s.arg(out, gif)))
        << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(u"//"_s)) << run.errors.toStdString();
    // The file is the first input's: blue, its first frame.
    const vips::VImage written =
        vips::VImage::new_from_file(QFile::encodeName(out + u"/multi_out.tif"_s).constData());
    EXPECT_EQ(written.getpoint(5, 5), (std::vector<double>{0, 0, 255}));
}

TEST_F(ConvertCliTest, PagesOfOtherSizesKeepTheirOwnSizeInWindowAndCommandLine) {
    start();
    const QString pages = fixtures::PagesOfSizes(
        temp, u"pages.tif"_s, {QSize(800, 500), QSize(375, 600)}, {Qt::red, Qt::blue});
    const QString cliOut = temp.file(u"cli.tif"_s);
    EXPECT_EQ(runCli({pages, u"--frame"_s, u"1"_s, u"-W"_s, u"100"_s, u"-o"_s, cliOut}).exitCode,
              0);
    const vips::VImage cli = vips::VImage::new_from_file(QFile::encodeName(cliOut).constData());
    EXPECT_EQ(QSize(cli.width(), cli.height()), QSize(100, 160));

    openPhoto(pages);
    edit(IDC_EDIT_FRAME_NUMBER)->setText(u"1"_s);
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"pages.tif 375 * 600"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"375"_s);  // followed, untouched
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"150"_s);
    click(IDC_BUTTON_BASE_WIDTH);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_HEIGHT)->text(),
              u"240"_s);  // this page's proportions
    edit(IDC_EDIT_FRAME_NUMBER)->setText(u"0"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"150"_s);  // typed: kept
}

TEST_F(ConvertCliTest, CaptionsPlaceThemselvesAlikeOnPhotosOfEverySize) {
    start();
    QStringList photos;
    for (const int width : {800, 2400, 5000, 8000})
        photos << fixtures::SolidPhoto(temp, u"p%1.jpg"_s.arg(width), width, width * 2 / 3,
                                       Qt::white);
    const QString out = temp.mkdir(u"out"_s);
    const QString report = temp.file(u"report.json"_s);
    const CliRun run =
        runCli(QStringList{u"--text"_s, u"\u2588\u2588"_s, u"--anchor"_s, u"south-east"_s,
                           u"--position"_s, u"2%,2%"_s, u"--font"_s, u"DejaVu Sans 3%"_s,
                           u"--color"_s, u"#ff0000"_s, u"-d"_s, out} +
               photos);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    std::vector<double> right, bottom, tall;
    for (const int photoWidth : {800, 2400, 5000, 8000}) {
        SCOPED_TRACE(photoWidth);
        const vips::VImage image = vips::VImage::new_from_file(
            QFile::encodeName(out + u"/p%1_out.tif"_s.arg(photoWidth)).constData());
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
    // A position outside a photo, in pixels or (here) shares, is a warning, in the report too.
    const QString outside = temp.file(u"outside.tif"_s);
    const CliRun warned = runCli({u"--text"_s, u"x"_s, u"--position"_s, u"101%,10%"_s,
                                  u"--report"_s, report, u"-o"_s, outside, photos[0]});
    EXPECT_EQ(warned.exitCode, 0);
    EXPECT_TRUE(warned.errors.contains(u"The text position X"_s)) << warned.errors.toStdString();
    EXPECT_TRUE(fixtures::Bytes(report).contains("\"status\":\"warning\""));
}

TEST_F(ConvertCliTest, RightsTravelByDefaultAndEverythingOnlyWhenAsked) {
    start();
    const QString photo = fixtures::SolidPhoto(temp, u"camera.jpg"_s, 64, 48, Qt::gray);
    ASSERT_EQ(
        QProcess::execute(
            u"exiftool"_s,
            {u"-q"_s, u"-overwrite_original"_s, u"-EXIF:Artist=Exif Artist"_s,
             u"-EXIF:Copyright=© Exif"_s, u"-DateTimeOriginal=2026:05:01 10:20:30"_s,
             u"-SubSecTimeOriginal=123"_s, u"-OffsetTimeOriginal=+05:30"_s, u"-Orientation#=6"_s,
             u"-GPSLatitude=48.1"_s, u"-GPSLatitudeRef=N"_s, u"-SerialNumber=SN123"_s,
             u"-XMP-dc:Creator=Xmp Creator"_s, u"-XMP-dc:Description=Xmp caption"_s,
             u"-IPTC:CopyrightNotice=Iptc copyright"_s, photo}),
        0);
    // What exiftool reads of an output, as "group:tag" -> value.
    const auto tags = [&](const QStringList& options, const QString& input) {
        const QString out = temp.file(u"out.tif"_s);
        EXPECT_EQ(runCli(options + QStringList{u"--overwrite"_s, u"-o"_s, out, input}).exitCode, 0);
        QProcess exiftool;
        exiftool.start(u"exiftool"_s, {u"-j"_s, u"-G1"_s, u"-n"_s, out});
        exiftool.waitForFinished();
        return QJsonDocument::fromJson(exiftool.readAllStandardOutput()).array()[0].toObject();
    };
    const QJsonObject rights = tags({}, photo);
    EXPECT_EQ(rights[u"IFD0:Artist"_s].toString(), u"Xmp Creator"_s);
    EXPECT_EQ(rights[u"IFD0:Copyright"_s].toString(), u"Iptc copyright"_s);
    EXPECT_EQ(rights[u"IFD0:ImageDescription"_s].toString(), u"Xmp caption"_s);
    // The TIFF's own date is when it was written (made alike by SOURCE_DATE_EPOCH).
    EXPECT_EQ(
        rights[u"IFD0:ModifyDate"_s].toString(),
        QDateTime::fromSecsSinceEpoch(1780000000, Qt::UTC).toString(u"yyyy:MM:dd HH:mm:ss"_s));
    // The moment of capture comes back whole, its fraction and zone in EXIF and XMP.
    EXPECT_EQ(rights[u"ExifIFD:DateTimeOriginal"_s].toString(), u"2026:05:01 10:20:30"_s);
    EXPECT_EQ(rights[u"ExifIFD:SubSecTimeOriginal"_s].toVariant().toString(), u"123"_s);
    EXPECT_EQ(rights[u"ExifIFD:OffsetTimeOriginal"_s].toString(), u"+05:30"_s);
    EXPECT_EQ(rights[u"XMP-photoshop:DateCreated"_s].toString(),
              u"2026:05:01 10:20:30.123+05:30"_s);
    EXPECT_EQ(rights[u"XMP-dc:Creator"_s].toString(), u"Xmp Creator"_s);
    for (const char* absent :
         {"GPS:GPSLatitude", "ExifIFD:SerialNumber", "IFD0:Orientation", "IPTC:CopyrightNotice"})
        EXPECT_FALSE(rights.contains(QLatin1StringView(absent))) << absent;  // privacy by default

    const QJsonObject all = tags({u"--metadata"_s, u"all"_s}, photo);
    EXPECT_NEAR(all[u"GPS:GPSLatitude"_s].toDouble(), 48.1, 1e-6);
    EXPECT_EQ(all[u"ExifIFD:SerialNumber"_s].toString(), u"SN123"_s);
    EXPECT_EQ(all[u"IFD0:Orientation"_s].toInt(), 6);  // written as stored
    EXPECT_EQ(all[u"IPTC:CopyrightNotice"_s].toString(), u"Iptc copyright"_s);
    EXPECT_EQ(all[u"IFD0:Artist"_s].toString(), all[u"XMP-dc:Creator"_s].toString());
    const QJsonObject turned = tags({u"--metadata"_s, u"all"_s, u"--auto-orient"_s}, photo);
    EXPECT_EQ(turned[u"IFD0:Orientation"_s].toInt(), 1);  // the pixels are upright

    const QJsonObject none = tags({u"--metadata"_s, u"none"_s}, photo);
    for (const char* absent :
         {"IFD0:Artist", "XMP-dc:Creator", "GPS:GPSLatitude", "IFD0:Orientation"})
        EXPECT_FALSE(none.contains(QLatin1StringView(absent))) << absent;

    // HEIF keeps its XMP apart, and its pixels come turned already.
    const QString heif = temp.file(u"camera.heic"_s);
    vips::VImage::new_from_file(QFile::encodeName(photo).constData())
        .write_to_file(QFile::encodeName(heif).constData());
    const QJsonObject fromHeif = tags({u"--metadata"_s, u"all"_s}, heif);
    EXPECT_EQ(fromHeif[u"XMP-dc:Creator"_s].toString(), u"Xmp Creator"_s);
    EXPECT_EQ(fromHeif[u"IFD0:Orientation"_s].toInt(), 1);

    // A TIFF states it in its own directories, a JPEG XL in its container's boxes, a
    // camera raw file (DNG, and a real camera's CR2) as the TIFF structure it is.
    const QString cr2 = temp.file(u"camera.cr2"_s);
    ASSERT_TRUE(QFile::copy(u"/usr/share/doc/rawtran/IMG_5952.CR2"_s, cr2));
    for (const QString& file : {fixtures::SolidPhoto(temp, u"own.tif"_s, 64, 48, Qt::gray),
                                fixtures::SolidPhoto(temp, u"own.jxl"_s, 64, 48, Qt::gray),
                                fixtures::LinearDng(temp, u"own.dng"_s, 32, 24), cr2}) {
        ASSERT_EQ(QProcess::execute(
                      u"exiftool"_s,
                      {u"-q"_s, u"-m"_s, u"-overwrite_original"_s, u"-Artist=Own Artist"_s,
                       u"-Copyright=Own Copyright"_s, u"-DateTimeOriginal=2026:05:01 10:20:30"_s,
                       u"-GPSLatitude=48.1"_s, file}),
                  0);
        const QJsonObject own = tags({}, file);
        EXPECT_EQ(own[u"IFD0:Artist"_s].toString(), u"Own Artist"_s) << file.toStdString();
        EXPECT_EQ(own[u"IFD0:Copyright"_s].toString(), u"Own Copyright"_s);
        EXPECT_EQ(own[u"ExifIFD:DateTimeOriginal"_s].toString(), u"2026:05:01 10:20:30"_s);
        EXPECT_FALSE(own.contains(u"GPS:GPSLatitude"_s));
        const QJsonObject all = tags({u"--metadata"_s, u"all"_s}, file);
        EXPECT_NEAR(all[u"GPS:GPSLatitude"_s].toDouble(), 48.1, 1e-6);
        // Maker's notes point into the file they came from: they stay behind.
        EXPECT_FALSE(QJsonDocument(all).toJson().contains("\"Canon:")) << file.toStdString();
    }
}

TEST_F(ConvertCliTest, PhotosConvertedSideBySideKeepTheirOwnReasons) {
    // Every other photo is cut short; four convert at once.
    QStringList arguments{u"--jobs"_s, u"4"_s, u"-d"_s, temp.mkdir(u"out"_s)};
    for (int i = 0; i < 24; ++i) {
        const QString name = temp.file(u"p%1.jpg"_s.arg(i));
        vips::VImage::gaussnoise(600, 400).write_to_file(QFile::encodeName(name).constData());
        if (i % 2 == 1) QFile(name).resize(QFileInfo(name).size() / 2);
        arguments << name;
    }
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.exitCode, 0);
    for (int i = 1; i < 24; i += 2)
        EXPECT_TRUE(run.errors.contains(
            QStringLiteral("p%1.jpg: warning: the photo is damaged; converted what could be read "
                           "(VipsJpeg: Premature end of input file)")
                .arg(i)))
            << i << run.errors.toStdString();
}

TEST_F(ConvertCliTest, FailuresSayWhy) {
    const QString folder = temp.mkdir(u"folder"_s);
    const QString text = temp.write(u"notes.jpg"_s, "just some notes");
    const std::pair<QString, const char*> cases[] = {
        {temp.file(u"missing.jpg"_s), "(No such file or directory)"},
        {folder, "(is a folder)"},
        {text, "(not a photo format (text))"},
        {temp.file(u"pipe.jpg"_s), "(not a regular file)"},  // opening it would wait
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.file(u"pipe.jpg"_s)).constData(), 0600), 0);
    for (const auto& [input, reason] : cases) {
        const CliRun run = runCli({u"-d"_s, temp.path(), input});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains(input + u": Can not get the width of the photo! "_s +
                                        QLatin1StringView(reason)))
            << run.errors.toStdString();
    }
    EXPECT_EQ(runCli({u"-x"_s, text}).exitCode, 2);  // an unknown option is a usage error too

    // A full disk, where this test may mount a tiny one.
    const QString small = temp.mkdir(u"small"_s);
    const QString photo = fixtures::SolidPhoto(temp, u"p.png"_s, 40, 30, Qt::red);
    if (QProcess::execute(u"mount"_s,
                          {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=16k"_s, u"tmpfs"_s, small}) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const CliRun full = runCli({u"-W"_s, u"3000"_s, u"-H"_s, u"3000"_s, u"-d"_s, small, photo});
    const QStringList left = QDir(small).entryList(QDir::Files | QDir::Hidden);
    QProcess::execute(u"umount"_s, {small});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.errors.contains(u"Failed to save the file! (No space left on device)"_s))
        << full.errors.toStdString();
    EXPECT_TRUE(left.isEmpty());
}

TEST_F(ConvertCliTest, TheReadmeExampleRunsAsWritten) {
    // The command as the README shows it, from a folder of camera photos.
    const QString readme = ReadText(QStringLiteral(TESSIVA_SOURCE_DIR "/README.md"));
    const qsizetype start = readme.indexOf(u"`build/tessiva-convert "_s);
    ASSERT_GE(start, 0);
    const QString command = readme.mid(start + 1, readme.indexOf(u'`', start + 1) - start - 1);
    QStringList arguments = QProcess::splitCommand(command);
    ASSERT_EQ(arguments.takeFirst(), u"build/tessiva-convert"_s);
    ASSERT_EQ(arguments.takeLast(), u"photos/*.jpg"_s);
    temp.mkdir(u"photos"_s);
    temp.mkdir(u"out"_s);
    for (const char* name : {"a.jpg", "b.jpg"})
        fixtures::SolidPhoto(temp, u"photos/"_s + QLatin1StringView(name), 6000, 4000,
                             QColor(90, 120, 150));
    QProcess process;
    process.setWorkingDirectory(temp.path());
    process.start(QStringLiteral(TESSIVA_CLI),
                  arguments + QStringList{u"photos/a.jpg"_s, u"photos/b.jpg"_s});
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
    const QString wide = fixtures::SolidPhoto(temp, u"wide.png"_s, 200, 100, Qt::white);
    const QString tall = fixtures::SolidPhoto(temp, u"tall.png"_s, 100, 200, Qt::white);
    const QStringList text{u"--text"_s, u"Tessiva"_s,    u"--color"_s,
                           u"red"_s,    u"--position"_s, u"10,10"_s};
    const QString turned = temp.file(u"turned.tif"_s);
    const QString plain = temp.file(u"plain.tif"_s);
    ASSERT_EQ(runCli(text + QStringList{wide, u"-r"_s, u"90"_s, u"-f"_s, u"horizontal"_s,
                                        u"--text-upright"_s, u"-o"_s, turned})
                  .exitCode,
              0);
    ASSERT_EQ(runCli(text + QStringList{tall, u"-o"_s, plain}).exitCode, 0);
    EXPECT_EQ(fixtures::Difference(turned, plain), 0.0);
    // The window, with the stored choice, writes the same.
    dialog->OnCommand(IDM_TEXT_UPRIGHT);
    const QString window = temp.file(u"window.tif"_s);
    convertInWindow(wide, window,
                    {{},
                     {IDC_RADIO_ROTATE_90, IDC_RADIO_FLIP_HORIZONTAL},
                     Font(13, Qt::red),
                     u"Tessiva"_s,
                     {10, 10}});
    EXPECT_EQ(fixtures::Difference(window, plain), 0.0);
    EXPECT_EQ(storedInt(u"Option"_s, u"nTextUpright"_s), 1);
}

TEST_F(ConvertCliTest, MessagesComeFromTheChosenLanguage) {
    const QString broken = temp.write(u"kaputt.jpg"_s, "kaputt");
    // By the language's English or own name, or by the locale; C asks for none.
    QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        plain.remove(QString::fromLatin1(name));
    QProcessEnvironment german = plain;
    german.insert(u"LANGUAGE"_s, u"fr:de"_s);
    QProcessEnvironment c = german;
    c.insert(u"LANG"_s, u"C"_s);
    QProcessEnvironment cUtf8 = german;  // as the C library's messages, C.UTF-8 takes LANGUAGE
    cUtf8.insert(u"LANG"_s, u"C.UTF-8"_s);
    for (const auto& [arguments, environment, isGerman] :
         {std::tuple{QStringList{u"--language"_s, u"German"_s}, plain, true},
          std::tuple{QStringList{u"--language"_s, u"deutsch"_s}, plain, true},
          std::tuple{QStringList{}, german, true}, std::tuple{QStringList{}, c, false},
          std::tuple{QStringList{}, cUtf8, true}}) {
        const CliRun run = runCli(arguments + QStringList{broken}, environment);
        EXPECT_EQ(run.errors.contains(u"0 von 1 Fotos umgewandelt; 1 fehlgeschlagen."_s), isGerman)
            << run.errors.toStdString();
        EXPECT_EQ(run.errors.contains(u"(kein Fotoformat (Text))"_s), isGerman);
    }
    // The reasons of every layer speak it: the converter's, and the decoder's, across its pipe.
    const QString drawing = temp.write(
        u"weit.svg"_s, R"(<svg xmlns="http://www.w3.org/2000/svg" width="90000" height="90000"/>)");
    const QString taken = temp.write(u"belegt.tif"_s, "");
    const QString photo = fixtures::SolidPhoto(temp, u"p.png"_s, 4, 4, Qt::red);
    EXPECT_TRUE(runCli({u"-o"_s, taken, photo}, cUtf8)
                    .errors.contains(u"belegt.tif ist vorhanden; --overwrite ersetzt die Datei"_s));
    EXPECT_TRUE(runCli({drawing}, cUtf8).errors.contains(u"(sie gibt 90000 x 90000 Pixel an"_s));
    const CliRun unknown = runCli({u"--language"_s, u"Klingon"_s, broken});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.errors.contains(u"Klingon"_s)) << unknown.errors.toStdString();
}

}  // namespace

namespace {

// The command line is for servers: no display, no widget library.
TEST_F(ConvertCliTest, RunsWithoutADisplayAndWithoutWidgets) {
    QProcess ldd;
    ldd.start(u"ldd"_s, {QStringLiteral(TESSIVA_CLI)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
    EXPECT_TRUE(libraries.contains(u"libQt6Gui"_s)) << libraries.toStdString();
    EXPECT_FALSE(libraries.contains(u"libQt6Widgets"_s)) << libraries.toStdString();

    const QString photo = fixtures::SolidPhoto(temp, u"a.png"_s, 40, 30, Qt::red);
    // A display named that is not there, as a stale session or a desktop profile leaves it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, u":999"_s);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    QProcess cli;
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(TESSIVA_CLI),
              {u"--text"_s, u"caption"_s, u"-d"_s, temp.path(), photo});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const vips::VImage out =
        vips::VImage::new_from_file(temp.file(u"a_out.tif"_s).toUtf8().constData());
    EXPECT_EQ(out.width(), 40);
}

}  // namespace
