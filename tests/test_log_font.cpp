#include <gtest/gtest.h>

#include <QFont>

#include "app/settings_store.h"
#include "font/log_font.h"
#include "test_support.h"

namespace {

const QString kSection = QStringLiteral("CurrentFont");
const LogFontDefaults kOverlayDefaults{-13, 400, QString()};

class LogFontTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString iniPath = temp.file(QStringLiteral("store.conf"));
};

TEST_F(LogFontTest, MissingKeysTakeTheirDefaultsOneByOne) {
    temp.write(QStringLiteral("store.conf"),
               "[CurrentFont]\nlfFaceName=DejaVu Serif\nlfItalic=1\n");
    SettingsStore store(iniPath);
    const LogFont font = ReadLogFont(store, kSection, kOverlayDefaults);
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfItalic, 1);
    EXPECT_EQ(font.lfUnderline, 0);
    EXPECT_EQ(font.lfFaceName, QStringLiteral("DejaVu Serif"));

    const LogFont uiFont = ReadLogFont(store, QStringLiteral("english"),
                                       {-11, 400, QStringLiteral("Microsoft Sans Serif")});
    EXPECT_EQ(uiFont.lfHeight, -11);
    EXPECT_EQ(uiFont.lfFaceName, QStringLiteral("Microsoft Sans Serif"));
}

TEST_F(LogFontTest, ByteFieldsKeepTheLowEightBits) {
    temp.write(QStringLiteral("store.conf"),
               "[CurrentFont]\nlfItalic=257\nlfUnderline=300\nlfStrikeOut=-1\nlfCharSet=255\n");
    SettingsStore store(iniPath);
    const LogFont font = ReadLogFont(store, kSection, kOverlayDefaults);
    EXPECT_EQ(font.lfItalic, 1);
    EXPECT_EQ(font.lfUnderline, 44);
    EXPECT_EQ(font.lfStrikeOut, 255);
    EXPECT_EQ(font.lfCharSet, 255);
}

TEST_F(LogFontTest, ALongFaceNameIsCutTo31Characters) {
    const QString forty(40, u'F');
    temp.write(QStringLiteral("store.conf"), "[CurrentFont]\nlfFaceName=" + forty.toUtf8() + "\n");
    SettingsStore store(iniPath);
    EXPECT_EQ(ReadLogFont(store, kSection, kOverlayDefaults).lfFaceName, QString(31, u'F'));
}

TEST_F(LogFontTest, WritesThirteenKeysInTheirOrderAndReadsThemBack) {
    SettingsStore store(iniPath);
    QStringList keys;
    store.setWriteObserver([&](const QString&, const QString& key) { keys << key; });
    LogFont font;
    font.lfHeight = -27;
    font.lfWidth = 3;
    font.lfEscapement = 900;
    font.lfOrientation = 900;
    font.lfWeight = 700;
    font.lfItalic = 1;
    font.lfUnderline = 1;
    font.lfStrikeOut = 1;
    font.lfCharSet = 204;
    font.lfOutPrecision = 3;
    font.lfClipPrecision = 2;
    font.lfQuality = 5;  // never stored
    font.lfPitchAndFamily = 34;
    font.lfFaceName = QStringLiteral("Noto Serif");
    WriteLogFont(store, kSection, font);

    EXPECT_EQ(keys,
              (QStringList{"lfHeight", "lfWidth", "lfEscapement", "lfOrientation", "lfWeight",
                           "lfItalic", "lfUnderline", "lfStrikeOut", "lfCharSet", "lfOutPrecision",
                           "lfClipPrecision", "lfPitchAndFamily", "lfFaceName"}));
    LogFont expected = font;
    expected.lfQuality = 0;
    EXPECT_EQ(ReadLogFont(SettingsStore(iniPath), kSection, kOverlayDefaults), expected);
}

TEST(LogFontConversion, DescribesAFontAsItResolves) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    font.setUnderline(true);
    const LogFont lf = LogFontFromQFont(font);
    EXPECT_EQ(lf.lfHeight, -15);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_EQ(lf.lfUnderline, 1);
    EXPECT_EQ(lf.lfStrikeOut, 0);
    EXPECT_EQ(lf.lfFaceName, QStringLiteral("DejaVu Sans"));

    const QFont back = QFontFromLogFont(lf);
    EXPECT_EQ(back.pixelSize(), 15);
    EXPECT_EQ(back.weight(), QFont::Bold);
    EXPECT_TRUE(back.italic());
    EXPECT_TRUE(back.underline());
}

TEST(LogFontConversion, ExtremeStoredHeightsStayUsable) {
    LogFont lf;
    lf.lfHeight = INT32_MIN;
    lf.lfWeight = 5000;
    const QFont font = QFontFromLogFont(lf);
    EXPECT_GT(font.pixelSize(), 0);
    EXPECT_LE(font.weight(), 1000);
}

}  // namespace

TEST(Colours, ColorRefHoldsRedInTheLowestByte) {
    EXPECT_EQ(ColorFromColorRef(0x123456), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(ColorFromColorRef(0xAB123456), QColor(0x56, 0x34, 0x12));  // the top byte is ignored
    EXPECT_EQ(ColorRefFromColor(QColor(0x56, 0x34, 0x12)), 0x123456u);
}
