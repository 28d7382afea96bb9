#pragma once

// Pieces the photo loaders share; only the imaging layer includes this.

#include <QImage>
#include <QSize>
#include <memory>
#include <optional>
#include <vips/vips8>

namespace imaging {

class Photo;

/// A frame's pixels, decoded on demand (read once, in order).
struct FrameData {
    vips::VImage image;
};

/// The active frame of @p photo, or nothing.
std::optional<vips::VImage> ActiveFrameOf(const Photo& photo);

/// The platform's resolution when a file stores none.
inline constexpr double kDefaultDpi = 96.0;

/// A photo that could not be decoded: no size, no frames, nothing to show.
std::unique_ptr<Photo> MakeUndecodedPhoto();

/// Thumbnail options for exactly @p size, proportions ignored, as stored.
vips::VOption* ThumbnailOptions(const QSize& size);

/// A thumbnail of @p size as 8-bit RGB with transparency on black; a null
/// image when it is not of that size.
QImage ToRgbImage(vips::VImage image, const QSize& size);

/// @p image scaled to exactly @p size (proportions ignored), transparency on
/// black, as 8-bit RGB; a null image when that fails.
QImage ToPreview(const vips::VImage& image, const QSize& size);

}  // namespace imaging
