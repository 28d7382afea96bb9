#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>

#include "host/base_folder.h"
#include "test_support.h"

namespace {

const QString kEnglish = u"language/English.ini"_s;

TEST(BaseFolder, ParentWinsWhenItHoldsTheEnglishFile) {
    TempFolder temp;
    temp.write(u"Apps/Tool/"_s + kEnglish, "[DIALOG]\n");
    temp.write(u"Apps/Tool/bin/"_s + kEnglish, "[DIALOG]\n");
    const QString exe = temp.write(u"Apps/Tool/bin/x"_s);
    EXPECT_EQ(BaseFolderFor(exe), temp.file(u"Apps/Tool"_s));
}

TEST(BaseFolder, ExecutableFolderWhenTheParentLacksTheEnglishFile) {
    TempFolder temp;
    temp.write(u"Apps/Tool/language/German.ini"_s, "[DIALOG]\n");
    const QString exe = temp.write(u"Apps/Tool/bin/x"_s);
    EXPECT_EQ(BaseFolderFor(exe), temp.file(u"Apps/Tool/bin"_s));
}

TEST(BaseFolder, AnInstalledTreeKeepsItsDataUnderShare) {
    TempFolder temp;
    temp.write(u"usr/share/tessiva/"_s + kEnglish, "[DIALOG]\n");
    const QString exe = temp.write(u"usr/bin/tessiva"_s);
    EXPECT_EQ(BaseFolderFor(exe), temp.file(u"usr/share/tessiva"_s));
    // A language folder beside the program still wins, as does one in its parent.
    temp.write(u"usr/bin/"_s + kEnglish, "[DIALOG]\n");
    EXPECT_EQ(BaseFolderFor(exe), temp.file(u"usr/bin"_s));
    temp.write(u"usr/"_s + kEnglish, "[DIALOG]\n");
    EXPECT_EQ(BaseFolderFor(exe), temp.file(u"usr"_s));
}

TEST(BaseFolder, AFolderNamedLikeTheEnglishFileDoesNotCount) {
    TempFolder temp;
    temp.mkdir(u"Apps/Tool/"_s + kEnglish);
    const QString exe = temp.write(u"Apps/Tool/bin/x"_s);
    EXPECT_EQ(BaseFolderFor(exe), temp.file(u"Apps/Tool/bin"_s));
}

TEST(BaseFolder, ExecutableInTheRootFolder) {
    // Cutting "/x" leaves an empty folder with no separator: the base folder is
    // empty and the language folder is "/language/".
    EXPECT_EQ(BaseFolderFor(u"/x"_s), QString());
}

TEST(BaseFolder, LinksToTheExecutableAreResolved) {
    TempFolder temp;
    temp.write(u"lib/tessiva/"_s + kEnglish, "[DIALOG]\n");
    const QString real = temp.write(u"lib/tessiva/bin/tessiva"_s);
    temp.mkdir(u"bin"_s);
    const QString link = temp.file(u"bin/tessiva"_s);
    ASSERT_TRUE(QFile::link(real, link));
    EXPECT_EQ(BaseFolderFor(link), QDir(temp.file(u"lib/tessiva"_s)).canonicalPath());
}

TEST(BaseFolder, TheRunningProgramsPathIsAbsoluteAndResolved) {
    const QString exe = ExecutablePath();
    EXPECT_TRUE(QDir::isAbsolutePath(exe));
    EXPECT_EQ(exe, QFileInfo(exe).canonicalFilePath());
}

TEST(FileExistsTest, OnlyReadableFilesExist) {
    TempFolder temp;
    EXPECT_TRUE(FileExists(temp.write(u"a.txt"_s, "x")));
    EXPECT_TRUE(FileExists(temp.write(u"empty.txt"_s)));
    EXPECT_FALSE(FileExists(temp.file(u"missing.txt"_s)));
    EXPECT_FALSE(FileExists(temp.mkdir(u"folder"_s)));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(FileExistsTest, AFileWithoutReadPermissionDoesNotExist) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempFolder temp;
    const QString path = temp.write(u"locked.txt"_s, "x");
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    EXPECT_FALSE(FileExists(path));
}

TEST(FolderOfTest, KeepsTheLastSeparator) {
    EXPECT_EQ(FolderOf(u"/home/ann/pics/a.jpg"_s), u"/home/ann/pics/"_s);
    EXPECT_EQ(FolderOf(u"/home/my.pics/out"_s), u"/home/my.pics/"_s);
    EXPECT_EQ(FolderOf(u"/a.jpg"_s), u"/"_s);
    EXPECT_EQ(FolderOf(u"a.jpg"_s), QString());
}

}  // namespace
