#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <climits>

#include "settings/store.h"
#include "test_support.h"

namespace {

using settings::ParseStoredInt;

const QString kSection = u"Option"_s;

class SettingsStoreTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString iniPath = temp.file(u"tessiva.conf"_s);

    // Stores raw INI text, as a hand-edited or foreign store would hold it.
    void writeRaw(const QByteArray& text) { temp.write(u"tessiva.conf"_s, text); }
};

TEST_F(SettingsStoreTest, MissingValuesGiveTheCallersDefault) {
    settings::Store store(iniPath);
    EXPECT_EQ(store.GetProfileInt(kSection, u"nRotateAngel"_s, 0), 0);
    EXPECT_EQ(store.GetProfileInt(u"CurrentFont"_s, u"lfHeight"_s, -13), -13);
    EXPECT_EQ(store.GetProfileString(kSection, u"CurrentLanguage"_s, u"english"_s), u"english"_s);
    EXPECT_EQ(store.GetProfileString(kSection, u"LastPhotoFolder"_s, QString()), QString());
}

TEST_F(SettingsStoreTest, SignedIntegersRoundTripAcrossInstances) {
    {
        settings::Store store(iniPath);
        store.WriteProfileInt(kSection, u"a"_s, -13);
        store.WriteProfileInt(kSection, u"b"_s, INT_MIN);
        store.WriteProfileInt(kSection, u"c"_s, INT_MAX);
        store.WriteProfileInt(kSection, u"d"_s, 0);
    }
    settings::Store reopened(iniPath);
    EXPECT_EQ(reopened.GetProfileInt(kSection, u"a"_s, 1), -13);
    EXPECT_EQ(reopened.GetProfileInt(kSection, u"b"_s, 1), INT_MIN);
    EXPECT_EQ(reopened.GetProfileInt(kSection, u"c"_s, 1), INT_MAX);
    EXPECT_EQ(reopened.GetProfileInt(kSection, u"d"_s, 1), 0);
}

TEST_F(SettingsStoreTest, UnsignedBitPatternsReadAsTheirSignedValue) {
    // FFFFFFF3 is how the registry holds -13; a store may hold it unsigned.
    writeRaw("[Option]\nheight=4294967283\ncolor=4294967295\nbig=2147483648\n");
    settings::Store store(iniPath);
    EXPECT_EQ(store.GetProfileInt(kSection, u"height"_s, 0), -13);
    EXPECT_EQ(store.GetProfileInt(kSection, u"color"_s, 0), -1);
    EXPECT_EQ(store.GetProfileInt(kSection, u"big"_s, 0), INT_MIN);
}

TEST_F(SettingsStoreTest, ValuesThatAreNotIntegersReadAsTheDefault) {
    writeRaw(
        "[Option]\n"
        "word=abc\n"
        "trailing=12abc\n"
        "fraction=1.5\n"
        "huge=99999999999\n"
        "hugeNegative=-2147483649\n"
        "empty=\n"
        "sign=-\n"
        "list=1, 2\n"
        "bytes=@ByteArray(abcd)\n"
        "hex=0x10\n"
        "spaced=\"  42 \"\n");
    settings::Store store(iniPath);
    for (const char* key : {"word", "trailing", "fraction", "huge", "hugeNegative", "empty", "sign",
                            "list", "bytes", "hex"}) {
        EXPECT_EQ(store.GetProfileInt(kSection, QString::fromLatin1(key), 77), 77) << key;
    }
    EXPECT_EQ(store.GetProfileInt(kSection, u"spaced"_s, 77), 42);
}

TEST_F(SettingsStoreTest, StringsEndAtTheirFirstNul) {
    {
        settings::Store store(iniPath);
        store.WriteProfileString(kSection, u"face"_s, QString::fromUtf16(u"Arial\0Bold", 10));
    }
    settings::Store reopened(iniPath);
    EXPECT_EQ(reopened.GetProfileString(kSection, u"face"_s, u"x"_s), u"Arial"_s);
}

TEST_F(SettingsStoreTest, StringsOfOtherShapesReadSensibly) {
    writeRaw(
        "[Option]\n"
        "folder=/home/ann/My Pictures/\n"
        "list=a, b\n"
        "number=12\n"
        "bytes=@ByteArray(abc)\n"
        "unicode=\xe5\x86\x99\xe7\x9c\x9f\n");
    settings::Store store(iniPath);
    const QString def = u"default"_s;
    EXPECT_EQ(store.GetProfileString(kSection, u"folder"_s, def), u"/home/ann/My Pictures/"_s);
    EXPECT_EQ(store.GetProfileString(kSection, u"list"_s, def), u"a, b"_s);
    EXPECT_EQ(store.GetProfileString(kSection, u"number"_s, def), u"12"_s);
    EXPECT_EQ(store.GetProfileString(kSection, u"bytes"_s, def), def);
    EXPECT_EQ(store.GetProfileString(kSection, u"unicode"_s, def),
              QString::fromUtf8("\xe5\x86\x99\xe7\x9c\x9f"));
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeWrittenIsSilent) {
    // A regular file where the store's folder should be: nothing can be created.
    const QString blocker = temp.write(u"blocker"_s, "x");
    settings::Store store(blocker + u"/tessiva.conf"_s);
    EXPECT_FALSE(store.WriteProfileInt(kSection, u"nFlipType"_s, 2));
    EXPECT_FALSE(store.WriteProfileString(kSection, u"CurrentLanguage"_s, u"deu"_s));
    EXPECT_EQ(ReadText(blocker), u"x"_s);
}

TEST_F(SettingsStoreTest, APipeInTheLockPlaceLosesTheWriteInsteadOfHanging) {
    writeRaw("[Option]\nnFlipType=1\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(iniPath + u".lock"_s).constData(), 0600), 0);
    {
        settings::Store store(iniPath);
        EXPECT_FALSE(store.WriteProfileInt(kSection, u"nFlipType"_s, 2));
        EXPECT_EQ(store.GetProfileInt(kSection, u"nFlipType"_s, 0), 1);
    }
    EXPECT_EQ(ReadText(iniPath), u"[Option]\nnFlipType=1\n"_s);
}

TEST_F(SettingsStoreTest, AnUnreadableStoreGivesDefaults) {
    // A folder, a pipe (reading it would wait for ever) or an outsized file in
    // the store's place.
    const auto expectDefaults = [&] {
        settings::Store store(iniPath);
        EXPECT_EQ(store.GetProfileInt(kSection, u"nRotateAngel"_s, 5), 5);
        EXPECT_EQ(store.GetProfileString(kSection, u"x"_s, u"d"_s), u"d"_s);
    };
    temp.mkdir(u"tessiva.conf"_s);
    expectDefaults();
    QDir(temp.path()).rmdir(u"tessiva.conf"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(iniPath).constData(), 0600), 0);
    expectDefaults();
    QFile::remove(iniPath);
    // A megabyte is read; one byte more is not.
    const QByteArray head("[Option]\nnRotateAngel=90\n;");
    writeRaw(head + QByteArray((1 << 20) - head.size(), ';'));
    EXPECT_EQ(settings::Store(iniPath).GetProfileInt(kSection, u"nRotateAngel"_s, 5), 90);
    writeRaw(head + QByteArray((1 << 20) + 1 - head.size(), ';'));
    expectDefaults();
}

TEST_F(SettingsStoreTest, GarbageInTheStoreGivesDefaultsWithoutCrashing) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) % 256));
    writeRaw(garbage);
    settings::Store store(iniPath);
    EXPECT_EQ(store.GetProfileInt(kSection, u"nRotateAngel"_s, 0), 0);
    EXPECT_EQ(store.GetProfileString(kSection, u"CurrentLanguage"_s, u"english"_s), u"english"_s);
}

TEST_F(SettingsStoreTest, EachWriteReachesTheDiskUnlessABatchIsOpen) {
    settings::Store store(iniPath);
    store.WriteProfileInt(kSection, u"first"_s, 1);
    EXPECT_TRUE(ReadText(iniPath).contains(u"first=1"_s));
    {
        settings::Store::Batch batch(store);
        store.WriteProfileInt(kSection, u"second"_s, 2);
        {
            settings::Store::Batch inner(store);
            store.WriteProfileString(kSection, u"third"_s, u"3"_s);
        }
        EXPECT_FALSE(ReadText(iniPath).contains(u"second"_s));
    }
    const QString text = ReadText(iniPath);
    EXPECT_TRUE(text.contains(u"second=2"_s));
    EXPECT_TRUE(text.contains(u"third=3"_s));
}

TEST_F(SettingsStoreTest, TheObserverSeesWritesInOrder) {
    settings::Store store(iniPath);
    QStringList seen;
    store.setWriteObserver(
        [&](const QString& section, const QString& key) { seen << section + u'/' + key; });
    store.WriteProfileInt(kSection, u"b"_s, 1);
    store.WriteProfileString(u"CurrentFont"_s, u"a"_s, u"x"_s);
    EXPECT_EQ(seen, (QStringList{u"Option/b"_s, u"CurrentFont/a"_s}));
}

TEST(ParseStoredInt, AcceptsOnlyWholeDecimal32BitNumbers) {
    EXPECT_EQ(ParseStoredInt(u"0"), 0);
    EXPECT_EQ(ParseStoredInt(u"+7"), 7);
    EXPECT_EQ(ParseStoredInt(u" -13 "), -13);
    EXPECT_EQ(ParseStoredInt(u"-2147483648"), INT_MIN);
    EXPECT_EQ(ParseStoredInt(u"4294967295"), -1);
    EXPECT_EQ(ParseStoredInt(u"4294967296"), std::nullopt);
    EXPECT_EQ(ParseStoredInt(u"-2147483649"), std::nullopt);
    EXPECT_EQ(ParseStoredInt(u"123456789012345678901234567890"), std::nullopt);
    EXPECT_EQ(ParseStoredInt(u"1 2"), std::nullopt);
    EXPECT_EQ(ParseStoredInt(u"+"), std::nullopt);
    EXPECT_EQ(ParseStoredInt(u""), std::nullopt);
}

}  // namespace
