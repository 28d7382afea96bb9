#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <vips/vips8>

#include "dialog_fixture.h"
#include "photo_fixtures.h"

using namespace res;

namespace {

/// A two-colour GIF whose logical screen is 2 x 1 and whose frames have the
/// given sizes (each placed at the origin); a 0 x 0 frame holds no pixels.
QByteArray GifWithFrameSizes(const std::vector<QSize>& frames) {
    QByteArray gif(
        "GIF89a\x02\x00\x01\x00\x80\x00\x00"  // screen 2 x 1, 2-colour table
        "\x00\x00\x00\xff\x00\x00",
        19);
    for (const QSize& size : frames) {
        gif += QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8);  // 0.1 s per frame
        gif += QByteArray("\x2c\x00\x00\x00\x00", 5);
        for (const int side : {size.width(), size.height()})
            gif += char(side & 0xff), gif += char(side >> 8);
        gif += '\0';
        // LZW, minimum code size 2: clear, two pixels of colour 1, end.
        gif += QByteArray("\x02\x02\x4c\x0a\x00", 5);
    }
    return gif + ';';
}

/// Mounts a small RAM file system over @p folder (so even root meets a full
/// or read-only disk); false where the test may not mount.
bool MountSmall(const QString& folder, const QString& options) {
    return QProcess::execute(u"mount"_s,
                             {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, folder}) == 0;
}

/// Whatever the file, opening and converting it ends in a message or a TIFF,
/// never in a crash, and the dialog stays usable.
class BadInputTest : public MainDialogTest {
protected:
    /// Opens @p path and, when it opens, converts it to out.tif.
    void openAndConvert(const QString& path) {
        const size_t before = platform.messages.size();
        openPhoto(path);
        // A file that does not open leaves the photo before it: nothing new to convert.
        const std::vector<QString> texts = platform.texts();
        for (size_t i = before; i < texts.size(); ++i)
            if (texts[i] == g_Language.GetString(Text::NoWidth) ||
                texts[i] == g_Language.GetString(Text::NoHeight))
                return;
        edit(IDC_EDIT_OUTPUT_FILE)->setText(temp.file(u"out.tif"_s));
        platform.answers = {MsgResult::Yes};
        click(IDC_BUTTON_CONVERT);
    }
    /// The dialog still converts a good photo afterwards.
    void expectUsable() {
        const QString good = fixtures::SolidPhoto(temp, u"good.png"_s, 20, 10, Qt::red);
        platform.messages.clear();
        QFile::remove(temp.file(u"out.tif"_s));
        openAndConvert(good);
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_TRUE(QFile::exists(temp.file(u"out.tif"_s)));
    }
};

TEST_F(BadInputTest, DamagedPhotosOfEveryFormat) {
    start();
    // Each damaged photo either fails with a message, keeping the older output
    // whole and leaving no other file, or converts to a complete TIFF.
    const QByteArray older("the older output");
    const QString out = temp.file(u"out.tif"_s);
    const QDir outFolder(temp.path());
    const auto isFailure = [](const QString& text) {
        for (const res::Text id : {Text::NoWidth, Text::NoHeight, Text::WidthInvalid,
                                   Text::HeightInvalid, Text::ConvertFailed, Text::SaveFailed})
            if (text.startsWith(g_Language.GetString(id))) return true;
        return false;
    };
    int failed = 0;
    int converted = 0;
    for (const char* name : {"a.jpg", "a.png", "a.gif", "a.tif", "a.webp", "a.heic"}) {
        const QString photo =
            fixtures::SolidPhoto(temp, u"src/"_s + QString::fromLatin1(name), 64, 48, Qt::green);
        const QByteArray bytes = fixtures::Bytes(photo);
        std::vector<QByteArray> damaged;
        for (const qsizetype keep : {bytes.size() / 2, bytes.size() - 7, qsizetype(12)})
            damaged.push_back(bytes.left(keep));
        for (int flip = 0; flip < 8; ++flip) {
            QByteArray flipped = bytes;
            const qsizetype at = (flipped.size() * (flip + 1)) / 9;
            flipped[at] = static_cast<char>(flipped[at] ^ (1 << flip));
            damaged.push_back(flipped);
        }
        for (size_t i = 0; i < damaged.size(); ++i) {
            const QString input = u"damaged-%1-%2"_s.arg(i).arg(QString::fromLatin1(name));
            temp.write(u"out.tif"_s, older);
            const QStringList before = outFolder.entryList(QDir::Files);
            platform.messages.clear();
            openAndConvert(temp.write(input, damaged[i]));
            const std::vector<QString> texts = platform.texts();
            if (std::any_of(texts.begin(), texts.end(), isFailure)) {
                ++failed;
                EXPECT_EQ(fixtures::Bytes(out), older) << input.toStdString();
            } else {
                ++converted;
                // Only "replace it?", and the damage that was read past.
                const auto said = std::count_if(texts.begin(), texts.end(), [](const QString& t) {
                    return t != g_Language.GetString(Text::DamagedShown);
                });
                EXPECT_EQ(said, 1) << input.toStdString();
                if (said != 1) continue;
                const vips::VImage tiff = vips::VImage::new_from_file(out.toUtf8().constData());
                // A flipped header byte may change the size; the TIFF has the one shown.
                EXPECT_EQ(tiff.width(), edit(IDC_EDIT_OUTPUT_WIDTH)->text().toInt())
                    << input.toStdString();
                EXPECT_EQ(tiff.bands(), 3) << input.toStdString();
            }
            QStringList after = outFolder.entryList(QDir::Files);
            after.removeOne(QFileInfo(input).fileName());
            EXPECT_EQ(after, before) << input.toStdString();  // no partial or temporary file
        }
    }
    EXPECT_GT(failed, 6);  // at least every photo cut to 12 bytes
    EXPECT_EQ(failed + converted, 66);
    expectUsable();
}

TEST_F(BadInputTest, FilesThatAreNoPhotos) {
    start();
    const QString unreadable = temp.write(
        u"locked.jpg"_s, fixtures::Bytes(fixtures::SolidPhoto(temp, u"l.jpg"_s, 8, 8, Qt::red)));
    QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
    for (const QString& path : {temp.write(u"zero.jpg"_s), temp.mkdir(u"folder.png"_s), unreadable,
                                temp.file(u"vanished.jpg"_s),
                                fixtures::PngClaimingSize(temp, u"bomb.png"_s, 100000, 100000)}) {
        platform.messages.clear();
        openAndConvert(path);
        if (path == unreadable && geteuid() == 0) continue;  // root reads it anyway
        ASSERT_FALSE(platform.messages.empty()) << path.toStdString();
        EXPECT_EQ(platform.texts()[0], u"Can not get the width of the photo!"_s)
            << path.toStdString();
    }
    expectUsable();
}

TEST_F(BadInputTest, OddNamesOpenAndConvert) {
    start();
    for (const QString& name :
         {u"with space.png"_s, u"quote\"and'.png"_s, u"Ünïcödé 写真.png"_s, u"-leading-dash.png"_s,
          u"brackets[1].png"_s, u"line\nbreak\ttab.png"_s}) {
        const QString photo = fixtures::SolidPhoto(temp, u"good.png"_s, 12, 8, Qt::blue);
        const QString odd = temp.file(name);
        QFile::remove(odd);
        ASSERT_TRUE(QFile::copy(photo, odd));
        platform.messages.clear();
        openPhoto(odd);
        const QString out = edit(IDC_EDIT_OUTPUT_FILE)->text();
        click(IDC_BUTTON_CONVERT);
        EXPECT_TRUE(platform.messages.empty()) << name.toStdString();
        EXPECT_TRUE(QFile::exists(out)) << out.toStdString();
    }
}

TEST_F(BadInputTest, GifsWithZeroSizeFrames) {
    start();
    const QString mixed =
        temp.write(u"mixed.gif"_s, GifWithFrameSizes({QSize(2, 1), QSize(0, 0), QSize(2, 1)}));
    openPhoto(mixed);
    ASSERT_TRUE(platform.messages.empty());
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(), u"Set frame from 0 to 2"_s);
    // The empty frame shows the screen as it stands and converts at its size.
    const QString out = temp.file(u"mixed.tif"_s);
    edit(IDC_EDIT_FRAME_NUMBER)->setText(u"1"_s);
    edit(IDC_EDIT_OUTPUT_FILE)->setText(out);
    click(IDC_BUTTON_CONVERT);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"mixed.gif 2 * 1"_s);
    EXPECT_EQ(vips::VImage::new_from_file(QFile::encodeName(out).constData()).width(), 2);

    // Nothing but empty frames: a message or a TIFF, and the dialog goes on.
    for (const QString& name : {u"empty.gif"_s, u"empty-first.gif"_s}) {
        const std::vector<QSize> sizes = name == u"empty.gif"_s
                                             ? std::vector<QSize>{QSize(0, 0)}
                                             : std::vector<QSize>{QSize(0, 0), QSize(2, 1)};
        platform.messages.clear();
        QFile::remove(temp.file(u"out.tif"_s));
        openAndConvert(temp.write(name, GifWithFrameSizes(sizes)));
        if (QFile::exists(temp.file(u"out.tif"_s))) {
            EXPECT_TRUE(platform.messages.empty()) << name.toStdString();
        } else {
            ASSERT_FALSE(platform.messages.empty()) << name.toStdString();
            EXPECT_EQ(platform.texts()[0], u"Can not get the width of the photo!"_s);
        }
    }
    expectUsable();
}

TEST_F(BadInputTest, ATiffWithTenThousandPages) {
    start();
    const QString path = temp.file(u"pages.tif"_s);
    vips::VImage strip = (vips::VImage::xyz(1, 10000)[1] % 256).cast(VIPS_FORMAT_UCHAR);
    strip.set("page-height", 1);
    strip.write_to_file(QFile::encodeName(path).constData());
    openPhoto(path);
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(), u"Set frame from 0 to 9999"_s);
    edit(IDC_EDIT_FRAME_NUMBER)->setFocus();
    edit(IDC_EDIT_FRAME_NUMBER)->selectAll();
    QTest::keyClicks(edit(IDC_EDIT_FRAME_NUMBER), u"99999"_s);
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"9999"_s);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(BadInputTest, OutputsThatCannotBeWrittenKeepOlderFiles) {
    start();
    const QString photo = fixtures::SolidPhoto(temp, u"p.png"_s, 400, 300, Qt::red);
    openPhoto(photo);

    // A path that is a folder.
    const QString folder = temp.mkdir(u"taken.tif"_s);
    edit(IDC_EDIT_OUTPUT_FILE)->setText(folder);
    click(IDC_BUTTON_CONVERT);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.texts()[0], u"Failed to save the file!"_s);
    EXPECT_EQ(platform.messages[0].caption, folder);
    EXPECT_TRUE(QDir(folder).isEmpty());

    // A full disk: a tiny file system of our own, where mounting is allowed.
    const QString small = temp.mkdir(u"small"_s);
    if (!MountSmall(small, u"size=16k"_s)) GTEST_SKIP() << "cannot mount a small file system here";
    const QString old = small + u"/out.tif"_s;
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old picture");
    }
    platform.messages.clear();
    platform.answers = {MsgResult::Yes};
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"3000"_s);  // far more than 16 KiB of TIFF
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(u"3000"_s);
    edit(IDC_EDIT_OUTPUT_FILE)->setText(old);
    click(IDC_BUTTON_CONVERT);
    const QByteArray kept = fixtures::Bytes(old);
    const QStringList left = QDir(small).entryList(QDir::Files | QDir::Hidden);
    QProcess::execute(u"umount"_s, {small});
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.texts()[1], u"Failed to save the file!"_s);
    EXPECT_EQ(platform.reasons()[1], u"No space left on device"_s);
    EXPECT_EQ(platform.messages[1].caption, old);
    EXPECT_EQ(kept, QByteArray("old picture"));
    EXPECT_EQ(left, QStringList{u"out.tif"_s});
}

TEST_F(BadInputTest, AReadOnlyFolderKeepsTheOlderFile) {
    start();
    openPhoto(fixtures::SolidPhoto(temp, u"p.png"_s, 40, 30, Qt::red));
    const QString locked = temp.mkdir(u"locked"_s);
    const QString old = locked + u"/out.tif"_s;
    // Root writes through permissions, so there the folder is a file system
    // mounted read-only once the older file is in it.
    const bool mounted = geteuid() == 0;
    if (mounted && !MountSmall(locked, u"size=64k"_s))
        GTEST_SKIP() << "cannot mount a file system here";
    temp.write(u"locked/out.tif"_s, "old picture");
    if (mounted) {
        ASSERT_TRUE(MountSmall(locked, u"remount,ro"_s));
    } else {
        ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    platform.answers = {MsgResult::Yes};
    edit(IDC_EDIT_OUTPUT_FILE)->setText(old);
    click(IDC_BUTTON_CONVERT);
    const QByteArray kept = fixtures::Bytes(old);
    const QStringList left = QDir(locked).entryList(QDir::Files | QDir::Hidden);
    if (mounted)
        QProcess::execute(u"umount"_s, {locked});
    else
        QFile::setPermissions(
            locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_EQ(platform.messages.size(), 2u);  // the question, then the failure
    EXPECT_EQ(platform.texts()[1], u"Failed to save the file!"_s);
    EXPECT_EQ(platform.reasons()[1], mounted ? u"Read-only file system"_s : u"Permission denied"_s);
    EXPECT_EQ(platform.messages[1].caption, old);
    EXPECT_EQ(kept, QByteArray("old picture"));
    EXPECT_EQ(left, QStringList{u"out.tif"_s});
    expectUsable();
}

TEST_F(BadInputTest, HostileSettingsStillStartAUsableDialog) {
    useShippedLanguages();
    QByteArray stored =
        "[Option]\n"
        "nRotateAngel=99999999999\n"
        "nFlipType=@ByteArray(\\x1\\x2)\n"
        "CurrentLanguage=../../../../etc/passwd\n"
        "last_output_folder=/no/such/folder/\n"
        "LastPhotoFolder=\"\\0\\0\"\n"
        "[CurrentFont]\n"
        "lfHeight=-2147483648\n"
        "lfWidth=2147483647\n"
        "lfEscapement=-1\n"
        "lfWeight=4294967295\n"
        "lfItalic=300\n"
        "lfCharSet=-7\n"
        "nCurrentColor=-1\n"
        "lfFaceName=";
    stored += QByteArray(10000, 'x') + "\n\x01\xff\xfe[garbage\n=\n";
    seedStore(stored);
    start();
    platform.messages.clear();
    edit(IDC_EDIT_TEXT)->setText(u"Hello"_s);
    expectUsable();
    // A language name that leads out of the language folder is no installed
    // language: English, and so it is written back.
    EXPECT_EQ(WithoutMnemonic(label(IDC_STATIC_OUTPUT_FILENAME)->text()), u"Output file:"_s);
    click(IDC_BUTTON_EXIT);
    EXPECT_EQ(settings::Store(iniPath).GetProfileString(u"Option"_s, u"CurrentLanguage"_s, {}),
              u"english"_s);
}

}  // namespace
