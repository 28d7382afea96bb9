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
#include <vips/vips8>

#include "photo_fixtures.h"
#include "test_support.h"

namespace {

class BatchRunTest : public ::testing::Test {
protected:
    struct Run {
        int exitCode;
        QByteArray out;
        QString errors;
    };
    TempFolder temp;

    Run run(const QStringList& arguments, const QByteArray& input = {},
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(temp.path());
        process.start(QStringLiteral(TESSIVA_CLI), arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), process.readAllStandardOutput(),
                QString::fromUtf8(process.readAllStandardError())};
    }
    /// @p count small photos in folder "in", named p0.jpg, p1.jpg, ...
    QStringList photos(int count) {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << fixtures::SolidPhoto(temp, QStringLiteral("in/p%1.jpg").arg(i), 30 + i, 20,
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
    temp.write(QStringLiteral("list.txt"), inputs.join(u'\n').toUtf8() + '\n');
    const QByteArray nulList = inputs.join(QChar(u'\0')).toUtf8();
    QMultiHash<QString, int> converted;
    for (int shard = 1; shard <= 3; ++shard) {
        const QString out = temp.mkdir(QStringLiteral("out"));
        const QString shardReport = temp.file(QStringLiteral("r%1.jsonl").arg(shard));
        const QStringList common{QStringLiteral("--shard"),    QStringLiteral("%1/3").arg(shard),
                                 QStringLiteral("-d"),         out,
                                 QStringLiteral("--report"),   shardReport,
                                 QStringLiteral("--overwrite")};
        const Run fromFile = run(common + QStringList{QStringLiteral("--files-from"),
                                                      temp.file(QStringLiteral("list.txt"))});
        EXPECT_EQ(fromFile.exitCode, 0) << fromFile.errors.toStdString();
        for (const QJsonObject& line : report(shardReport)) {
            EXPECT_EQ(line[QStringLiteral("status")].toString(), QStringLiteral("converted"));
            converted.insert(line[QStringLiteral("input")].toString(), shard);
        }
        const Run fromPipe = run(common + QStringList{QStringLiteral("--files-from"),
                                                      QStringLiteral("-"), QStringLiteral("-0")},
                                 nulList);
        EXPECT_EQ(fromPipe.exitCode, 0) << fromPipe.errors.toStdString();
        QStringList pipeInputs;
        for (const QJsonObject& line : report(shardReport))
            pipeInputs << line[QStringLiteral("input")].toString();
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
        EXPECT_EQ(run({QStringLiteral("--shard"), QString::fromLatin1(wrong), inputs[0]}).exitCode,
                  2)
            << wrong;
}

TEST_F(BatchRunTest, SkipExistingResumesWithoutTouchingDoneOutputs) {
    const QStringList inputs = photos(4);
    const QString out = temp.mkdir(QStringLiteral("out"));
    ASSERT_EQ(run(QStringList{QStringLiteral("-d"), out} + inputs.mid(0, 3)).exitCode, 0);
    std::vector<QDateTime> times;
    for (int i = 0; i < 3; ++i)
        times.push_back(QFileInfo(out + QStringLiteral("/p%1_out.tif").arg(i)).lastModified());

    const QString resumed = temp.file(QStringLiteral("resumed.jsonl"));
    const Run again = run(QStringList{QStringLiteral("-d"), out, QStringLiteral("--skip-existing"),
                                      QStringLiteral("--report"), resumed} +
                          inputs);
    EXPECT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_TRUE(again.errors.contains(QStringLiteral("Converted 1 of 4 photos; 3 skipped.")))
        << again.errors.toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(QFileInfo(out + QStringLiteral("/p%1_out.tif").arg(i)).lastModified(),
                  times[size_t(i)]);
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/p3_out.tif")));
    int skipped = 0;
    for (const QJsonObject& line : report(resumed))
        skipped += line[QStringLiteral("status")].toString() == u"skipped";
    EXPECT_EQ(skipped, 3);

    EXPECT_EQ(
        run({QStringLiteral("--skip-existing"), QStringLiteral("--overwrite"), inputs[0]}).exitCode,
        2);
}

TEST_F(BatchRunTest, TheReportHasALinePerInputWithSizesAndReasons) {
    const QStringList inputs = photos(2);
    const QString broken =
        temp.write(QStringLiteral("in/broken.jpg"), "\xff\xd8\xff\xe0 not a JPEG");
    const QString path = temp.file(QStringLiteral("report.jsonl"));
    const Run result =
        run(QStringList{QStringLiteral("-r"), QStringLiteral("90"), QStringLiteral("-W"),
                        QStringLiteral("60"), QStringLiteral("-H"), QStringLiteral("40"),
                        QStringLiteral("--report"), path} +
            inputs + QStringList{broken});
    EXPECT_EQ(result.exitCode, 1);
    const std::vector<QJsonObject> lines = report(path);
    ASSERT_EQ(lines.size(), 3u);
    for (const QJsonObject& line : lines) {
        const QString input = line[QStringLiteral("input")].toString();
        EXPECT_GE(line[QStringLiteral("seconds")].toDouble(-1), 0.0);
        if (input == broken) {
            EXPECT_EQ(line[QStringLiteral("status")].toString(), QStringLiteral("failed"));
            EXPECT_TRUE(line[QStringLiteral("error")].toString().startsWith(
                QStringLiteral("Can not get the width of the photo! (")))
                << line[QStringLiteral("error")].toString().toStdString();
            EXPECT_FALSE(line.contains(QStringLiteral("width")));
        } else {
            EXPECT_EQ(line[QStringLiteral("status")].toString(), QStringLiteral("converted"));
            EXPECT_EQ(line[QStringLiteral("width")].toInt(), 40);  // 60 x 40, turned
            EXPECT_EQ(line[QStringLiteral("height")].toInt(), 60);
            EXPECT_TRUE(QFileInfo::exists(line[QStringLiteral("output")].toString()));
        }
    }
}

TEST_F(BatchRunTest, APhotoRoundTripsThroughPipesLeavingNoFiles) {
    const QString photo = fixtures::SolidPhoto(temp, QStringLiteral("in/a.png"), 64, 48, Qt::red);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString scratch = temp.mkdir(QStringLiteral("tmp"));
    environment.insert(QStringLiteral("TMPDIR"), scratch);
    const QString runtime = temp.mkdir(QStringLiteral("run"));
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);  // else Qt makes one in TMPDIR
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    const QStringList turn{QStringLiteral("-r"), QStringLiteral("90"), QStringLiteral("--text"),
                           QStringLiteral("Tessiva")};
    const Run piped =
        run(turn + QStringList{QStringLiteral("-"), QStringLiteral("-o"), QStringLiteral("-")},
            fixtures::Bytes(photo), environment);
    ASSERT_EQ(piped.exitCode, 0) << piped.errors.toStdString();
    ASSERT_TRUE(piped.out.startsWith("II*"));
    EXPECT_EQ(QDir(scratch).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());  // the copy of the input is gone too
    const QString fromFile = temp.file(QStringLiteral("file.tif"));
    ASSERT_EQ(run(turn + QStringList{QStringLiteral("-o"), fromFile, photo}).exitCode, 0);
    const vips::VImage a =
        vips::VImage::new_from_buffer(piped.out.constData(), size_t(piped.out.size()), "");
    const vips::VImage b = vips::VImage::new_from_file(fromFile.toUtf8().constData());
    ASSERT_EQ(a.width(), 48);
    EXPECT_EQ((a - b).abs().max(), 0);

    for (const QStringList& wrong :
         {QStringList{QStringLiteral("-"), photo},
          QStringList{QStringLiteral("-o"), QStringLiteral("-"), photo, photo},
          QStringList{QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("--report"),
                      QStringLiteral("-"), photo}})
        EXPECT_EQ(run(wrong).exitCode, 2) << wrong.join(u' ').toStdString();
}

TEST_F(BatchRunTest, NamesComeFromTheTemplateAndStillNeverCollide) {
    const QStringList inputs = photos(2);
    const QString out = temp.mkdir(QStringLiteral("out"));
    const Run named =
        run(QStringList{QStringLiteral("-d"), out, QStringLiteral("--name"),
                        QStringLiteral("{index}-{stem}.{ext}.tif"), QStringLiteral("--quiet")} +
            inputs);
    EXPECT_EQ(named.exitCode, 0);
    EXPECT_TRUE(named.errors.isEmpty()) << named.errors.toStdString();  // quiet: errors only
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{QStringLiteral("0-p0.jpg.tif"), QStringLiteral("1-p1.jpg.tif")}));

    const Run same = run(QStringList{QStringLiteral("-d"), out, QStringLiteral("--name"),
                                     QStringLiteral("same.tif"), QStringLiteral("--verbose")} +
                         inputs);
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_TRUE(same.errors.contains(QStringLiteral("would overwrite")))
        << same.errors.toStdString();
    EXPECT_TRUE(same.errors.contains(QStringLiteral("opened in"))) << same.errors.toStdString();

    for (const char* wrong : {"{name}.tif", "{stem.tif", "sub/{stem}.tif", ""})
        EXPECT_EQ(run({QStringLiteral("--name"), QString::fromLatin1(wrong), inputs[0]}).exitCode,
                  2)
            << wrong;
}

TEST_F(BatchRunTest, PhotosAtOnceFollowTheCoresTheProcessMayUse) {
    const QStringList inputs = photos(3);
    QProcess pinned;
    pinned.setWorkingDirectory(temp.path());
    pinned.start(QStringLiteral("taskset"),
                 QStringList{QStringLiteral("-c"), QStringLiteral("0"), QStringLiteral(TESSIVA_CLI),
                             QStringLiteral("--verbose"), QStringLiteral("-d"), temp.path()} +
                     inputs);
    ASSERT_TRUE(pinned.waitForFinished(60000));
    EXPECT_TRUE(pinned.readAllStandardError().contains("1 photos at once, 1 threads each"));
}

TEST_F(BatchRunTest, RunsSideBySideNeverReplaceEachOthersOutputsNorLeaveHalfFiles) {
    // Two runs, as two shards, write one name: one output, one existing-output reason.
    fixtures::SolidPhoto(temp, QStringLiteral("a/x.png"), 3000, 2000, Qt::red);
    fixtures::SolidPhoto(temp, QStringLiteral("b/x.png"), 3000, 2000, Qt::blue);
    std::vector<std::unique_ptr<QProcess>> shards;
    for (const char* input : {"a/x.png", "b/x.png"}) {
        shards.push_back(std::make_unique<QProcess>());
        shards.back()->setWorkingDirectory(temp.path());
        shards.back()->start(QStringLiteral(TESSIVA_CLI),
                             {QString::fromLatin1(input), QStringLiteral("-d"), temp.path()});
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
    const QString large = fixtures::BlankBilevelPng(temp, QStringLiteral("large.png"), 20000);
    QProcess killed;
    killed.setWorkingDirectory(temp.path());
    killed.start(QStringLiteral(TESSIVA_CLI),
                 {large, QStringLiteral("-o"), QStringLiteral("big.tif")});
    ASSERT_TRUE(killed.waitForStarted());
    // Writing has begun once the process holds its unnamed output open.
    const QString descriptors = QStringLiteral("/proc/%1/fd").arg(killed.processId());
    const auto writing = [&] {
        for (const QFileInfo& fd : QDir(descriptors).entryInfoList(QDir::System | QDir::Files))
            if (fd.symLinkTarget().contains(QStringLiteral("(deleted)"))) return true;
        return false;
    };
    while (killed.state() == QProcess::Running && !writing()) QThread::yieldCurrentThread();
    killed.kill();
    killed.waitForFinished();
    EXPECT_EQ(QDir(temp.path())
                  .entryList({QStringLiteral("*.tif"), QStringLiteral(".tessiva-*")},
                             QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("x_out.tif")});
}

}  // namespace
