#include <gtest/gtest.h>

#include "i18n/code_page.h"
#include "i18n/ini_file.h"
#include "test_support.h"

namespace {

const IniFile::Decoder kUtf8 = [](QByteArrayView bytes) {
    return DecodeCodePage(bytes, kCodePageUtf8);
};

QString Get(const IniFile& ini, const char* section, const char* key) {
    return ini.value(QString::fromLatin1(section), QString::fromLatin1(key))
        .value_or(u"<missing>"_s);
}

QByteArray Utf16(const QString& text, bool bigEndian = false) {
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (QChar c : text) {
        const char hi = static_cast<char>(c.unicode() >> 8),
                   lo = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
    }
    return bytes;
}

TEST(IniFile, NamesMatchWithoutRegardToCaseAndBlanksAreDropped) {
    const IniFile ini = IniFile::Parse(
        "  [ Dialog ]  \r\n"
        "\tIDC_Button_Exit  =   Quit now  \r\n"
        "key=\r\n",
        kUtf8);
    EXPECT_EQ(Get(ini, "DIALOG", "IDC_BUTTON_EXIT"), u"Quit now"_s);
    EXPECT_EQ(Get(ini, "dialog", "idc_button_exit"), u"Quit now"_s);
    EXPECT_EQ(Get(ini, "DIALOG", "key"), QString());
    EXPECT_EQ(Get(ini, "DIALOG", "other"), u"<missing>"_s);
    EXPECT_EQ(Get(ini, "MENU", "key"), u"<missing>"_s);
}

TEST(IniFile, MatchingQuotesAreRemoved) {
    const IniFile ini = IniFile::Parse(
        "[S]\n"
        "double=\"  spaced  \"\n"
        "single='x'\n"
        "mixed=\"x'\n"
        "inner=a \"b\" c\n"
        "lone=\"\n",
        kUtf8);
    EXPECT_EQ(Get(ini, "S", "double"), u"  spaced  "_s);
    EXPECT_EQ(Get(ini, "S", "single"), u"x"_s);
    EXPECT_EQ(Get(ini, "S", "mixed"), u"\"x'"_s);
    EXPECT_EQ(Get(ini, "S", "inner"), u"a \"b\" c"_s);
    EXPECT_EQ(Get(ini, "S", "lone"), u"\""_s);
}

TEST(IniFile, CommentsLinesWithoutValuesAndDuplicates) {
    const IniFile ini = IniFile::Parse(
        "; a comment=with an equals sign\n"
        "[S]\n"
        ";key=commented out\n"
        "just text\n"
        "key=first\n"
        "KEY=second\n"
        "=no name\n"
        "[s]\n"
        "late=in a second section of the same name\n"
        "[T]\r"
        "cr=old Mac line ends\r",
        kUtf8);
    EXPECT_EQ(Get(ini, "S", "key"), u"first"_s);
    EXPECT_EQ(Get(ini, "S", "late"), u"<missing>"_s);
    EXPECT_EQ(Get(ini, "T", "cr"), u"old Mac line ends"_s);
}

TEST(IniFile, KeysBeforeAnySectionBelongToNone) {
    const IniFile ini = IniFile::Parse("key=value\n[S]\n", kUtf8);
    EXPECT_EQ(Get(ini, "S", "key"), u"<missing>"_s);
}

TEST(IniFile, Utf16FilesAreRecognisedByTheirByteOrderMark) {
    const QString text = u"[STRING]\r\nIDS_LANGUAGE=日本語\r\n"_s;
    const IniFile little = IniFile::Parse(Utf16(text), kUtf8);
    EXPECT_TRUE(little.isUtf16());
    EXPECT_EQ(Get(little, "STRING", "IDS_LANGUAGE"), u"日本語"_s);
    const IniFile big = IniFile::Parse(Utf16(text, true), kUtf8);
    EXPECT_EQ(Get(big, "STRING", "IDS_LANGUAGE"), u"日本語"_s);
}

TEST(IniFile, ByteFilesUseTheCallersDecoderAndSkipAUtf8Mark) {
    const IniFile ini = IniFile::Parse("\xEF\xBB\xBF[S]\nk=\xC4\xF6\n", [](QByteArrayView bytes) {
        return DecodeCodePage(bytes, 1252);
    });
    EXPECT_FALSE(ini.isUtf16());
    EXPECT_EQ(Get(ini, "S", "k"), u"Äö"_s);
}

TEST(IniFile, LongValuesAreCutAndNulEndsAValue) {
    const QByteArray long3000(3000, 'x');
    const IniFile ini =
        IniFile::Parse("[S]\nlong=" + long3000 + "\nnul=ab" + QByteArray(1, '\0') + "cd\n", kUtf8);
    EXPECT_EQ(Get(ini, "S", "long").size(), IniFile::kMaxValueLength);
    EXPECT_EQ(Get(ini, "S", "nul"), u"ab"_s);

    // A character outside the basic plane is never cut in half.
    const QByteArray emoji = "\xF0\x9F\x98\x80";
    const IniFile pairs = IniFile::Parse("[S]\nk=" + QByteArray(2046, 'y') + emoji + "\n", kUtf8);
    const QString value = Get(pairs, "S", "k");
    EXPECT_EQ(value.size(), 2046);
    EXPECT_FALSE(value.back().isHighSurrogate());
}

TEST(IniFile, BadFilesReadAsEmptyOrPartlyWithoutCrashing) {
    EXPECT_EQ(Get(IniFile::Parse({}, kUtf8), "S", "k"), u"<missing>"_s);
    EXPECT_EQ(Get(IniFile::Read(u"/nonexistent/x.ini"_s, kUtf8), "S", "k"), u"<missing>"_s);

    QByteArray garbage;
    for (int i = 0; i < 1 << 16; ++i) garbage.append(static_cast<char>((i * 2654435761u) >> 24));
    const IniFile noise = IniFile::Parse(garbage, kUtf8);
    EXPECT_EQ(Get(noise, "STRING", "IDS_STRING108"), u"<missing>"_s);

    // Cut in the middle of a UTF-8 character: the line is kept, the stray byte marked.
    const QString cut = Get(IniFile::Parse("[S]\nk=ab\xE6\x97\nnext=line", kUtf8), "S", "k");
    ASSERT_GT(cut.size(), 2);
    EXPECT_TRUE(cut.startsWith(u"ab"_s));
    for (QChar c : cut.mid(2)) EXPECT_EQ(c, QChar(QChar::ReplacementCharacter));
    EXPECT_EQ(Get(IniFile::Parse("[S]\nk=ab\xE6\x97\nnext=line", kUtf8), "S", "next"), u"line"_s);

    // An odd number of bytes after a UTF-16 mark.
    const IniFile odd = IniFile::Parse(Utf16(u"[S]\nk=v\n"_s) + "\x41", kUtf8);
    EXPECT_EQ(Get(odd, "S", "k"), u"v"_s);
}

TEST(IniFile, ReadsATenMegabyteFile) {
    QByteArray big("[STRING]\nIDS_STRING108=found\n");
    const QByteArray line = "IDS_FILLER=" + QByteArray(90, 'z') + "\n";
    while (big.size() < 10 * 1024 * 1024) big += line;
    big += "[DIALOG]\nIDC_BUTTON_EXIT=" + QByteArray(100 * 1024, 'w') + "\n";
    const IniFile ini = IniFile::Parse(big, kUtf8);
    EXPECT_EQ(Get(ini, "STRING", "IDS_STRING108"), u"found"_s);
    EXPECT_EQ(Get(ini, "DIALOG", "IDC_BUTTON_EXIT").size(), IniFile::kMaxValueLength);
}

}  // namespace
