#include <gtest/gtest.h>

#include <QBuffer>
#include <QtEndian>

#include "decoder/decoding.h"
#include "decoder/drawing.h"
#include "decoder/protocol.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using namespace decoder;

class DecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(VIPS_INIT("decoder_tests"), 0); }

    static QString RefusalOf(const QString& kind, const QByteArray& bytes) {
        const auto read = ReadDrawing(kind, bytes, Limits{});
        const auto* refusal = std::get_if<Refusal>(&read);
        return refusal ? refusal->reason.Said() : QString();
    }
    static QByteArray Svg(const QByteArray& body) {
        return R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="100" height="50">)" +
               body + "</svg>";
    }
};

TEST_F(DecoderTest, DrawingsBeyondTheirBudgetsAreRefusedUnrendered) {
    EXPECT_EQ(RefusalOf(u"svg"_s, Svg("<rect width='10' height='10'/>")), QString());
    EXPECT_TRUE(RefusalOf(u"svg"_s, Svg(QByteArray("<rect/>").repeated(200'001)))
                    .contains(QLatin1StringView("200,000 elements")));
    // Ten references at each of eight levels show 10^8 elements.
    QByteArray uses = "<g id='u0'><rect width='1' height='1'/></g>";
    for (int level = 1; level <= 8; ++level)
        uses +=
            "<g id='u" + QByteArray::number(level) + "'>" +
            QByteArray("<use xlink:href='#u" + QByteArray::number(level - 1) + "'/>").repeated(10) +
            "</g>";
    EXPECT_TRUE(RefusalOf(u"svg"_s, Svg(uses)).contains(QLatin1StringView("references")));
    EXPECT_TRUE(RefusalOf(u"svg"_s, Svg("<g id='a'><use href='#a'/></g>"))
                    .contains(QLatin1StringView("references")));
}

TEST_F(DecoderTest, MetafilesAreWalkedRecordByRecordBeforeTheyPlay) {
    const auto wmf = [](const QByteArray& records) {
        QByteArray header(18, '\0');
        qToLittleEndian<quint16>(1, header.data());
        qToLittleEndian<quint16>(9, header.data() + 2);
        qToLittleEndian<quint16>(0x0300, header.data() + 4);
        qToLittleEndian<quint32>(5, header.data() + 12);  // the largest record, in words
        return header + records + QByteArray("\x03\0\0\0\0\0", 6);
    };
    const QByteArray line("\x05\0\0\0\x13\x02\x0a\0\x0a\0", 10);  // LineTo(10, 10)
    EXPECT_EQ(RefusalOf(u"wmf"_s, wmf(line.repeated(200'001))),
              u"a metafile of more than 200,000 records"_s);
    EXPECT_EQ(RefusalOf(u"wmf"_s, wmf(QByteArray("\0\0\0\0\x13\x02", 6))),
              u"a metafile record that does not fit the file"_s);
    QByteArray emf(8, '\0');
    qToLittleEndian<quint32>(0x2B, emf.data());
    qToLittleEndian<quint32>(4, emf.data() + 4);  // shorter than a record can be
    EXPECT_EQ(RefusalOf(u"emf"_s, emf), u"a metafile record that does not fit the file"_s);
}

TEST_F(DecoderTest, AnswersCrossThePipeWholeOrNotAtAll) {
    vips::VImage picture = (vips::VImage::black(3, 2, vips::VImage::option()->set("bands", 3)) + 7)
                               .cast(VIPS_FORMAT_UCHAR);
    picture.set("orientation", 6);
    picture.set("exif-ifd0-Artist", "someone");
    QBuffer pipe;
    pipe.open(QIODevice::ReadWrite);
    ASSERT_TRUE(WriteAnswer(pipe, picture));
    ASSERT_TRUE(WriteAnswer(pipe, Refusal{u"damaged"_s, true}));
    const QByteArray written = pipe.data();
    pipe.seek(0);
    const auto noMore = [] { return false; };
    const Answer answer = ReadAnswer(pipe, Limits{}, noMore);
    ASSERT_TRUE(std::holds_alternative<vips::VImage>(answer));
    const vips::VImage& read = std::get<vips::VImage>(answer);
    EXPECT_EQ(read.width(), 3);
    EXPECT_EQ(read.avg(), 7.0);
    EXPECT_EQ(read.get_int("orientation"), 6);
    EXPECT_STREQ(read.get_string("exif-ifd0-Artist"), "someone");
    const Answer refusal = ReadAnswer(pipe, Limits{}, noMore);
    ASSERT_TRUE(std::holds_alternative<Refusal>(refusal));
    EXPECT_TRUE(std::get<Refusal>(refusal).damage);
    // A cut answer, or a picture beyond the budgets, is no answer.
    QBuffer cut;
    cut.setData(written.left(written.size() / 2));
    cut.open(QIODevice::ReadOnly);
    EXPECT_TRUE(std::holds_alternative<Refusal>(ReadAnswer(cut, Limits{}, noMore)));
    QBuffer whole;
    whole.setData(written);
    whole.open(QIODevice::ReadOnly);
    EXPECT_TRUE(std::holds_alternative<Refusal>(ReadAnswer(whole, Limits{5, 1 << 20}, noMore)));
}

TEST(RenderScale, JustLargeEnoughAlongBothSidesButBounded) {
    // Reduced: the side that shrinks least decides.
    EXPECT_DOUBLE_EQ(RenderScale(QSize(1000, 500), QSize(200, 125)), 0.25);
    // Enlarged: rendered at the target's size, not scaled up from pixels.
    EXPECT_DOUBLE_EQ(RenderScale(QSize(100, 50), QSize(400, 200)), 4.0);
    EXPECT_DOUBLE_EQ(RenderScale(QSize(100, 50), QSize(100, 200)), 4.0);
    // Extreme proportions: no more than four times the target along a side.
    const QSize strip(100, 500000), target(196, 125);
    const double scale = RenderScale(strip, target);
    EXPECT_LE(strip.height() * scale, 4.0 * target.height());
    EXPECT_LE(strip.width() * scale, 4.0 * target.width());
}

}  // namespace
