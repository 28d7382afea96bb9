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
    EXPECT_EQ(idsPerSection[u"MENU"_s].size(), 14);
}

}  // namespace
