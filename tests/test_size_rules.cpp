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
    EXPECT_EQ(ParseIntField(QString(63, u' ') + QStringLiteral("5"), kPositionFieldBuffer), 0);
    EXPECT_EQ(ParseIntField(QString(62, u' ') + QStringLiteral("57"), kPositionFieldBuffer), 5);
    EXPECT_EQ(ParseIntField(QString(254, u' ') + QStringLiteral("93"), kSizeFieldBuffer), 9);
}

TEST(Calculator, QuotientFirstThenTruncatedProduct) {
    EXPECT_EQ(ProportionalSide(3000, 2000, 1000), 666);
    EXPECT_EQ(ProportionalSide(1024, 768, 800), 600);
    EXPECT_EQ(ProportionalSide(768, 1024, 600), 800);
    EXPECT_EQ(ProportionalSide(300, 1300, 27), 116);  // 4.333... * 27 = 116.99999999999999
    EXPECT_EQ(ProportionalSide(300, 1300, 27), 116);
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
    const QString folder = QStringLiteral("/out/");
    EXPECT_EQ(DefaultOutputFile(folder, QStringLiteral("/in/trip.day1.png")),
              QStringLiteral("/out/trip.day1_out.tif"));
    EXPECT_EQ(DefaultOutputFile(folder, QStringLiteral("/in/holiday.2007.jpg")),
              QStringLiteral("/out/holiday.2007_out.tif"));
    EXPECT_EQ(DefaultOutputFile(folder, QStringLiteral("/in/noext")),
              QStringLiteral("/out/noext_out.tif"));
    EXPECT_EQ(DefaultOutputFile(folder, QStringLiteral("/my.pics/noext")),
              QStringLiteral("/out/noext_out.tif"));
    EXPECT_EQ(DefaultOutputFile(folder, QStringLiteral("/in/.hidden")),
              QStringLiteral("/out/_out.tif"));
    EXPECT_EQ(DefaultOutputFile(QStringLiteral("/out"), QStringLiteral("/in/a.jpg")),
              QStringLiteral("/outa_out.tif"));
}

TEST(OutputName, UrlLikePathsKeepTheirWholeText) {
    EXPECT_EQ(PhotoFileName(QStringLiteral("http://host/dir/pic.jpg")),
              QStringLiteral("http://host/dir/pic.jpg"));
    EXPECT_EQ(PhotoFileName(QStringLiteral("ftp://host/a")), QStringLiteral("ftp://host/a"));
    EXPECT_EQ(DefaultOutputFile(QStringLiteral("/out/"), QStringLiteral("http://host/dir/pic.jpg")),
              QStringLiteral("/out/http://host/dir/pic_out.tif"));
    EXPECT_EQ(PhotoFileName(QStringLiteral("/home/ann/a.jpg")), QStringLiteral("a.jpg"));
    // A colon in the right place of an absolute path names a folder, not a scheme.
    EXPECT_EQ(PhotoFileName(QStringLiteral("/ab:/trip.png")), QStringLiteral("trip.png"));
    EXPECT_EQ(DefaultOutputFile(QStringLiteral("/out/"), QStringLiteral("/abc:/trip.png")),
              QStringLiteral("/out/trip_out.tif"));
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
