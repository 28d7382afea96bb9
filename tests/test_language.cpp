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
    QStringLiteral("Your language file name may be not proper,\n please read the help file!");

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
    settings::Store store{temp.file(QStringLiteral("store.conf"))};
    Language language;

    LanguageTest() {
        language.SetStore(&store);
        language.SetWarningHandler(ShownOn(platform));
    }
    ~LanguageTest() override { std::setlocale(LC_ALL, ""); }

    void install(const QString& name, const QByteArray& content) {
        temp.write(QStringLiteral("language/") + name + QStringLiteral(".ini"), content);
    }
    void initialize(const QString& name) { language.Initialize(temp.path(), name); }
};

TEST_F(LanguageTest, ListsLanguageFilesInOrdinalOrder) {
    install(QStringLiteral("deu"), "");
    install(QStringLiteral("English_United_States"), "");
    install(QStringLiteral("Zulu"), "");
    temp.write(QStringLiteral("language/readme.txt"));
    temp.mkdir(QStringLiteral("language/folder.ini"));
    initialize(QStringLiteral("english"));
    ASSERT_EQ(language.GetLanguageCount(), 3);
    EXPECT_EQ(language.GetLanguageName(0), QStringLiteral("English_United_States"));
    EXPECT_EQ(language.GetLanguageName(1), QStringLiteral("Zulu"));
    EXPECT_EQ(language.GetLanguageName(2), QStringLiteral("deu"));
    EXPECT_EQ(language.GetLanguageName(3), QString());
    EXPECT_EQ(language.GetLanguageName(-1), QString());
}

TEST_F(LanguageTest, WithoutALanguageFolderEverythingIsBuiltIn) {
    initialize(QStringLiteral("german"));
    EXPECT_EQ(language.GetLanguageCount(), 0);
    EXPECT_EQ(language.GetCurrentLanguage(), QStringLiteral("english"));
    EXPECT_EQ(language.GetString(res::Text::OpenPhotoFirst),
              QStringLiteral("Please open a photo file first!"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_EXIT), QString());
    EXPECT_EQ(language.GetMenuText(res::IDM_ABOUT), QString());
    EXPECT_EQ(language.GetMenuText(res::IDR_MENU_LANGUAGE_POPUP), QStringLiteral("PopupMenu1"));
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
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), QStringLiteral("Oops"));
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
    install(QStringLiteral("Klingon"), "[DIALOG]\nIDC_BUTTON_EXIT=Qapla\xE2\x80\x99\n");
    initialize(QStringLiteral("Klingon"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_EXIT), QStringLiteral("Qapla’"));
}

TEST_F(LanguageTest, AnUnrecognisedNameKeepsThePreviousLocale) {
    install(QStringLiteral("Russian"), "");
    install(QStringLiteral("Klingon"), "");
    initialize(QStringLiteral("Russian"));
    EXPECT_EQ(language.GetCodePage(), 1251);
    language.SelectLanguage(QStringLiteral("Klingon"));
    EXPECT_EQ(language.GetLanguageId(), 0x0019);
    EXPECT_EQ(language.GetCodePage(), 1251);
}

TEST_F(LanguageTest, AnsiFilesDecodeWithTheLanguagesCodePage) {
    install(QStringLiteral("Russian"), "[STRING]\nIDS_MESSAGE_ERROR=\xCE\xF8\xE8\xE1\xEA\xE0\n");
    install(QStringLiteral("Japanese"), "[STRING]\nIDS_MESSAGE_ERROR=\x95\x5Cn\\n\n");
    initialize(QStringLiteral("Russian"));
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), QStringLiteral("Ошибка"));
    language.SelectLanguage(QStringLiteral("Japanese"));
    // The backslash inside the double-byte character is no escape; the real one is.
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), QStringLiteral("表n\n"));
}

TEST_F(LanguageTest, TheRequestedNameIsFoundWithoutRegardToCase) {
    install(QStringLiteral("German"), "[DIALOG]\nIDC_BUTTON_EXIT=Beenden\n");
    initialize(QStringLiteral("GERMAN"));
    EXPECT_EQ(language.GetCurrentLanguage(), QStringLiteral("GERMAN"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_EXIT), QStringLiteral("Beenden"));
}

TEST_F(LanguageTest, ANameThatIsNotInstalledCountsAsEnglish) {
    install(QStringLiteral("German"), "");
    initialize(QStringLiteral("French"));
    EXPECT_EQ(language.GetCurrentLanguage(), QStringLiteral("english"));
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), QStringLiteral("Error"));
}

TEST_F(LanguageTest, EmptyAndMissingValuesFallBack) {
    install(QStringLiteral("German"),
            "[STRING]\nIDS_MESSAGE_ERROR=\nIDS_MESSAGE_WARNING=Warnung\n[MENU]\nIDR_MENU_LANGUAGE_"
            "POPUP=Mine\n");
    initialize(QStringLiteral("German"));
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption), QStringLiteral("Error"));
    EXPECT_EQ(language.GetString(res::Text::WarningCaption), QStringLiteral("Warnung"));
    EXPECT_EQ(language.GetString(res::Text::UnknownAngle), QStringLiteral("Unknown rotate angle!"));
    EXPECT_EQ(language.GetMenuText(res::IDR_MENU_LANGUAGE_POPUP), QStringLiteral("PopupMenu1"));
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
    initialize(QStringLiteral("Empty"));
    for (const auto& [name, content] : files) {
        language.SelectLanguage(QString::fromLatin1(name));
        EXPECT_FALSE(language.GetString(res::Text::WarningCaption).isEmpty()) << name;
    }
    language.SelectLanguage(QStringLiteral("Huge_utf-8"));
    EXPECT_EQ(language.GetString(res::Text::OpenPhotoFirst).size(), 2047);
    language.SelectLanguage(QStringLiteral("Cut_utf-8"));
    EXPECT_EQ(language.GetString(res::Text::ErrorCaption),
              QStringLiteral("Fehl") + QChar(QChar::ReplacementCharacter));
    // A pipe or a device under a language's name reads as no file, without
    // waiting or filling the memory; a name outside the folder is none at all.
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(temp.file(QStringLiteral("language/Pipe.ini"))).constData(),
                 0600),
        0);
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/dev/zero"), temp.file(QStringLiteral("language/Zero.ini"))));
    temp.write(QStringLiteral("outside.ini"), "[STRING]\nIDS_STRING108=from outside\n");
    for (const char* name : {"Pipe", "Zero", "../outside"}) {
        language.SelectLanguage(QString::fromLatin1(name));
        EXPECT_EQ(language.GetString(res::Text::OpenPhotoFirst),
                  QStringLiteral("Please open a photo file first!"))
            << name;
    }
}

TEST_F(LanguageTest, TheInterfaceFontIsKeptPerLanguage) {
    install(QStringLiteral("German"), "");
    install(QStringLiteral("Russian_utf-8"), "");
    store.WriteProfileString(QStringLiteral("German"), QStringLiteral("lfFaceName"),
                             QString(40, u'D'));
    store.WriteProfileInt(QStringLiteral("German"), QStringLiteral("lfHeight"), -17);
    initialize(QStringLiteral("German"));
    ASSERT_TRUE(language.GetUIFont().has_value());
    EXPECT_EQ(language.GetUIFont()->family(), QString(31, u'D'));
    EXPECT_EQ(language.GetUIFont()->pixelSize(), 17);

    language.SelectLanguage(QStringLiteral("Russian_utf-8"));
    EXPECT_EQ(language.GetUIFont()->family(), QStringLiteral("Microsoft Sans Serif"));
    EXPECT_EQ(language.GetUIFont()->pixelSize(), 11);

    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPixelSize(15);
    language.SetUIFont(chosen);
    EXPECT_EQ(language.GetUIFont()->family(), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(
        store.GetProfileString(QStringLiteral("Russian_utf-8"), QStringLiteral("lfFaceName"), {}),
        QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(store.GetProfileInt(QStringLiteral("Russian_utf-8"), QStringLiteral("lfHeight"), 0),
              -15);
    EXPECT_EQ(store.GetProfileInt(QStringLiteral("German"), QStringLiteral("lfHeight"), 0), -17);
    // A height no one could read the window with gives the designed one.
    for (const int32_t height : {INT32_MAX, INT32_MIN + 1, -1, 2}) {
        store.WriteProfileInt(QStringLiteral("German"), QStringLiteral("lfHeight"), height);
        language.SelectLanguage(QStringLiteral("German"));
        EXPECT_EQ(language.GetUIFont()->pixelSize(), 11) << height;
    }

    language.SelectLanguage(QStringLiteral("German"));
    language.SelectLanguage(QStringLiteral("Russian_utf-8"));
    EXPECT_EQ(language.GetUIFont()->family(), QStringLiteral("DejaVu Serif"));
}

TEST_F(LanguageTest, SwitchingSetsTheRuntimeAndQtLocale) {
    install(QStringLiteral("German"), "");
    install(QStringLiteral("Japanese_unicode"), "");
    initialize(QStringLiteral("German"));
    EXPECT_EQ(QLocale().language(), QLocale::German);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    language.SelectLanguage(QStringLiteral("Japanese_unicode"));
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST_F(LanguageTest, TopLevelCaptionsAreCommaSeparated) {
    // The popup resource's list is fixed, so a one-piece list covers every position.
    initialize(QStringLiteral("english"));
    EXPECT_EQ(language.GetTopLevelCaption(res::IDR_MENU_LANGUAGE_POPUP, 0),
              QStringLiteral("PopupMenu1"));
    EXPECT_EQ(language.GetTopLevelCaption(res::IDR_MENU_LANGUAGE_POPUP, 1),
              QStringLiteral("PopupMenu1"));
    EXPECT_EQ(language.GetTopLevelCaption(res::IDM_ABOUT, 0), QString());
}

TEST(LanguageText, EscapesExpand) {
    EXPECT_EQ(ExpandEscapes(QStringLiteral("a\\tb\\nc\\rd")), QStringLiteral("a\tb\nc\rd"));
    EXPECT_EQ(ExpandEscapes(QStringLiteral("\\\\n")), QStringLiteral("\\\n"));
    EXPECT_EQ(ExpandEscapes(QStringLiteral("C:\\x\\y")), QStringLiteral("C:\\x\\y"));
    EXPECT_EQ(ExpandEscapes(QStringLiteral("end\\")), QStringLiteral("end\\"));
}

TEST(LanguageText, MessagesFillTheirPlaceholdersInOrder) {
    EXPECT_EQ(FormatMessage(QStringLiteral("%s exists. Replace?"), {QStringLiteral("/a/b.tif")}),
              QStringLiteral("/a/b.tif exists. Replace?"));
    EXPECT_EQ(FormatMessage(QStringLiteral("from 0 to %d"), {QStringLiteral("4")}),
              QStringLiteral("from 0 to 4"));
    EXPECT_EQ(FormatMessage(QStringLiteral("%s %d * %d"),
                            {QStringLiteral("a.jpg"), QStringLiteral("3"), QStringLiteral("2")}),
              QStringLiteral("a.jpg 3 * 2"));
    EXPECT_EQ(FormatMessage(QStringLiteral("100%% %s %s"), {QStringLiteral("x")}),
              QStringLiteral("100% x %s"));
    EXPECT_EQ(FormatMessage(QStringLiteral("%x%"), {}), QStringLiteral("%x%"));
}

/// The language files shipped with the program.
class ShippedLanguages : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguages, AreCompleteAndDecodeCleanly) {
    TempFolder temp;
    settings::Store store(temp.file(QStringLiteral("s.conf")));
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
    EXPECT_TRUE(language.GetString(res::Text::ReplaceQuestion).contains(QStringLiteral("%s")));
    EXPECT_TRUE(language.GetString(res::Text::FrameRange).contains(QStringLiteral("%d")));
    std::setlocale(LC_ALL, "");
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguages,
                         ::testing::Values("English", "German", "Russian_utf-8", "Japanese_unicode",
                                           "Chinese_Simplified"));

TEST(ShippedLanguageTexts, EachEncodingDecodesToItsScript) {
    TempFolder temp;
    settings::Store store(temp.file(QStringLiteral("s.conf")));
    Language language;
    language.SetStore(&store);
    const QString base = QStringLiteral(TESSIVA_SOURCE_DIR);
    language.Initialize(base, QStringLiteral("German"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), QStringLiteral("Foto öffnen"));
    EXPECT_EQ(language.GetCodePage(), 1252);
    language.SelectLanguage(QStringLiteral("Russian_utf-8"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), QStringLiteral("Открыть фото"));
    language.SelectLanguage(QStringLiteral("Japanese_unicode"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), QStringLiteral("写真を開く"));
    language.SelectLanguage(QStringLiteral("Chinese_Simplified"));
    EXPECT_EQ(language.GetDialogText(res::IDC_BUTTON_OPEN_PHOTO), QStringLiteral("打开照片"));
    EXPECT_EQ(language.GetCodePage(), 936);
    EXPECT_EQ(language.GetLanguageId(), 0x0004);
    std::setlocale(LC_ALL, "");
}

}  // namespace
