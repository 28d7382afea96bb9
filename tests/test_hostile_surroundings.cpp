// What surrounds a photo on a server: its output path, its name, the list it
// comes in, the budgets, and the signal that stops the run.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>

#include "photo_fixtures.h"
#include "test_support.h"

namespace {

class SurroundingsTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString photo = fixtures::SolidPhoto(temp, u"photo.png"_s, 30, 20, Qt::red);

    struct Run {
        int exitCode;
        QString errors;
    };
    /// Runs the converter through the shell, so that names may be any bytes.
    Run runShell(const QString& command) {
        QProcess process;
        process.setWorkingDirectory(temp.path());
        process.start(u"/bin/sh"_s, {u"-c"_s, QStringLiteral(TESSIVA_CLI " ") + command});
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }
};

TEST_F(SurroundingsTest, OutputsAreRegularFilesNeverWhatALinkOrNodeNames) {
    const QString target = temp.write(u"target.tif"_s, "kept");
    ASSERT_TRUE(QFile::link(target, temp.file(u"live.tif"_s)));
    ASSERT_TRUE(QFile::link(temp.file(u"nowhere.tif"_s), temp.file(u"dangling.tif"_s)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.file(u"pipe.tif"_s)).constData(), 0600), 0);
    // A dangling link is something at the path: not written through, not even to skip it.
    EXPECT_EQ(runShell(u"photo.png -o dangling.tif"_s).exitCode, 1);
    EXPECT_EQ(runShell(u"photo.png -d . --name dangling.tif --skip-existing"_s).exitCode, 0);
    EXPECT_FALSE(QFile::exists(temp.file(u"nowhere.tif"_s)));
    // A link is never replaced, nor written through: /dev/stdout is one.
    ASSERT_TRUE(QFile::link(u"/proc/self/fd/1"_s, temp.file(u"out.tif"_s)));
    for (const char* link : {"live.tif", "out.tif"}) {
        const Run run = runShell(u"photo.png --overwrite -o "_s + link);
        EXPECT_TRUE(run.errors.contains(u"is a link"_s)) << run.errors.toStdString();
        EXPECT_TRUE(QFileInfo(temp.file(QString::fromLatin1(link))).isSymLink());
    }
    EXPECT_EQ(fixtures::Bytes(target), QByteArray("kept"));
    // A pipe, or a device (made where the test may), is never replaced.
    const Run pipe = runShell(u"photo.png -o pipe.tif --overwrite"_s);
    EXPECT_TRUE(pipe.errors.contains(u"not a regular file"_s)) << pipe.errors.toStdString();
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(temp.file(u"pipe.tif"_s)).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    if (::mknod(QFile::encodeName(temp.file(u"null.tif"_s)).constData(), S_IFCHR | 0666,
                makedev(1, 3)) == 0) {
        EXPECT_EQ(runShell(u"photo.png -o null.tif --overwrite"_s).exitCode, 1);
        ASSERT_EQ(::lstat(QFile::encodeName(temp.file(u"null.tif"_s)).constData(), &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode));
    }
    EXPECT_TRUE(
        QDir(temp.path()).entryList({u".tessiva-*"_s}, QDir::Hidden | QDir::Files).isEmpty());
}

TEST_F(SurroundingsTest, NamesAndListsComeAsTheyAre) {
    // A Latin-1 name, from the command line and from a list written on Windows.
    const QByteArray folder = QFile::encodeName(temp.path());
    ASSERT_EQ(::link(QFile::encodeName(photo).constData(), (folder + "/caf\xe9.png").constData()),
              0);
    EXPECT_EQ(runShell(u"\"$(printf 'caf\\351.png')\" -d . --report argv.json"_s).exitCode, 0);
    EXPECT_EQ(::access((folder + "/caf\xe9_out.tif").constData(), F_OK), 0);
    EXPECT_TRUE(fixtures::Bytes(temp.file(u"argv.json"_s)).contains("caf\\udce9.png"));
    temp.write(u"list.txt"_s, "photo.png\r\ncaf\xe9.png\r\n");
    const Run list = runShell(u"--files-from list.txt --name '{index}.tif' -d ."_s);
    EXPECT_EQ(list.exitCode, 0) << list.errors.toStdString();
    EXPECT_TRUE(QFile::exists(temp.file(u"1.tif"_s)));
    // The report or an output over the list or a photo, by any name, loses nothing.
    ASSERT_EQ(::link(QFile::encodeName(temp.file(u"list.txt"_s)).constData(),
                     (folder + "/linked.txt").constData()),
              0);
    EXPECT_EQ(runShell(u"--files-from list.txt --report linked.txt -d ."_s).exitCode, 2);
    EXPECT_EQ(runShell(u"photo.png photo.png --report ./photo.png -d ."_s).exitCode, 2);
    temp.write(u"listed.txt"_s, "photo.png\n");
    EXPECT_EQ(runShell(u"--files-from listed.txt --report photo.png -d ."_s).exitCode, 2);
    EXPECT_EQ(runShell(u"photo.png -o ./photo.png --overwrite"_s).exitCode, 1);
    EXPECT_TRUE(fixtures::Bytes(temp.file(u"list.txt"_s)).startsWith("photo.png"));
    EXPECT_TRUE(fixtures::Bytes(photo).startsWith("\x89PNG"));
    // A replaced output keeps its mode.
    const QString kept = temp.write(u"kept.tif"_s, "old");
    ASSERT_TRUE(QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_EQ(runShell(u"photo.png -o kept.tif --overwrite"_s).exitCode, 0);
    EXPECT_EQ(QFile::permissions(kept),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST_F(SurroundingsTest, BudgetsAreNamedAndAnInterruptStopsThePhotoInProgress) {
    const Run pixels = runShell(u"photo.png -o a.tif --max-pixels 100"_s);
    EXPECT_TRUE(pixels.errors.contains(u"the limit of 100 (--max-pixels)"_s))
        << pixels.errors.toStdString();
    // 536 megapixels, one bit each: 65 KB of file, seconds of work.
    fixtures::BlankBilevelPng(temp, u"large.png"_s, 23170);
    EXPECT_TRUE(runShell(u"large.png -o b.tif -r 90"_s).errors.contains(u"memory budget"_s));
    // A progressive JPEG keeps two bytes a sample while it decodes: 2000 x 2000 x 3 x 2.
    fixtures::SolidPhoto(temp, u"steps.jpg[interlace]"_s, 2000, 2000, Qt::red);
    const QString steps = runShell(u"steps.jpg -o s.tif --max-memory 16M"_s).errors;
    EXPECT_TRUE(steps.contains(u"needs 22 MB, more than the memory budget of 16 MB"_s))
        << steps.toStdString();
    QProcess process;
    process.setWorkingDirectory(temp.path());
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(TESSIVA_CLI),
                  {u"large.png"_s, u"-W"_s, u"2000"_s, u"-o"_s, u"c.tif"_s, u"--verbose"_s});
    // Its first line comes once it heeds a signal, and before the photo is opened.
    QByteArray said;
    while (!said.contains("photos at once") && process.waitForReadyRead(60000))
        said += process.readAllStandardError();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_FALSE(QFile::exists(temp.file(u"c.tif"_s)));
}

}  // namespace
