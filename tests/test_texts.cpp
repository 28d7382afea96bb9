#include <gtest/gtest.h>

#include <QSet>

#include "i18n/language.h"
#include "resources/texts.h"
#include "test_support.h"

namespace {

TEST(Texts, EveryNameHasItsEnglishAndItsOwnKey) {
    for (int i = 0; i < res::kTextCount; ++i)
        EXPECT_FALSE(res::EnglishText(res::Text(i)).isEmpty()) << i;
    QSet<QString> keys;
    for (const res::TextEntry& entry : res::Texts()) {
        if (!entry.fileKey) continue;
        const QString key = QString::fromUtf16(entry.fileKey);
        EXPECT_FALSE(keys.contains(key)) << key.toStdString();
        keys.insert(key);
    }
}

TEST(LanguageManager, MessagesComeFromTheBuiltInTableWithoutALanguageFile) {
    Language language;
    EXPECT_EQ(language.GetCurrentLanguage(), u"english"_s);
    EXPECT_EQ(language.GetString(res::Text::HeightInvalid), u"The output hight is invalid!"_s);
}

}  // namespace
