// What surrounds a photo on a server: its output path, its name, the list it
// comes in, the budgets, and the signal that stops the run.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>

#include "photo_fixtures.h"
#include "test_support.h"

namespace {

class SurroundingsTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString photo = fixtures::SolidPhoto(temp, QStringLiteral("photo.png"), 30, 20, Qt::red);

    struct Run {
        int exitCode;
        QString errors;
    };
    /// Runs the converter through the shell, so that names may be any bytes.
    Run runShell(const QString& command) {
        QProcess process;
        process.setWorkingDirectory(temp.path());
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral(TESSIVA_CLI " ") + command});
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }
};

TEST_F(SurroundingsTest, OutputsAreRegularFilesNeverWhatALinkOrNodeNames) {
    const QString target = temp.write(QStringLiteral("target.tif"), "kept");
    ASSERT_TRUE(QFile::link(target, temp.file(QStringLiteral("live.tif"))));
    ASSERT_TRUE(QFile::link(temp.file(QStringLiteral("nowhere.tif")),
                            temp.file(QStringLiteral("dangling.tif"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.file(QStringLiteral("pipe.tif"))).constData(), 0600),
              0);
    // A dangling link is something at the path: not written through, not even to skip it.
    EXPECT_EQ(runShell(QStringLiteral("photo.png -o dangling.tif")).exitCode, 1);
    EXPECT_EQ(
        runShell(QStringLiteral("photo.png -d . --name dangling.tif --skip-existing")).exitCode, 0);
    EXPECT_FALSE(QFile::exists(temp.file(QStringLiteral("nowhere.tif"))));
    // A link is never replaced, nor written through: /dev/stdout is one.
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/proc/self/fd/1"), temp.file(QStringLiteral("out.tif"))));
    for (const char* link : {"live.tif", "out.tif"}) {
        const Run run = runShell(QStringLiteral("photo.png --overwrite -o ") + link);
        EXPECT_TRUE(run.errors.contains(QStringLiteral("is a link"))) << run.errors.toStdString();
        EXPECT_TRUE(QFileInfo(temp.file(QString::fromLatin1(link))).isSymLink());
    }
    EXPECT_EQ(fixtures::Bytes(target), QByteArray("kept"));
    // A pipe, or a device (made where the test may), is never replaced.
    const Run pipe = runShell(QStringLiteral("photo.png -o pipe.tif --overwrite"));
    EXPECT_TRUE(pipe.errors.contains(QStringLiteral("not a regular file")))
        << pipe.errors.toStdString();
    struct stat status {};
    ASSERT_EQ(
        ::lstat(QFile::encodeName(temp.file(QStringLiteral("pipe.tif"))).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    if (::mknod(QFile::encodeName(temp.file(QStringLiteral("null.tif"))).constData(),
                S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(runShell(QStringLiteral("photo.png -o null.tif --overwrite")).exitCode, 1);
        ASSERT_EQ(
            ::lstat(QFile::encodeName(temp.file(QStringLiteral("null.tif"))).constData(), &status),
            0);
        EXPECT_TRUE(S_ISCHR(status.st_mode));
    }
    EXPECT_TRUE(QDir(temp.path())
                    .entryList({QStringLiteral(".tessiva-*")}, QDir::Hidden | QDir::Files)
                    .isEmpty());
}

TEST_F(SurroundingsTest, NamesAndListsComeAsTheyAre) {
    // A Latin-1 name, from the command line and from a list written on Windows.
    const QByteArray folder = QFile::encodeName(temp.path());
    ASSERT_EQ(::link(QFile::encodeName(photo).constData(), (folder + "/caf\xe9.png").constData()),
              0);
    EXPECT_EQ(
        runShell(QStringLiteral("\"$(printf 'caf\\351.png')\" -d . --report argv.json")).exitCode,
        0);
    EXPECT_EQ(::access((folder + "/caf\xe9_out.tif").constData(), F_OK), 0);
    EXPECT_TRUE(fixtures::Bytes(temp.file(QStringLiteral("argv.json"))).contains("caf\\udce9.png"));
    temp.write(QStringLiteral("list.txt"), "photo.png\r\ncaf\xe9.png\r\n");
    const Run list = runShell(QStringLiteral("--files-from list.txt --name '{index}.tif' -d ."));
    EXPECT_EQ(list.exitCode, 0) << list.errors.toStdString();
    EXPECT_TRUE(QFile::exists(temp.file(QStringLiteral("1.tif"))));
    // The report or an output over the list or a photo, by any name, loses nothing.
    ASSERT_EQ(::link(QFile::encodeName(temp.file(QStringLiteral("list.txt"))).constData(),
                     (folder + "/linked.txt").constData()),
              0);
    EXPECT_EQ(runShell(QStringLiteral("--files-from list.txt --report linked.txt -d .")).exitCode,
              2);
    EXPECT_EQ(runShell(QStringLiteral("photo.png photo.png --report ./photo.png -d .")).exitCode,
              2);
    temp.write(QStringLiteral("listed.txt"), "photo.png\n");
    EXPECT_EQ(runShell(QStringLiteral("--files-from listed.txt --report photo.png -d .")).exitCode,
              2);
    EXPECT_EQ(runShell(QStringLiteral("photo.png -o ./photo.png --overwrite")).exitCode, 1);
    EXPECT_TRUE(fixtures::Bytes(temp.file(QStringLiteral("list.txt"))).startsWith("photo.png"));
    EXPECT_TRUE(fixtures::Bytes(photo).startsWith("\x89PNG"));
    // A replaced output keeps its mode.
    const QString kept = temp.write(QStringLiteral("kept.tif"), "old");
    ASSERT_TRUE(QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_EQ(runShell(QStringLiteral("photo.png -o kept.tif --overwrite")).exitCode, 0);
    EXPECT_EQ(QFile::permissions(kept),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST_F(SurroundingsTest, BudgetsAreNamedAndAnInterruptStopsThePhotoInProgress) {
    const Run pixels = runShell(QStringLiteral("photo.png -o a.tif --max-pixels 100"));
    EXPECT_TRUE(pixels.errors.contains(QStringLiteral("the limit of 100 (--max-pixels)")))
        << pixels.errors.toStdString();
    // 536 megapixels, one bit each: 65 KB of file, seconds of work.
    fixtures::BlankBilevelPng(temp, QStringLiteral("large.png"), 23170);
    EXPECT_TRUE(runShell(QStringLiteral("large.png -o b.tif -r 90"))
                    .errors.contains(QStringLiteral("memory budget")));
    QProcess process;
    process.setWorkingDirectory(temp.path());
    process.start(QStringLiteral(TESSIVA_CLI),
                  {QStringLiteral("large.png"), QStringLiteral("-W"), QStringLiteral("2000"),
                   QStringLiteral("-o"), QStringLiteral("c.tif")});
    ASSERT_TRUE(process.waitForStarted());
    QThread::msleep(600);
    QElapsedTimer stopping;
    stopping.start();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_LT(stopping.elapsed(), 1500);  // a bound that shows a photo was stopped, not finished
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_FALSE(QFile::exists(temp.file(QStringLiteral("c.tif"))));
}

}  // namespace
