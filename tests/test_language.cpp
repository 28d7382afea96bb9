#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>

#include <QFile>
#include <clocale>

#include "i18n/language.h"
#include "resources/resource.h"
#include "settings/store.h"
#include "test_support.h"

namespace {

const QString kWarning =
    u"Your language file name may be not proper,\n please read the help file!"_s;

/// A warning as the language handed it on.
struct Warning {
    QString text;
    QString caption;
};
struct Warnings {
    std::vector<Warning> messages;
};

/// A warning handler that keeps the warnings in @p platform.
Language::WarningHandler ShownOn(Warnings& platform) {
    return [&platform](const QString& text, const QString& caption) {
        platform.messages.push_back({text, caption});
    };
}

/// A language manager over a temporary program folder and settings store.
class LanguageTest : public ::testing::Test {
protected:
    TempFolder temp;
    Warnings platform;
    settings::Store store{temp.file(u"store.conf"_s)};
    Language language;

    LanguageTest() {
        language.SetStore(&store);
        language.SetWarningHandler(ShownOn(platform));
    }
    ~LanguageTest() override { std::setlocale(LC_ALL, ""); }

    void install(const QString& name, const QByteArray& content) {
        temp.write(u"language/"_s + name + u".ini"_s, content);
    }
    void initialize(const QString& name) { language.Initialize(temp.path(), name); }
};

TEST_F(LanguageTest, ListsLanguageFilesInOrdinalOrder) {
    install(u"deu"_s, "");
    install(u"English_United_States"_s, "");
    install(u"Zulu"_s, "");
    temp.write(u"language/readme.txt"_s);
    temp.mkdir(u"language/folder.ini"_s);
    initialize(u"english"_s);
    ASSERT_EQ(language.GetLanguageCount(), 3);
    EXPECT_EQ(language.GetLanguageName(0), u"English_United_States"_s);
    EXPECT_EQ(language.GetLanguageName(1), u"Zulu"_s);
    EXPECT_EQ(language.GetLanguageName(2), u"deu"_s);
    EXPECT_EQ(language.GetLanguageName(3), QString());
    EXPECT_EQ(language.GetLanguageName(-1), QString());
}

TEST_F(LanguageTest, WithoutALanguageFolderEverythingIsBuiltIn) {
    initialize(u"german"_s);
    EXPECT_EQ(language.GetLanguageCount(), 0);
    EXPECT_EQ(language.GetCurrentLanguage(), u"english"_s);
    EXPECT_EQ(language.GetString(res::Text::OpenPhotoFirst), u"Please open a photo file first!"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_EXIT), QString());
    EXPECT_EQ(language.GetMenuText(res::IDM_ABOUT), QString());
    EXPECT_EQ(language.GetMenuText(res::IDR_MENU_LANGUAGE_POPUP), u"PopupMenu1"_s);
}

struct NameCase {
    const char* file;
    LanguageEncoding encoding;
    uint16_t languageId;
    int codePage;
    const char* warningCaption;  // nullptr: no warning
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.file;
}

class LanguageNames : public LanguageTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(LanguageNames, NameTellsEncodingAndLocale) {
    const NameCase& c = GetParam();
    const QString name = QString::fromLatin1(c.file);
    install(name, "[STRING]\nIDS_MESSAGE_ERROR=Oops\n");
    initialize(name);
    EXPECT_EQ(language.GetEncoding(), c.encoding);
    EXPECT_EQ(language.GetLanguageId(), c.languageId);
    EXPECT_EQ(language.GetCodePage(), c.codePage);
    EXPECT_EQ(language.GetCurrentLanguage(), name);
    if (c.warningCaption) {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, kWarning);
        EXPECT_EQ(platform.messages[0].caption, QString::fromLatin1(c.warningCaption));
    } else {
        EXPECT_TRUE(platform.messages.empty());
    }
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), u"Oops"_s);
}

INSTANTIATE_TEST_SUITE_P(
    FileNames, LanguageNames,
    ::testing::Values(NameCase{"German_Germany_unicode", ENCODING_UTF16, 0x0407, 1252, nullptr},
                      NameCase{"russian_utf-8", ENCODING_UTF8, 0x0019, 65001, nullptr},
                      NameCase{"DEU", ENCODING_ANSI, 0x0007, 1252, nullptr},
                      NameCase{"English_UTF-8", ENCODING_UTF8, 0x0409, 65001, nullptr},
                      NameCase{"chs", ENCODING_ANSI, 0x0804, 936, nullptr},
                      NameCase{"cht", ENCODING_ANSI, 0x0404, 950, nullptr},
                      NameCase{"ara", ENCODING_ANSI, 0x0001, 1256, nullptr},
                      NameCase{"enu", ENCODING_ANSI, 0x0009, 1252, nullptr},
                      NameCase{"Thai", ENCODING_ANSI, 0x001E, 874, nullptr},
                      // Unrecognised: identifier and code page keep their first values.
                      NameCase{"Klingon", ENCODING_ANSI, 0x0409, 1252, "klingon"},
                      NameCase{"german_utf-8_old", ENCODING_UTF8, 0x0409, 1252, "german_utf"},
                      NameCase{"x_unicode_utf-8", ENCODING_UTF8, 0x0409, 1252, "x_unicode"}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
        std::string name = info.param.file;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST_F(LanguageTest, AnUnrecognisedNameLoadsItsTextsAsUtf8) {
    install(u"Klingon"_s, "[DIALOG]\nIDC_BUTTON_EXIT=Qapla\xE2\x80\x99\n");
    initialize(u"Klingon"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_EXIT), u"Qapla’"_s);
}

TEST_F(LanguageTest, AnUnrecognisedNameKeepsThePreviousLocale) {
    install(u"Russian"_s, "");
    install(u"Klingon"_s, "");
    initialize(u"Russian"_s);
    EXPECT_EQ(language.GetCodePage(), 1251);
    language.SelectLanguage(u"Klingon"_s);
    EXPECT_EQ(language.GetLanguageId(), 0x0019);
    EXPECT_EQ(language.GetCodePage(), 1251);
}

TEST_F(LanguageTest, AnsiFilesDecodeWithTheLanguagesCodePage) {
    install(u"Russian"_s, "[STRING]\nIDS_MESSAGE_ERROR=\xCE\xF8\xE8\xE1\xEA\xE0\n");
    install(u"Japanese"_s, "[STRING]\nIDS_MESSAGE_ERROR=\x95\x5Cn\\n\n");
    initialize(u"Russian"_s);
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), u"Ошибка"_s);
    language.SelectLanguage(u"Japanese"_s);
    // The backslash inside the double-byte character is no escape; the real one is.
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), u"表n\n"_s);
}

TEST_F(LanguageTest, TheRequestedNameIsFoundWithoutRegardToCase) {
    install(u"German"_s, "[DIALOG]\nIDC_BUTTON_EXIT=Beenden\n");
    initialize(u"GERMAN"_s);
    EXPECT_EQ(language.GetCurrentLanguage(), u"GERMAN"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_EXIT), u"Beenden"_s);
}

TEST_F(LanguageTest, ANameThatIsNotInstalledCountsAsEnglish) {
    install(u"German"_s, "");
    initialize(u"French"_s);
    EXPECT_EQ(language.GetCurrentLanguage(), u"english"_s);
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), u"Error"_s);
}

TEST_F(LanguageTest, EmptyAndMissingValuesFallBack) {
    install(u"German"_s,
            "[STRING]\nIDS_MESSAGE_ERROR=\nIDS_MESSAGE_WARNING=Warnung\n[MENU]\nIDR_MENU_LANGUAGE_"
            "POPUP=Mine\n");
    initialize(u"German"_s);
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), u"Error"_s);
    EXPECT_EQ(language.GetString(res::Text::WarningCaption), u"Warnung"_s);
    EXPECT_EQ(language.GetString(res::Text::UnknownAngle), u"Unknown rotate angle!"_s);
    EXPECT_EQ(language.GetMenuText(res::IDR_MENU_LANGUAGE_POPUP), u"PopupMenu1"_s);
    EXPECT_EQ(language.GetMenuText(res::IDM_ABOUT), QString());
}

TEST_F(LanguageTest, UnusableFilesLoadAndFallBackToBuiltInTexts) {
    QByteArray garbage;
    for (int i = 0; i < 200000; ++i) garbage.append(static_cast<char>((i * 40503u) >> 7));
    QByteArray huge("[STRING]\r\n");
    while (huge.size() < 10 * 1024 * 1024) huge += "IDS_FILLER=" + QByteArray(200, 'q') + "\r\n";
    huge += "IDS_STRING108=" + QByteArray(100 * 1024, 'v') + "\r\n";
    const std::pair<const char*, QByteArray> files[] = {
        {"Empty", {}},
        {"Garbage", garbage},
        {"Huge_utf-8", huge},
        {"Cut_utf-8", "[STRING]\nIDS_MESSAGE_ERROR=Fehl\xC3"},
        {"Cut_unicode", QByteArray("\xFF\xFE[\0S\0", 6)},
    };
    for (const auto& [name, content] : files) install(QString::fromLatin1(name), content);
    initialize(u"Empty"_s);
    for (const auto& [name, content] : files) {
        language.SelectLanguage(QString::fromLatin1(name));
        EXPECT_FALSE(language.GetString(res::Text::WarningCaption).isEmpty()) << name;
    }
    language.SelectLanguage(u"Huge_utf-8"_s);
    EXPECT_EQ(language.GetString(res::Text::OpenPhotoFirst).size(), 2047);
    language.SelectLanguage(u"Cut_utf-8"_s);
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption),
              u"Fehl"_s + QChar(QChar::ReplacementCharacter));
    // A pipe or a device under a language's name reads as no file, without
    // waiting or filling the memory; a name outside the folder is none at all.
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.file(u"language/Pipe.ini"_s)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, temp.file(u"language/Zero.ini"_s)));
    temp.write(u"outside.ini"_s, "[STRING]\nIDS_STRING108=from outside\n");
    for (const char* name : {"Pipe", "Zero", "../outside"}) {
        language.SelectLanguage(QString::fromLatin1(name));
        EXPECT_EQ(language.GetString(res::Text::OpenPhotoFirst),
                  u"Please open a photo file first!"_s)
            << name;
    }
}

TEST_F(LanguageTest, TheInterfaceFontIsKeptPerLanguage) {
    install(u"German"_s, "");
    install(u"Russian_utf-8"_s, "");
    store.WriteProfileString(u"German"_s, u"lfFaceName"_s, QString(40, u'D'));
    store.WriteProfileInt(u"German"_s, u"lfHeight"_s, -17);
    initialize(u"German"_s);
    ASSERT_TRUE(language.GetUIFont().has_value());
    EXPECT_EQ(language.GetUIFont()->family(), QString(31, u'D'));
    EXPECT_EQ(language.GetUIFont()->pixelSize(), 17);

    language.SelectLanguage(u"Russian_utf-8"_s);
    EXPECT_EQ(language.GetUIFont()->family(), u"Microsoft Sans Serif"_s);
    EXPECT_EQ(language.GetUIFont()->pixelSize(), 11);

    QFont chosen(u"DejaVu Serif"_s);
    chosen.setPixelSize(15);
    language.SetUIFont(chosen);
    EXPECT_EQ(language.GetUIFont()->family(), u"DejaVu Serif"_s);
    EXPECT_EQ(store.GetProfileString(u"Russian_utf-8"_s, u"lfFaceName"_s, {}), u"DejaVu Serif"_s);
    EXPECT_EQ(store.GetProfileInt(u"Russian_utf-8"_s, u"lfHeight"_s, 0), -15);
    EXPECT_EQ(store.GetProfileInt(u"German"_s, u"lfHeight"_s, 0), -17);
    // A height no one could read the window with gives the designed one.
    for (const int32_t height : {INT32_MAX, INT32_MIN + 1, -1, 2}) {
        store.WriteProfileInt(u"German"_s, u"lfHeight"_s, height);
        language.SelectLanguage(u"German"_s);
        EXPECT_EQ(language.GetUIFont()->pixelSize(), 11) << height;
    }

    language.SelectLanguage(u"German"_s);
    language.SelectLanguage(u"Russian_utf-8"_s);
    EXPECT_EQ(language.GetUIFont()->family(), u"DejaVu Serif"_s);
}

TEST_F(LanguageTest, SwitchingSetsTheRuntimeAndQtLocale) {
    install(u"German"_s, "");
    install(u"Japanese_unicode"_s, "");
    initialize(u"German"_s);
    EXPECT_EQ(QLocale().language(), QLocale::German);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    language.SelectLanguage(u"Japanese_unicode"_s);
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST_F(LanguageTest, TopLevelCaptionsAreCommaSeparated) {
    // The popup resource's list is fixed, so a one-piece list covers every position.
    initialize(u"english"_s);
    EXPECT_EQ(language.GetTopLevelCaption(res::IDR_MENU_LANGUAGE_POPUP, 0), u"PopupMenu1"_s);
    EXPECT_EQ(language.GetTopLevelCaption(res::IDR_MENU_LANGUAGE_POPUP, 1), u"PopupMenu1"_s);
    EXPECT_EQ(language.GetTopLevelCaption(res::IDM_ABOUT, 0), QString());
}

TEST(LanguageText, EscapesExpand) {
    EXPECT_EQ(ExpandEscapes(u"a\\tb\\nc\\rd"_s), u"a\tb\nc\rd"_s);
    EXPECT_EQ(ExpandEscapes(u"\\\\n"_s), u"\\\n"_s);
    EXPECT_EQ(ExpandEscapes(u"C:\\x\\y"_s), u"C:\\x\\y"_s);
    EXPECT_EQ(ExpandEscapes(u"end\\"_s), u"end\\"_s);
}

TEST(LanguageText, MessagesFillTheirPlaceholdersInOrder) {
    EXPECT_EQ(FormatMessage(u"%s exists. Replace?"_s, {u"/a/b.tif"_s}),
              u"/a/b.tif exists. Replace?"_s);
    EXPECT_EQ(FormatMessage(u"from 0 to %d"_s, {u"4"_s}), u"from 0 to 4"_s);
    EXPECT_EQ(FormatMessage(u"%s %d * %d"_s, {u"a.jpg"_s, u"3"_s, u"2"_s}), u"a.jpg 3 * 2"_s);
    EXPECT_EQ(FormatMessage(u"100%% %s %s"_s, {u"x"_s}), u"100% x %s"_s);
    EXPECT_EQ(FormatMessage(u"%x%"_s, {}), u"%x%"_s);
}

/// The language files shipped with the program.
class ShippedLanguages : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguages, AreCompleteAndDecodeCleanly) {
    TempFolder temp;
    settings::Store store(temp.file(u"s.conf"_s));
    Warnings platform;
    Language language;
    language.SetStore(&store);
    language.SetWarningHandler(ShownOn(platform));
    language.Initialize(QStringLiteral(TESSIVA_SOURCE_DIR), QString::fromLatin1(GetParam()));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(language.GetCurrentLanguage(), QString::fromLatin1(GetParam()));
    const int dialogIds[] = {1001, 1007, 102,  1008, 1010, 1011, 1012, 1017, 1022, 1023, 1024,
                             1025, 1004, 1000, 1033, 1034, 1037, 1038, 1046, 1047, 1042};
    const auto clean = [](const QString& text) {
        return !text.isEmpty() && !text.contains(QChar(QChar::ReplacementCharacter));
    };
    for (int id : dialogIds) EXPECT_TRUE(clean(language.GetDialogText(id))) << id;
    for (int id : {32771, 8454144, 32772}) EXPECT_TRUE(clean(language.GetMenuText(id))) << id;
    for (const res::TextEntry& entry : res::Texts())
        EXPECT_TRUE(clean(language.GetString(entry.text))) << entry.english;
    EXPECT_TRUE(language.GetString(res::Text::ReplaceQuestion).contains(u"%s"_s));
    EXPECT_TRUE(language.GetString(res::Text::FrameRange).contains(u"%d"_s));
    std::setlocale(LC_ALL, "");
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguages,
                         ::testing::Values("English", "German", "Russian_utf-8", "Japanese_unicode",
                                           "Chinese_Simplified"));

TEST(ShippedLanguageTexts, EachEncodingDecodesToItsScript) {
    TempFolder temp;
    settings::Store store(temp.file(u"s.conf"_s));
    Language language;
    language.SetStore(&store);
    const QString base = QStringLiteral(TESSIVA_SOURCE_DIR);
    language.Initialize(base, u"German"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), u"Foto öffnen"_s);
    EXPECT_EQ(language.GetCodePage(), 1252);
    language.SelectLanguage(u"Russian_utf-8"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), u"Открыть фото"_s);
    language.SelectLanguage(u"Japanese_unicode"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), u"写真を開く"_s);
    language.SelectLanguage(u"Chinese_Simplified"_s);
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), u"打开照片"_s);
    EXPECT_EQ(language.GetCodePage(), 936);
    EXPECT_EQ(language.GetLanguageId(), 0x0004);
    std::setlocale(LC_ALL, "");
}

}  // namespace
