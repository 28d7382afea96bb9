#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>

#include "host/base_folder.h"
#include "test_support.h"

namespace {

const QString kEnglish = QStringLiteral("language/English.ini");

TEST(BaseFolder, ParentWinsWhenItHoldsTheEnglishFile) {
    TempFolder temp;
    temp.write(QStringLiteral("Apps/Tool/") + kEnglish, "[DIALOG]\n");
    temp.write(QStringLiteral("Apps/Tool/bin/") + kEnglish, "[DIALOG]\n");
    const QString exe = temp.write(QStringLiteral("Apps/Tool/bin/x"));
    EXPECT_EQ(BaseFolderFor(exe), temp.file(QStringLiteral("Apps/Tool")));
}

TEST(BaseFolder, ExecutableFolderWhenTheParentLacksTheEnglishFile) {
    TempFolder temp;
    temp.write(QStringLiteral("Apps/Tool/language/German.ini"), "[DIALOG]\n");
    const QString exe = temp.write(QStringLiteral("Apps/Tool/bin/x"));
    EXPECT_EQ(BaseFolderFor(exe), temp.file(QStringLiteral("Apps/Tool/bin")));
}

TEST(BaseFolder, AnInstalledTreeKeepsItsDataUnderShare) {
    TempFolder temp;
    temp.write(QStringLiteral("usr/share/tessiva/") + kEnglish, "[DIALOG]\n");
    const QString exe = temp.write(QStringLiteral("usr/bin/tessiva"));
    EXPECT_EQ(BaseFolderFor(exe), temp.file(QStringLiteral("usr/share/tessiva")));
    // A language folder beside the program still wins, as does one in its parent.
    temp.write(QStringLiteral("usr/bin/") + kEnglish, "[DIALOG]\n");
    EXPECT_EQ(BaseFolderFor(exe), temp.file(QStringLiteral("usr/bin")));
    temp.write(QStringLiteral("usr/") + kEnglish, "[DIALOG]\n");
    EXPECT_EQ(BaseFolderFor(exe), temp.file(QStringLiteral("usr")));
}

TEST(BaseFolder, AFolderNamedLikeTheEnglishFileDoesNotCount) {
    TempFolder temp;
    temp.mkdir(QStringLiteral("Apps/Tool/") + kEnglish);
    const QString exe = temp.write(QStringLiteral("Apps/Tool/bin/x"));
    EXPECT_EQ(BaseFolderFor(exe), temp.file(QStringLiteral("Apps/Tool/bin")));
}

TEST(BaseFolder, ExecutableInTheRootFolder) {
    // Cutting "/x" leaves an empty folder with no separator: the base folder is
    // empty and the language folder is "/language/".
    EXPECT_EQ(BaseFolderFor(QStringLiteral("/x")), QString());
}

TEST(BaseFolder, LinksToTheExecutableAreResolved) {
    TempFolder temp;
    temp.write(QStringLiteral("lib/tessiva/") + kEnglish, "[DIALOG]\n");
    const QString real = temp.write(QStringLiteral("lib/tessiva/bin/tessiva"));
    temp.mkdir(QStringLiteral("bin"));
    const QString link = temp.file(QStringLiteral("bin/tessiva"));
    ASSERT_TRUE(QFile::link(real, link));
    EXPECT_EQ(BaseFolderFor(link), QDir(temp.file(QStringLiteral("lib/tessiva"))).canonicalPath());
}

TEST(BaseFolder, TheRunningProgramsPathIsAbsoluteAndResolved) {
    const QString exe = ExecutablePath();
    EXPECT_TRUE(QDir::isAbsolutePath(exe));
    EXPECT_EQ(exe, QFileInfo(exe).canonicalFilePath());
}

TEST(FileExistsTest, OnlyReadableFilesExist) {
    TempFolder temp;
    EXPECT_TRUE(FileExists(temp.write(QStringLiteral("a.txt"), "x")));
    EXPECT_TRUE(FileExists(temp.write(QStringLiteral("empty.txt"))));
    EXPECT_FALSE(FileExists(temp.file(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(FileExists(temp.mkdir(QStringLiteral("folder"))));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(FileExistsTest, AFileWithoutReadPermissionDoesNotExist) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempFolder temp;
    const QString path = temp.write(QStringLiteral("locked.txt"), "x");
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    EXPECT_FALSE(FileExists(path));
}

TEST(FolderOfTest, KeepsTheLastSeparator) {
    EXPECT_EQ(FolderOf(QStringLiteral("/home/ann/pics/a.jpg")), QStringLiteral("/home/ann/pics/"));
    EXPECT_EQ(FolderOf(QStringLiteral("/home/my.pics/out")), QStringLiteral("/home/my.pics/"));
    EXPECT_EQ(FolderOf(QStringLiteral("/a.jpg")), QStringLiteral("/"));
    EXPECT_EQ(FolderOf(QStringLiteral("a.jpg")), QString());
}

}  // namespace
