#include <gtest/gtest.h>

#include <QFont>
#include <utility>

#include "settings/keys.h"
#include "settings/store.h"
#include "settings/stored_font.h"
#include "test_support.h"

namespace {

const QString kSection = u"CurrentFont"_s;
const settings::FontDefaults kOverlayDefaults{-13, 400, QString()};

class StoredFontTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString iniPath = temp.file(u"store.conf"_s);
};

TEST_F(StoredFontTest, MissingKeysTakeTheirDefaultsOneByOne) {
    temp.write(u"store.conf"_s, "[CurrentFont]\nlfFaceName=DejaVu Serif\nlfItalic=1\n");
    settings::Store store(iniPath);
    const QFont font = settings::ReadFont(store, kSection, kOverlayDefaults);
    EXPECT_EQ(font.pixelSize(), 13);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_TRUE(font.italic());
    EXPECT_FALSE(font.underline());
    EXPECT_EQ(font.family(), u"DejaVu Serif"_s);

    const QFont uiFont =
        settings::ReadFont(store, u"english"_s, {-11, 400, u"Microsoft Sans Serif"_s});
    EXPECT_EQ(uiFont.pixelSize(), 11);
    EXPECT_EQ(uiFont.family(), u"Microsoft Sans Serif"_s);
}

TEST_F(StoredFontTest, ByteFieldsKeepTheLowEightBitsAndFaceNamesTheir31Characters) {
    temp.write(u"store.conf"_s,
               "[CurrentFont]\nlfItalic=256\nlfUnderline=300\n"
               "lfStrikeOut=-1\nlfFaceName=" +
                   QByteArray(40, 'F') + "\n");
    settings::Store store(iniPath);
    const QFont font = settings::ReadFont(store, kSection, kOverlayDefaults);
    EXPECT_FALSE(font.italic());  // 256 keeps 0
    EXPECT_TRUE(font.underline());
    EXPECT_TRUE(font.strikeOut());
    EXPECT_EQ(font.family(), QString(31, u'F'));
}

TEST_F(StoredFontTest, WritesThirteenKeysInTheirOrderAndReadsThemBack) {
    settings::Store store(iniPath);
    QStringList keys;
    store.setWriteObserver([&](const QString&, const QString& key) { keys << key; });
    QFont font(u"Noto Serif"_s);
    font.setPixelSize(27);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    font.setUnderline(true);
    settings::WriteFont(store, kSection, font);

    EXPECT_EQ(keys,
              (QStringList{"lfHeight", "lfWidth", "lfEscapement", "lfOrientation", "lfWeight",
                           "lfItalic", "lfUnderline", "lfStrikeOut", "lfCharSet", "lfOutPrecision",
                           "lfClipPrecision", "lfPitchAndFamily", "lfFaceName"}));
    EXPECT_EQ(store.GetProfileInt(kSection, u"lfHeight"_s, 0), -27);
    EXPECT_EQ(store.GetProfileInt(kSection, u"lfWeight"_s, 0), 700);
    const QFont back = settings::ReadFont(settings::Store(iniPath), kSection, kOverlayDefaults);
    EXPECT_EQ(back.family(), font.family());
    EXPECT_EQ(back.pixelSize(), 27);
    EXPECT_EQ(back.weight(), QFont::Bold);
    EXPECT_TRUE(back.italic());
    EXPECT_TRUE(back.underline());
    EXPECT_FALSE(back.strikeOut());
}

TEST_F(StoredFontTest, WhatTheFontDoesNotChangeIsWrittenBackAsItWasStored) {
    const QByteArray stored =
        "[CurrentFont]\nlfHeight=20\nlfWidth=7\nlfEscapement=900\nlfCharSet=300\n"
        "lfItalic=0\nlfFaceName=DejaVu Sans\n";
    temp.write(u"store.conf"_s, stored);
    const auto value = [&](const char* key) {
        return settings::Store(iniPath).GetProfileInt(kSection, QString::fromLatin1(key), -1);
    };
    QFont font;
    {
        settings::Store store(iniPath);
        font = settings::ReadFont(store, kSection, kOverlayDefaults);
        settings::WriteFont(store, kSection, font);
    }
    for (const auto& [key, expected] :
         {std::pair{"lfHeight", 20}, {"lfWidth", 7}, {"lfEscapement", 900}, {"lfCharSet", 300}})
        EXPECT_EQ(value(key), expected) << key;
    // A change rewrites what it decides, and only that.
    font.setItalic(true);
    font.setPixelSize(30);
    {
        settings::Store store(iniPath);
        settings::WriteFont(store, kSection, font);
    }
    EXPECT_EQ(value("lfItalic"), 1);
    EXPECT_EQ(value("lfHeight"), -30);
    EXPECT_EQ(value("lfCharSet"), 300);
    EXPECT_EQ(value("lfEscapement"), 900);
}

TEST_F(StoredFontTest, ExtremeStoredValuesStayUsable) {
    temp.write(u"store.conf"_s, "[CurrentFont]\nlfHeight=-2147483648\nlfWeight=5000\n");
    const QFont font = settings::ReadFont(settings::Store(iniPath), kSection, kOverlayDefaults);
    EXPECT_GT(font.pixelSize(), 0);
    EXPECT_LE(font.weight(), 1000);
}

TEST_F(StoredFontTest, ColoursAreStoredWithRedInTheLowestByte) {
    temp.write(u"store.conf"_s, "[CurrentFont]\nnCurrentColor=2870096982\n");
    settings::Store store(iniPath);  // 0xAB123456: the top byte is ignored
    EXPECT_EQ(settings::ReadColour(store, settings::kCurrentColor), QColor(0x56, 0x34, 0x12));
    settings::WriteColour(store, settings::kCurrentColor, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(store.GetProfileInt(kSection, u"nCurrentColor"_s, 0), 0x563412);
}

}  // namespace
