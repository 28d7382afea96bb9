#include <gtest/gtest.h>

#include <climits>

#include "frontend/size_rules.h"
#include "imaging/text_position.h"
#include "test_support.h"

namespace {

using namespace imaging;

TEST(IntegerRule, ReadsLeadingDigitsLikeTheDialog) {
    const std::pair<const char*, int32_t> cases[] = {
        {"640", 640},
        {"  640px", 640},
        {"\t+12", 12},
        {"-5", -5},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"- 5", 0},
        {"0x10", 0},
        {"007", 7},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX},
        {"1 2", 1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseIntField(QString::fromLatin1(text), kSizeFieldBuffer), expected) << text;
}

TEST(IntegerRule, SeesOnlyWhatFitsItsBuffer) {
    // 63 blanks fill a position field's buffer: the digits after them are not seen.
    EXPECT_EQ(ParseIntField(QString(63, u' ') + u"5"_s, kPositionFieldBuffer), 0);
    EXPECT_EQ(ParseIntField(QString(62, u' ') + u"57"_s, kPositionFieldBuffer), 5);
    EXPECT_EQ(ParseIntField(QString(254, u' ') + u"93"_s, kSizeFieldBuffer), 9);
}

TEST(Calculator, QuotientFirstThenTruncatedProduct) {
    EXPECT_EQ(ProportionalSide(3000, 2000, 1000), 666);
    EXPECT_EQ(ProportionalSide(1024, 768, 800), 600);
    EXPECT_EQ(ProportionalSide(768, 1024, 600), 800);
    EXPECT_EQ(ProportionalSide(300, 1300, 27), 116);  // 4.333... * 27 = 116.99999999999999
    EXPECT_EQ(ProportionalSide(800, 600, -100), -75);
    EXPECT_EQ(ProportionalSide(800, 600, 0), 0);
    EXPECT_EQ(ProportionalSide(800, 600, 640), 480);
    EXPECT_EQ(ProportionalSide(30000, 1500, 19), 1);  // 0.95 of a pixel: a sliver, not nothing
}

TEST(Calculator, ExtremesAreClampedAndUnknownSidesGiveNothing) {
    EXPECT_EQ(ProportionalSide(1, 100000, INT_MAX), INT_MAX);
    EXPECT_EQ(ProportionalSide(1, 100000, INT_MIN), INT_MIN);
    EXPECT_EQ(ProportionalSide(0, 600, 100), std::nullopt);
    EXPECT_EQ(ProportionalSide(800, 0, 100), std::nullopt);
    EXPECT_EQ(ProportionalSide(-800, 600, 100), std::nullopt);
}

TEST(OutputName, FolderPlusBaseNamePlusSuffix) {
    const QString folder = u"/out/"_s;
    EXPECT_EQ(DefaultOutputFile(folder, u"/in/trip.day1.png"_s), u"/out/trip.day1_out.tif"_s);
    EXPECT_EQ(DefaultOutputFile(folder, u"/in/holiday.2007.jpg"_s), u"/out/holiday.2007_out.tif"_s);
    EXPECT_EQ(DefaultOutputFile(folder, u"/in/noext"_s), u"/out/noext_out.tif"_s);
    EXPECT_EQ(DefaultOutputFile(folder, u"/my.pics/noext"_s), u"/out/noext_out.tif"_s);
    EXPECT_EQ(DefaultOutputFile(folder, u"/in/.hidden"_s), u"/out/_out.tif"_s);
    EXPECT_EQ(DefaultOutputFile(u"/out"_s, u"/in/a.jpg"_s), u"/outa_out.tif"_s);
}

TEST(OutputName, UrlLikePathsKeepTheirWholeText) {
    EXPECT_EQ(PhotoFileName(u"http://host/dir/pic.jpg"_s), u"http://host/dir/pic.jpg"_s);
    EXPECT_EQ(PhotoFileName(u"ftp://host/a"_s), u"ftp://host/a"_s);
    EXPECT_EQ(DefaultOutputFile(u"/out/"_s, u"http://host/dir/pic.jpg"_s),
              u"/out/http://host/dir/pic_out.tif"_s);
    EXPECT_EQ(PhotoFileName(u"/home/ann/a.jpg"_s), u"a.jpg"_s);
    // A colon in the right place of an absolute path names a folder, not a scheme.
    EXPECT_EQ(PhotoFileName(u"/ab:/trip.png"_s), u"trip.png"_s);
    EXPECT_EQ(DefaultOutputFile(u"/out/"_s, u"/abc:/trip.png"_s), u"/out/trip_out.tif"_s);
}

}  // namespace

TEST(TextPosition, MustStartInsideThePicture) {
    const QSize size(640, 480);
    const auto fit = [&](int x, int y) { return imaging::FitOf(QPoint(x, y), size); };
    EXPECT_EQ(fit(0, 0).x, imaging::Fit::Inside);
    EXPECT_EQ(fit(639, 479).y, imaging::Fit::Inside);
    EXPECT_EQ(fit(640, 0).x, imaging::Fit::Beyond);  // the side's length is already outside
    EXPECT_EQ(fit(0, 480).y, imaging::Fit::Beyond);
    EXPECT_EQ(fit(-1, 0).x, imaging::Fit::Before);
    EXPECT_EQ(fit(0, -1).y, imaging::Fit::Before);
    EXPECT_EQ(imaging::Corrected(QPoint(700, 20), size), QPoint(0, 20));
    EXPECT_EQ(imaging::Corrected(QPoint(-5, 500), size), QPoint(0, 0));
    EXPECT_EQ(imaging::Corrected(QPoint(639, 479), size), QPoint(639, 479));
    // An empty picture has no inside at all.
    EXPECT_EQ(imaging::Corrected(QPoint(0, 0), QSize(0, 0)), QPoint(0, 0));
    EXPECT_EQ(imaging::FitOf(QPoint(0, 0), QSize(0, 0)).x, imaging::Fit::Beyond);
}
