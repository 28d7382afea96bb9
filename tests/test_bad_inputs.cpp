#include <QDir>
#include <QFile>
#include <QProcess>
#include <unistd.h>
#include <vips/vips8>

#include "dialog_fixture.h"
#include "photo_fixtures.h"

using namespace res;

namespace {

/// Whatever the file, opening and converting it ends in a message or a TIFF,
/// never in a crash, and the dialog stays usable.
class BadInputTest : public MainDialogTest {
protected:
    void openAndConvert(const QString& path) {
        platform.openChoices = {path};
        QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
        edit(IDC_EDIT_OUTPUT_FILE)->setText(temp.file(QStringLiteral("out.tif")));
        platform.answers = {MsgResult::Yes};
        QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
    }
    /// The dialog still converts a good photo afterwards.
    void expectUsable() {
        const QString good = fixtures::SolidPhoto(temp, QStringLiteral("good.png"), 20, 10, Qt::red);
        platform.messages.clear();
        QFile::remove(temp.file(QStringLiteral("out.tif")));
        openAndConvert(good);
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_TRUE(QFile::exists(temp.file(QStringLiteral("out.tif"))));
    }
};

TEST_F(BadInputTest, DamagedPhotosOfEveryFormat) {
    start();
    int cases = 0;
    for (const char* name : {"a.jpg", "a.png", "a.gif", "a.tif", "a.webp", "a.heic"}) {
        const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("src/") + QString::fromLatin1(name), 64, 48, Qt::green);
        const QByteArray bytes = fixtures::Bytes(photo);
        for (const qsizetype keep : {bytes.size() / 2, bytes.size() - 7, qsizetype(12)}) {
            openAndConvert(temp.write(QStringLiteral("cut-%1-%2").arg(keep).arg(QString::fromLatin1(name)), bytes.left(keep)));
            ++cases;
        }
        for (int flip = 0; flip < 8; ++flip) {
            QByteArray flipped = bytes;
            const qsizetype at = (flipped.size() * (flip + 1)) / 9;
            flipped[at] = static_cast<char>(flipped[at] ^ (1 << flip));
            openAndConvert(temp.write(QStringLiteral("flip-%1-%2").arg(flip).arg(QString::fromLatin1(name)), flipped));
            ++cases;
        }
    }
    EXPECT_EQ(cases, 66);
    expectUsable();
}

TEST_F(BadInputTest, FilesThatAreNoPhotos) {
    start();
    const QString unreadable = temp.write(QStringLiteral("locked.jpg"), fixtures::Bytes(
        fixtures::SolidPhoto(temp, QStringLiteral("l.jpg"), 8, 8, Qt::red)));
    QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
    for (const QString& path : {temp.write(QStringLiteral("zero.jpg")), temp.mkdir(QStringLiteral("folder.png")),
                                unreadable, temp.file(QStringLiteral("vanished.jpg")),
                                fixtures::PngClaimingSize(temp, QStringLiteral("bomb.png"), 100000, 100000)}) {
        platform.messages.clear();
        openAndConvert(path);
        if (path == unreadable && geteuid() == 0) continue;  // root reads it anyway
        ASSERT_FALSE(platform.messages.empty()) << path.toStdString();
        EXPECT_EQ(platform.messages[0].text, QStringLiteral("Can not get the width of the photo!")) << path.toStdString();
    }
    expectUsable();
}

TEST_F(BadInputTest, OddNamesOpenAndConvert) {
    start();
    for (const QString& name : {QStringLiteral("with space.png"), QStringLiteral("quote\"and'.png"),
                                QStringLiteral("Ünïcödé 写真.png"), QStringLiteral("-leading-dash.png"),
                                QStringLiteral("brackets[1].png")}) {
        const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("good.png"), 12, 8, Qt::blue);
        const QString odd = temp.file(name);
        QFile::remove(odd);
        ASSERT_TRUE(QFile::copy(photo, odd));
        platform.messages.clear();
        platform.openChoices = {odd};
        QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
        const QString out = edit(IDC_EDIT_OUTPUT_FILE)->text();
        QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
        EXPECT_TRUE(platform.messages.empty()) << name.toStdString();
        EXPECT_TRUE(QFile::exists(out)) << out.toStdString();
    }
}

TEST_F(BadInputTest, ATiffWithTenThousandPages) {
    start();
    const QString path = temp.file(QStringLiteral("pages.tif"));
    vips::VImage strip = (vips::VImage::xyz(1, 10000)[1] % 256).cast(VIPS_FORMAT_UCHAR);
    strip.set("page-height", 1);
    strip.write_to_file(QFile::encodeName(path).constData());
    platform.openChoices = {path};
    QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(), QStringLiteral("Set frame from 0 to 9999"));
    edit(IDC_EDIT_FRAME_NUMBER)->setFocus();
    edit(IDC_EDIT_FRAME_NUMBER)->selectAll();
    QTest::keyClicks(edit(IDC_EDIT_FRAME_NUMBER), QStringLiteral("99999"));
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), QStringLiteral("9999"));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(BadInputTest, OutputsThatCannotBeWrittenKeepOlderFiles) {
    start();
    const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("p.png"), 400, 300, Qt::red);
    platform.openChoices = {photo};
    QTest::mouseClick(button(IDC_BUTTON_OPEN_PHOTO), Qt::LeftButton);

    // A path that is a folder.
    const QString folder = temp.mkdir(QStringLiteral("taken.tif"));
    edit(IDC_EDIT_OUTPUT_FILE)->setText(folder);
    QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, QStringLiteral("Failed to save the file!"));
    EXPECT_EQ(platform.messages[0].caption, folder);
    EXPECT_TRUE(QDir(folder).isEmpty());

    // A full disk: a tiny file system of our own, where mounting is allowed.
    const QString small = temp.mkdir(QStringLiteral("small"));
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=16k"), QStringLiteral("tmpfs"), small}) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const QString old = small + QStringLiteral("/out.tif");
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old picture");
    }
    platform.messages.clear();
    platform.answers = {MsgResult::Yes};
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(QStringLiteral("3000"));  // far more than 16 KiB of TIFF
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(QStringLiteral("3000"));
    edit(IDC_EDIT_OUTPUT_FILE)->setText(old);
    QTest::mouseClick(button(IDC_BUTTON_CONVERT), Qt::LeftButton);
    const QByteArray kept = fixtures::Bytes(old);
    const QStringList left = QDir(small).entryList(QDir::Files | QDir::Hidden);
    QProcess::execute(QStringLiteral("umount"), {small});
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, QStringLiteral("Failed to save the file!"));
    EXPECT_EQ(platform.messages[1].caption, old);
    EXPECT_EQ(kept, QByteArray("old picture"));
    EXPECT_EQ(left, QStringList{QStringLiteral("out.tif")});
}

}  // namespace
