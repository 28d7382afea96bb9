#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <random>
#include <vips/vips8>

#include "imaging/imaging_library.h"
#include "imaging/tiff_writer.h"
#include "test_support.h"

namespace {

using namespace imaging;

/// Pixels that exercise the encoder: smooth runs, repeats and noise.
std::vector<uint8_t> TestPixels(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t i = (static_cast<size_t>(y) * width + x) * 3 + c;
                pixels[i] = y % 7 == 0 ? static_cast<uint8_t>(random())              // noisy rows
                                       : static_cast<uint8_t>(x * (c + 1) + y / 3);  // gradients
            }
    return pixels;
}

/// Writes @p height rows of @p width RGB @p pixels to @p out, strip by strip.
bool WriteRgbTiff(QIODevice& out, const std::vector<uint8_t>& pixels, int width, int height,
                  double dpi, TiffStripWriter::Delivery delivery) {
    TiffStripWriter writer(out, width, height, dpi, {}, delivery, 4);
    if (width <= 0 || height <= 0) return false;
    const size_t rowBytes = size_t(width) * 3;
    for (int first = 0; first < height; first += writer.RowsPerStrip()) {
        const auto from = pixels.begin() + ptrdiff_t(rowBytes * size_t(first));
        const int rows = std::min(writer.RowsPerStrip(), height - first);
        if (!writer.AddStrip(std::vector<uint8_t>(from, from + ptrdiff_t(rowBytes * size_t(rows)))))
            return false;
    }
    return writer.Finish();
}

TEST(TiffWriter, ReadersGetBackExactlyThePixelsWritten) {
    LibrarySession session;
    TempFolder temp;
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 300}, {517, 1}, {64, 48}, {1201, 731}};
    // Streamed to a file (the header mended at the end), or all at once.
    for (const auto delivery :
         {TiffStripWriter::Delivery::Streamed, TiffStripWriter::Delivery::WhenComplete})
        for (const auto& [width, height] : sizes) {
            const std::vector<uint8_t> pixels = TestPixels(width, height, unsigned(width * height));
            const QString path =
                temp.file(u"t-%1x%2-%3.tif"_s.arg(width).arg(height).arg(int(delivery)));
            {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                ASSERT_TRUE(WriteRgbTiff(file, pixels, width, height, 300.0, delivery));
            }
            const vips::VImage read =
                vips::VImage::new_from_file(QFile::encodeName(path).constData());
            ASSERT_EQ(read.width(), width);
            ASSERT_EQ(read.height(), height);
            ASSERT_EQ(read.bands(), 3);
            EXPECT_NEAR(read.xres() * 25.4, 300.0, 1e-4);  // readers keep rationals as floats
            const vips::VImage expected =
                vips::VImage::new_from_memory(const_cast<uint8_t*>(pixels.data()), pixels.size(),
                                              width, height, 3, VIPS_FORMAT_UCHAR);
            EXPECT_EQ((read - expected).abs().max(), 0.0) << width << "x" << height;
        }
}

TEST(TiffWriter, CompressesRepetitionAndSurvivesIncompressibleData) {
    const std::vector<uint8_t> flat(100000, 42);
    EXPECT_LT(LzwEncode(flat.data(), flat.size()).size(), 3000u);
    std::mt19937 random(7);
    std::vector<uint8_t> noise(100000);
    for (auto& byte : noise) byte = static_cast<uint8_t>(random());
    // Noise grows, by at most the 12-bit codes' share.
    EXPECT_LT(LzwEncode(noise.data(), noise.size()).size(), 100000u * 3 / 2);
    EXPECT_EQ(LzwEncode(nullptr, 0).size(), 3u);  // clear and end codes only
}

TEST(TiffWriter, AFailingDeviceIsReported) {
    const std::vector<uint8_t> pixels = TestPixels(10, 10, 1);
    QBuffer closed;  // not open: every write fails
    for (const auto delivery :
         {TiffStripWriter::Delivery::Streamed, TiffStripWriter::Delivery::WhenComplete})
        EXPECT_FALSE(WriteRgbTiff(closed, pixels, 10, 10, 96.0, delivery));
    QBuffer open;
    open.open(QIODevice::WriteOnly);
    const auto atOnce = TiffStripWriter::Delivery::WhenComplete;
    EXPECT_FALSE(WriteRgbTiff(open, pixels, 0, 10, 96.0, atOnce));
    EXPECT_TRUE(WriteRgbTiff(open, pixels, 10, 10, 96.0, atOnce));
}

}  // namespace
