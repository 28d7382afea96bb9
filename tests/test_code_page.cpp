#include <gtest/gtest.h>

#include "i18n/code_page.h"
#include "test_support.h"

namespace {

const QChar kBad(QChar::ReplacementCharacter);

TEST(CodePage, DecodesTheLanguagesCodePages) {
    EXPECT_EQ(DecodeCodePage("\xC4\x80", 1252), u"Ä€"_s);
    EXPECT_EQ(DecodeCodePage("\xC6\xE8\xE7\xED\xFC", 1251), u"Жизнь"_s);
    EXPECT_EQ(DecodeCodePage("\xD5\xD5\xC6\xAC", 936), u"照片"_s);
    EXPECT_EQ(DecodeCodePage("\xA4\xA4\xA4\xE5", 950), u"中文"_s);
    EXPECT_EQ(DecodeCodePage("\xC7\xD1\xB1\xDB", 949), u"한글"_s);
    EXPECT_EQ(DecodeCodePage("\xE0\xE1", 874), u"เแ"_s);
    EXPECT_EQ(DecodeCodePage("\xE3\x81\x82", kCodePageUtf8), u"あ"_s);
    EXPECT_EQ(DecodeCodePage("\xE3\x81\x82", kCodePageSystem), u"あ"_s);
}

TEST(CodePage, ABackslashInsideADoubleByteCharacterIsPartOfIt) {
    // 0x95 0x5C is one character in code page 932; its second byte is '\'.
    EXPECT_EQ(DecodeCodePage("\x95\x5Cn", 932), u"表n"_s);
}

TEST(CodePage, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(DecodeCodePage("a\x81z", 1252), u"a"_s + kBad + u"z"_s);
    EXPECT_EQ(DecodeCodePage("ab\xD5", 936), u"ab"_s + kBad);
    EXPECT_EQ(DecodeCodePage("\xFF\xFEok", kCodePageUtf8), QString(2, kBad) + u"ok"_s);
    const QString many = DecodeCodePage(QByteArray(10000, '\x81'), 1252);
    EXPECT_EQ(many, QString(10000, kBad));
}

TEST(CodePage, AnUnknownCodePageDecodesAsTheSystems) {
    EXPECT_EQ(DecodeCodePage("\xC3\xA4", 12345), u"ä"_s);
    EXPECT_EQ(DecodeCodePage({}, 1252), QString());
}

}  // namespace
