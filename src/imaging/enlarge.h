#pragma once

#include <vips/vips8>

// Only the imaging layer includes this.

namespace imaging {

/// @p image (8-bit) enlarged to @p width x @p height with a Catmull-Rom cubic,
/// one axis after the other; an axis whose size stays keeps its pixels. Output
/// pixel centre X + 1/2 samples input position (X + 1/2) * in / out, and the
/// edges extend. Pixels are computed on demand, rows in order, as the
/// library's own operations do. Neither side may be smaller than the image's.
vips::VImage EnlargeCubic(const vips::VImage& image, int width, int height);

}  // namespace imaging
