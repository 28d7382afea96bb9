// tessiva-convert in large runs: input lists, shards, resumed runs, reports,
// pipes and output names, each run for real.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QThread>
#include <memory>

#include <sys/file.h>
#include <vips/vips8>

#include "cli_runner.h"
#include "photo_fixtures.h"
#include "test_support.h"

namespace {

class BatchRunTest : public ::testing::Test {
protected:
    TempFolder temp;

    /// The converter run in the test's folder.
    CliRun run(const QStringList& arguments, const QByteArray& input = {},
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        return RunCli(arguments, {input, temp.path(), environment});
    }
    /// @p count small photos in folder "in", named p0.jpg, p1.jpg, ...
    QStringList photos(int count) {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << fixtures::SolidPhoto(temp, u"in/p%1.jpg"_s.arg(i), 30 + i, 20,
                                          QColor(20 * i, 90, 160));
        return paths;
    }
    /// The report's lines, parsed.
    std::vector<QJsonObject> report(const QString& path) {
        std::vector<QJsonObject> lines;
        for (const QByteArray& line : fixtures::Bytes(path).split('\n')) {
            if (line.isEmpty()) continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            lines.push_back(document.object());
        }
        return lines;
    }
};

TEST_F(BatchRunTest, ShardsOfAListCoverEveryInputExactlyOnce) {
    const QStringList inputs = photos(10);
    // Newline-separated from a file, and NUL-separated from standard input.
    temp.write(u"list.txt"_s, inputs.join(u'\n').toUtf8() + '\n');
    const QByteArray nulList = inputs.join(QChar(u'\0')).toUtf8();
    QMultiHash<QString, int> converted;
    for (int shard = 1; shard <= 3; ++shard) {
        const QString out = temp.mkdir(u"out"_s);
        const QString shardReport = temp.file(u"r%1.jsonl"_s.arg(shard));
        const QStringList common{u"--shard"_s,  u"%1/3"_s.arg(shard), u"-d"_s,         out,
                                 u"--report"_s, shardReport,          u"--overwrite"_s};
        const CliRun fromFile =
            run(common + QStringList{u"--files-from"_s, temp.file(u"list.txt"_s)});
        EXPECT_EQ(fromFile.exitCode, 0) << fromFile.errors.toStdString();
        for (const QJsonObject& line : report(shardReport)) {
            EXPECT_EQ(line[u"status"_s].toString(), u"converted"_s);
            converted.insert(line[u"input"_s].toString(), shard);
        }
        const CliRun fromPipe =
            run(common + QStringList{u"--files-from"_s, u"-"_s, u"-0"_s}, nulList);
        EXPECT_EQ(fromPipe.exitCode, 0) << fromPipe.errors.toStdString();
        QStringList pipeInputs;
        for (const QJsonObject& line : report(shardReport))
            pipeInputs << line[u"input"_s].toString();
        QStringList fileInputs = converted.keys(shard);
        pipeInputs.sort();
        fileInputs.sort();
        EXPECT_EQ(pipeInputs, fileInputs) << shard;
    }
    EXPECT_EQ(converted.size(), 10);
    EXPECT_EQ(QSet<QString>(converted.keyBegin(), converted.keyEnd()),
              QSet<QString>(inputs.begin(), inputs.end()));
    // Position 0 is in shard 1, position 4 in shard 2, position 8 in shard 3.
    EXPECT_EQ(converted.value(inputs[0]), 1);
    EXPECT_EQ(converted.value(inputs[4]), 2);
    EXPECT_EQ(converted.value(inputs[8]), 3);

    for (const char* wrong : {"0/3", "4/3", "1/0", "x", "1/2/3", "-1/2", "1/"})
        EXPECT_EQ(run({u"--shard"_s, QString::fromLatin1(wrong), inputs[0]}).exitCode, 2) << wrong;
}

TEST_F(BatchRunTest, SkipExistingResumesWithoutTouchingDoneOutputs) {
    const QStringList inputs = photos(4);
    const QString out = temp.mkdir(u"out"_s);
    ASSERT_EQ(run(QStringList{u"-d"_s, out} + inputs.mid(0, 3)).exitCode, 0);
    std::vector<QDateTime> times;
    for (int i = 0; i < 3; ++i)
        times.push_back(QFileInfo(out + u"/p%1_out.tif"_s.arg(i)).lastModified());

    const QString resumed = temp.file(u"resumed.jsonl"_s);
    const CliRun again =
        run(QStringList{u"-d"_s, out, u"--skip-existing"_s, u"--report"_s, resumed} + inputs);
    EXPECT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_TRUE(again.errors.contains(u"Converted 1 of 4 photos; 3 skipped."_s))
        << again.errors.toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(QFileInfo(out + u"/p%1_out.tif"_s.arg(i)).lastModified(), times[size_t(i)]);
    EXPECT_TRUE(QFileInfo::exists(out + u"/p3_out.tif"_s));
    int skipped = 0;
    for (const QJsonObject& line : report(resumed))
        skipped += line[u"status"_s].toString() == u"skipped";
    EXPECT_EQ(skipped, 3);

    EXPECT_EQ(run({u"--skip-existing"_s, u"--overwrite"_s, inputs[0]}).exitCode, 2);
}

TEST_F(BatchRunTest, TheReportHasALinePerInputWithSizesAndReasons) {
    const QStringList inputs = photos(2);
    const QString broken = temp.write(u"in/broken.jpg"_s, "\xff\xd8\xff\xe0 not a JPEG");
    const QString path = temp.file(u"report.jsonl"_s);
    const CliRun result =
        run(QStringList{u"-r"_s, u"90"_s, u"-W"_s, u"60"_s, u"-H"_s, u"40"_s, u"--report"_s, path} +
            inputs + QStringList{broken});
    EXPECT_EQ(result.exitCode, 1);
    const std::vector<QJsonObject> lines = report(path);
    ASSERT_EQ(lines.size(), 3u);
    for (const QJsonObject& line : lines) {
        const QString input = line[u"input"_s].toString();
        EXPECT_GE(line[u"seconds"_s].toDouble(-1), 0.0);
        if (input == broken) {
            EXPECT_EQ(line[u"status"_s].toString(), u"failed"_s);
            EXPECT_TRUE(
                line[u"error"_s].toString().startsWith(u"Can not get the width of the photo! ("_s))
                << line[u"error"_s].toString().toStdString();
            EXPECT_FALSE(line.contains(u"width"_s));
        } else {
            EXPECT_EQ(line[u"status"_s].toString(), u"converted"_s);
            EXPECT_EQ(line[u"width"_s].toInt(), 40);  // 60 x 40, turned
            EXPECT_EQ(line[u"height"_s].toInt(), 60);
            EXPECT_TRUE(QFileInfo::exists(line[u"output"_s].toString()));
        }
    }
    // A report that cannot be written fails the run, yet no photo.
    const CliRun full = run({u"--overwrite"_s, u"--report"_s, u"/dev/full"_s, inputs[0]});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.errors.contains(u"report: "_s)) << full.errors.toStdString();
    EXPECT_TRUE(full.errors.contains(u"Converted 1 of 1 photos.\n"_s)) << full.errors.toStdString();
}

TEST_F(BatchRunTest, APhotoRoundTripsThroughPipesLeavingNoFiles) {
    const QString photo = fixtures::SolidPhoto(temp, u"in/a.png"_s, 64, 48, Qt::red);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString scratch = temp.mkdir(u"tmp"_s);
    environment.insert(u"TMPDIR"_s, scratch);
    const QString runtime = temp.mkdir(u"run"_s);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);  // else Qt makes one in TMPDIR
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    const QStringList turn{u"-r"_s, u"90"_s, u"--text"_s, u"Tessiva"_s};
    const CliRun piped =
        run(turn + QStringList{u"-"_s, u"-o"_s, u"-"_s}, fixtures::Bytes(photo), environment);
    ASSERT_EQ(piped.exitCode, 0) << piped.errors.toStdString();
    ASSERT_TRUE(piped.out.startsWith("II*"));
    EXPECT_EQ(QDir(scratch).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());  // the copy of the input is gone too
    const QString fromFile = temp.file(u"file.tif"_s);
    ASSERT_EQ(run(turn + QStringList{u"-o"_s, fromFile, photo}).exitCode, 0);
    const vips::VImage a =
        vips::VImage::new_from_buffer(piped.out.constData(), size_t(piped.out.size()), "");
    const vips::VImage b = vips::VImage::new_from_file(fromFile.toUtf8().constData());
    ASSERT_EQ(a.width(), 48);
    EXPECT_EQ((a - b).abs().max(), 0);

    for (const QStringList& wrong :
         {QStringList{u"-"_s, photo}, QStringList{u"-o"_s, u"-"_s, photo, photo},
          QStringList{u"-o"_s, u"-"_s, u"--report"_s, u"-"_s, photo}})
        EXPECT_EQ(run(wrong).exitCode, 2) << wrong.join(u' ').toStdString();
}

TEST_F(BatchRunTest, NamesComeFromTheTemplateAndStillNeverCollide) {
    const QStringList inputs = photos(2);
    const QString out = temp.mkdir(u"out"_s);
    const CliRun named =
        run(QStringList{u"-d"_s, out, u"--name"_s, u"{index}-{stem}.{ext}.tif"_s, u"--quiet"_s} +
            inputs);
    EXPECT_EQ(named.exitCode, 0);
    EXPECT_TRUE(named.errors.isEmpty()) << named.errors.toStdString();  // quiet: errors only
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{u"0-p0.jpg.tif"_s, u"1-p1.jpg.tif"_s}));

    const CliRun same =
        run(QStringList{u"-d"_s, out, u"--name"_s, u"same.tif"_s, u"--verbose"_s} + inputs);
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_TRUE(same.errors.contains(u"would overwrite"_s)) << same.errors.toStdString();
    EXPECT_TRUE(same.errors.contains(u"opened in"_s)) << same.errors.toStdString();

    for (const char* wrong : {"{name}.tif", "{stem.tif", "sub/{stem}.tif", ""})
        EXPECT_EQ(run({u"--name"_s, QString::fromLatin1(wrong), inputs[0]}).exitCode, 2) << wrong;
}

TEST_F(BatchRunTest, PhotosAtOnceFollowTheCoresTheProcessMayUse) {
    const QStringList inputs = photos(3);
    QProcess pinned;
    pinned.setWorkingDirectory(temp.path());
    pinned.start(u"taskset"_s, QStringList{u"-c"_s, u"0"_s, QStringLiteral(TESSIVA_CLI),
                                           u"--verbose"_s, u"-d"_s, temp.path()} +
                                   inputs);
    ASSERT_TRUE(pinned.waitForFinished(60000));
    EXPECT_TRUE(pinned.readAllStandardError().contains("1 photos at once, 1 threads each"));
}

TEST_F(BatchRunTest, RunsSideBySideNeverReplaceEachOthersOutputsNorLeaveHalfFiles) {
    // Two runs, as two shards, write one name: one output, one existing-output reason.
    fixtures::SolidPhoto(temp, u"a/x.png"_s, 3000, 2000, Qt::red);
    fixtures::SolidPhoto(temp, u"b/x.png"_s, 3000, 2000, Qt::blue);
    std::vector<std::unique_ptr<QProcess>> shards;
    for (const char* input : {"a/x.png", "b/x.png"}) {
        shards.push_back(std::make_unique<QProcess>());
        shards.back()->setWorkingDirectory(temp.path());
        shards.back()->start(QStringLiteral(TESSIVA_CLI),
                             {QString::fromLatin1(input), u"-d"_s, temp.path()});
    }
    int converted = 0;
    for (const auto& shard : shards) {
        ASSERT_TRUE(shard->waitForFinished(120000));
        if (shard->exitCode() == 0)
            ++converted;
        else
            EXPECT_TRUE(shard->readAllStandardError().contains("exists; --overwrite replaces it"));
    }
    EXPECT_EQ(converted, 1);
    // Killed outright while writing, a run leaves no half-written file.
    const QString large = fixtures::BlankBilevelPng(temp, u"large.png"_s, 20000);
    QProcess killed;
    killed.setWorkingDirectory(temp.path());
    killed.start(QStringLiteral(TESSIVA_CLI), {large, u"-o"_s, u"big.tif"_s});
    ASSERT_TRUE(killed.waitForStarted());
    // Writing has begun once the process holds its unnamed output open.
    const QString descriptors = u"/proc/%1/fd"_s.arg(killed.processId());
    const auto writing = [&] {
        for (const QFileInfo& fd : QDir(descriptors).entryInfoList(QDir::System | QDir::Files))
            if (fd.symLinkTarget().contains(u"(deleted)"_s)) return true;
        return false;
    };
    while (killed.state() == QProcess::Running && !writing()) QThread::yieldCurrentThread();
    killed.kill();
    killed.waitForFinished();
    EXPECT_EQ(
        QDir(temp.path()).entryList({u"*.tif"_s, u".tessiva-*"_s}, QDir::Files | QDir::Hidden),
        QStringList{u"x_out.tif"_s});
    // Where files cannot be unnamed, what a killed writer left is removed by the next run,
    // but not one a living writer holds, nor a name of another kind.
    for (const char* name : {".tessiva-ab12cd", ".tessiva-0badf00d", ".tessiva-notours"})
        temp.write(QString::fromLatin1(name), "half a TIFF");
    QFile held(temp.file(u".tessiva-0badf00d"_s));
    ASSERT_TRUE(held.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);
    const CliRun resumed = run({u"--skip-existing"_s, u"-d"_s, temp.path(), u"a/x.png"_s});
    EXPECT_TRUE(resumed.errors.contains(u"removed %1/.tessiva-ab12cd,"_s.arg(temp.path())))
        << resumed.errors.toStdString();
    EXPECT_EQ(QDir(temp.path()).entryList({u".tessiva-*"_s}, QDir::Files | QDir::Hidden),
              (QStringList{u".tessiva-0badf00d"_s, u".tessiva-notours"_s}));
}

}  // namespace
