#include <gtest/gtest.h>

#include "decoder/drawing.h"

namespace {

using namespace decoder;

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
