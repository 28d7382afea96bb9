#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QByteArray>

class QIODevice;

namespace imaging {

/// LZW-compresses @p size bytes the way TIFF readers expect (codes of 9 to 12
/// bits, most significant bit first, a clear code at the start and when the
/// table is full, the end-of-information code last).
std::vector<uint8_t> LzwEncode(const uint8_t* data, size_t size);

/// Writes 8-bit RGB pixels (@p height rows of @p width * 3 bytes) to @p out as
/// a little-endian strip TIFF: LZW with the horizontal predictor, resolution
/// @p dpi in both directions, unit inch, and @p iccProfile (when not empty)
/// describing the pixels' colours. Strips are compressed on the threads one
/// conversion may use (ThreadsPerConversion).
/// False when @p out fails or the file would pass 4 GiB.
bool WriteRgbTiff(QIODevice& out, const uint8_t* pixels, int width, int height, double dpi,
                  const QByteArray& iccProfile = {});

}  // namespace imaging
