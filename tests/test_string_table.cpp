#include <gtest/gtest.h>

#include "i18n/language.h"
#include "resources/resource.h"
#include "resources/string_table.h"
#include "test_support.h"

namespace {

TEST(StringTable, HoldsEveryBuiltInMessageAndNothingElse) {
    const int present[] = {101, 102, 105, 108, 109, 111, 112, 113, 114, 115, 116, 117,
                           118, 119, 120, 121, 122, 123, 124, 126, 127, 128, 129, 130,
                           131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141};
    for (int id : present) EXPECT_FALSE(res::LoadBuiltinString(id).isEmpty()) << id;
    for (int id : {0, 1, 100, 103, 104, 106, 107, 110, 125, 142, 1001})
        EXPECT_TRUE(res::LoadBuiltinString(id).isEmpty()) << id;
}

TEST(StringTable, KeepsTheProgramsOwnWording) {
    EXPECT_EQ(res::LoadBuiltinString(res::IDS_STRING112),
              QStringLiteral("The output hight is invalid!"));
    EXPECT_EQ(res::LoadBuiltinString(res::IDS_STRING120),
              QStringLiteral("%s exists. Do you want to replace it?"));
    EXPECT_EQ(res::LoadBuiltinString(res::IDS_ABOUTBOX), QStringLiteral("&About Tessiva"));
}

TEST(LanguageManager, MessagesComeFromTheBuiltInTableWithoutALanguageFile) {
    Language language;
    EXPECT_EQ(language.GetCurrentLanguage(), QStringLiteral("english"));
    EXPECT_EQ(language.GetString(res::IDS_STRING113), QStringLiteral("Failed to SetResolution!"));
    EXPECT_EQ(language.GetString(res::IDS_MESSAGE_ERROR), QStringLiteral("Error"));
    EXPECT_EQ(language.GetString(125), QString());
}

}  // namespace
