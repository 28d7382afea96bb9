#include <gtest/gtest.h>

#include <QSet>
#include <map>

#include "i18n/language_tables.h"
#include "test_support.h"

namespace {

TEST(LocaleTable, HoldsEveryLocaleWithThePublishedCodePages) {
    ASSERT_EQ(g_LocaleTable.size(), 273u);
    std::map<int, int> perCodePage;
    for (const auto& entry : g_LocaleTable) ++perCodePage[entry.codePage];
    const std::map<int, int> expected{{1252, 128}, {0, 43},   {1251, 27}, {1256, 23}, {1250, 21},
                                      {1254, 6},   {1257, 6}, {950, 4},   {936, 3},   {932, 2},
                                      {949, 2},    {874, 2},  {1253, 2},  {1255, 2},  {1258, 2}};
    EXPECT_EQ(perCodePage, expected);
    EXPECT_EQ(QString::fromUtf16(g_LocaleTable.front().name), u"Afrikaans"_s);
    EXPECT_EQ(QString::fromUtf16(g_LocaleTable.back().name), u"Yoruba_Nigeria"_s);
}

TEST(LocaleTable, TellingRowsMatch) {
    struct Row {
        const char16_t* name;
        uint16_t id;
        int codePage;
        const char16_t* abbreviation;
    };
    const Row rows[] = {
        {u"Afrikaans", 0x0036, 1252, u"AFK"},
        {u"Amharic_Ethiopia", 0x045E, 0, u"AMH"},
        {u"Arabic", 0x0001, 1256, u"ARA"},
        {u"Arabic_Saudi_Arabia", 0x0401, 1256, u"ARA"},
        {u"Chinese_Peoples_Republic_of_China", 0x0804, 936, u"CHS"},
        {u"Chinese_Simplified", 0x0004, 936, u"CHS"},
        {u"Chinese_Taiwan", 0x0404, 950, u"CHT"},
        {u"Chinese_Traditional", 0x7C04, 950, u"CHT"},
        {u"English", 0x0009, 1252, u"ENU"},
        {u"English_United_Kingdom", 0x0809, 1252, u"ENG"},
        {u"English_United_States", 0x0409, 1252, u"ENU"},
        {u"German", 0x0007, 1252, u"DEU"},
        {u"German_Germany", 0x0407, 1252, u"DEU"},
        {u"Japanese", 0x0011, 932, u"JPN"},
        {u"Korean", 0x0012, 949, u"KOR"},
        {u"Mongolian_Traditional_Mongolian_PRC", 0x0850, 0, u"MNG"},
        {u"Russian", 0x0019, 1251, u"RUS"},
        {u"Serbian", 0x7C1A, 1251, u"SRB"},
        {u"Thai", 0x001E, 874, u"THA"},
        {u"Yoruba_Nigeria", 0x046A, 1252, u"YOR"},
    };
    for (const Row& row : rows) {
        const auto it = std::find_if(
            g_LocaleTable.begin(), g_LocaleTable.end(),
            [&](const LocaleEntry& e) { return QStringView(e.name) == QStringView(row.name); });
        ASSERT_NE(it, g_LocaleTable.end()) << QString::fromUtf16(row.name).toStdString();
        EXPECT_EQ(it->languageId, row.id) << QString::fromUtf16(row.name).toStdString();
        EXPECT_EQ(it->codePage, row.codePage) << QString::fromUtf16(row.name).toStdString();
        EXPECT_EQ(QStringView(it->abbreviation), QStringView(row.abbreviation));
    }
}

TEST(LocaleTable, RowsAreWellFormed) {
    QSet<QString> names;
    for (const auto& entry : g_LocaleTable) {
        const QString name = QString::fromUtf16(entry.name);
        const QString abbreviation = QString::fromUtf16(entry.abbreviation);
        EXPECT_FALSE(names.contains(name)) << name.toStdString();
        names.insert(name);
        EXPECT_LE(name.size(), 63);
        EXPECT_EQ(abbreviation.size(), 3) << name.toStdString();
        EXPECT_EQ(abbreviation, abbreviation.toUpper()) << name.toStdString();
    }
}

TEST(LanguageKeys, IdsAreUniqueWithinEachSection) {
    std::map<QString, QSet<int>> idsPerSection;
    for (const auto& key : g_LanguageKeys) {
        const QString name = QString::fromUtf16(key.key);
        const QString section =
            (name.left(3) == u"IDM" || name.left(3) == u"IDR") ? u"MENU"_s : u"DIALOG"_s;
        EXPECT_FALSE(idsPerSection[section].contains(key.id)) << name.toStdString();
        idsPerSection[section].insert(key.id);
    }
    EXPECT_EQ(idsPerSection[u"DIALOG"_s].size(), 21);
    EXPECT_EQ(idsPerSection[u"MENU"_s].size(), 12);
}

}  // namespace
