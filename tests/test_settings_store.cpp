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

const QString kSection = QStringLiteral("Option");

class SettingsStoreTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString iniPath = temp.file(QStringLiteral("tessiva.conf"));

    // Stores raw INI text, as a hand-edited or foreign store would hold it.
    void writeRaw(const QByteArray& text) { temp.write(QStringLiteral("tessiva.conf"), text); }
};

TEST_F(SettingsStoreTest, MissingValuesGiveTheCallersDefault) {
    settings::Store store(iniPath);
    EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("nRotateAngel"), 0), 0);
    EXPECT_EQ(store.GetProfileInt(QStringLiteral("CurrentFont"), QStringLiteral("lfHeight"), -13),
              -13);
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("CurrentLanguage"),
                                     QStringLiteral("english")),
              QStringLiteral("english"));
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("LastPhotoFolder"), QString()),
              QString());
}

TEST_F(SettingsStoreTest, SignedIntegersRoundTripAcrossInstances) {
    {
        settings::Store store(iniPath);
        store.WriteProfileInt(kSection, QStringLiteral("a"), -13);
        store.WriteProfileInt(kSection, QStringLiteral("b"), INT_MIN);
        store.WriteProfileInt(kSection, QStringLiteral("c"), INT_MAX);
        store.WriteProfileInt(kSection, QStringLiteral("d"), 0);
    }
    settings::Store reopened(iniPath);
    EXPECT_EQ(reopened.GetProfileInt(kSection, QStringLiteral("a"), 1), -13);
    EXPECT_EQ(reopened.GetProfileInt(kSection, QStringLiteral("b"), 1), INT_MIN);
    EXPECT_EQ(reopened.GetProfileInt(kSection, QStringLiteral("c"), 1), INT_MAX);
    EXPECT_EQ(reopened.GetProfileInt(kSection, QStringLiteral("d"), 1), 0);
}

TEST_F(SettingsStoreTest, UnsignedBitPatternsReadAsTheirSignedValue) {
    // FFFFFFF3 is how the registry holds -13; a store may hold it unsigned.
    writeRaw("[Option]\nheight=4294967283\ncolor=4294967295\nbig=2147483648\n");
    settings::Store store(iniPath);
    EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("height"), 0), -13);
    EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("color"), 0), -1);
    EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("big"), 0), INT_MIN);
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
    EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("spaced"), 77), 42);
}

TEST_F(SettingsStoreTest, StringsEndAtTheirFirstNul) {
    {
        settings::Store store(iniPath);
        store.WriteProfileString(kSection, QStringLiteral("face"),
                                 QString::fromUtf16(u"Arial\0Bold", 10));
    }
    settings::Store reopened(iniPath);
    EXPECT_EQ(reopened.GetProfileString(kSection, QStringLiteral("face"), QStringLiteral("x")),
              QStringLiteral("Arial"));
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
    const QString def = QStringLiteral("default");
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("folder"), def),
              QStringLiteral("/home/ann/My Pictures/"));
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("list"), def),
              QStringLiteral("a, b"));
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("number"), def),
              QStringLiteral("12"));
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("bytes"), def), def);
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("unicode"), def),
              QString::fromUtf8("\xe5\x86\x99\xe7\x9c\x9f"));
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeWrittenIsSilent) {
    // A regular file where the store's folder should be: nothing can be created.
    const QString blocker = temp.write(QStringLiteral("blocker"), "x");
    settings::Store store(blocker + QStringLiteral("/tessiva.conf"));
    EXPECT_FALSE(store.WriteProfileInt(kSection, QStringLiteral("nFlipType"), 2));
    EXPECT_FALSE(store.WriteProfileString(kSection, QStringLiteral("CurrentLanguage"),
                                          QStringLiteral("deu")));
    EXPECT_EQ(ReadText(blocker), QStringLiteral("x"));
}

TEST_F(SettingsStoreTest, APipeInTheLockPlaceLosesTheWriteInsteadOfHanging) {
    writeRaw("[Option]\nnFlipType=1\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(iniPath + QStringLiteral(".lock")).constData(), 0600), 0);
    {
        settings::Store store(iniPath);
        EXPECT_FALSE(store.WriteProfileInt(kSection, QStringLiteral("nFlipType"), 2));
        EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("nFlipType"), 0), 1);
    }
    EXPECT_EQ(ReadText(iniPath), QStringLiteral("[Option]\nnFlipType=1\n"));
}

TEST_F(SettingsStoreTest, AnUnreadableStoreGivesDefaults) {
    // A folder, a pipe (reading it would wait for ever) or an outsized file in
    // the store's place.
    const auto expectDefaults = [&] {
        settings::Store store(iniPath);
        EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("nRotateAngel"), 5), 5);
        EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("x"), QStringLiteral("d")),
                  QStringLiteral("d"));
    };
    temp.mkdir(QStringLiteral("tessiva.conf"));
    expectDefaults();
    QDir(temp.path()).rmdir(QStringLiteral("tessiva.conf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(iniPath).constData(), 0600), 0);
    expectDefaults();
    QFile::remove(iniPath);
    writeRaw("[Option]\nnRotateAngel=90\n" + QByteArray(2 << 20, ';'));
    expectDefaults();
}

TEST_F(SettingsStoreTest, GarbageInTheStoreGivesDefaultsWithoutCrashing) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) % 256));
    writeRaw(garbage);
    settings::Store store(iniPath);
    EXPECT_EQ(store.GetProfileInt(kSection, QStringLiteral("nRotateAngel"), 0), 0);
    EXPECT_EQ(store.GetProfileString(kSection, QStringLiteral("CurrentLanguage"),
                                     QStringLiteral("english")),
              QStringLiteral("english"));
}

TEST_F(SettingsStoreTest, EachWriteReachesTheDiskUnlessABatchIsOpen) {
    settings::Store store(iniPath);
    store.WriteProfileInt(kSection, QStringLiteral("first"), 1);
    EXPECT_TRUE(ReadText(iniPath).contains(QStringLiteral("first=1")));
    {
        settings::Store::Batch batch(store);
        store.WriteProfileInt(kSection, QStringLiteral("second"), 2);
        {
            settings::Store::Batch inner(store);
            store.WriteProfileString(kSection, QStringLiteral("third"), QStringLiteral("3"));
        }
        EXPECT_FALSE(ReadText(iniPath).contains(QStringLiteral("second")));
    }
    const QString text = ReadText(iniPath);
    EXPECT_TRUE(text.contains(QStringLiteral("second=2")));
    EXPECT_TRUE(text.contains(QStringLiteral("third=3")));
}

TEST_F(SettingsStoreTest, TheObserverSeesWritesInOrder) {
    settings::Store store(iniPath);
    QStringList seen;
    store.setWriteObserver(
        [&](const QString& section, const QString& key) { seen << section + u'/' + key; });
    store.WriteProfileInt(kSection, QStringLiteral("b"), 1);
    store.WriteProfileString(QStringLiteral("CurrentFont"), QStringLiteral("a"),
                             QStringLiteral("x"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Option/b"), QStringLiteral("CurrentFont/a")}));
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
