#pragma once

// Pieces the photo loaders share; only the imaging layer includes this.

#include <QImage>
#include <QSize>
#include <memory>
#include <optional>

#include "imaging/photo.h"
#include <vips/vips8>

namespace imaging {

/// A frame's pixels, decoded on demand (read once, in order).
struct FrameData {
    vips::VImage image;
};

/// The active frame of @p photo, to be scaled to @p target, or nothing.
std::optional<vips::VImage> ActiveFrameOf(const Photo& photo, const QSize& target);

/// The scale at which a vector picture of @p source pixels is rendered to be
/// scaled to @p target: large enough to be reduced, not enlarged, along both
/// sides (vectors stay sharp at any size), and never more than four times the
/// target along either side (a picture of extreme proportions would otherwise
/// be rendered whole for a small target: millions of lines for a preview).
double RenderScale(const QSize& source, const QSize& target);

/// The platform's resolution when a file stores none.
inline constexpr double kDefaultDpi = 96.0;

/// A photo of exactly one page, as the rendered and developed kinds are.
class SinglePagePhoto : public Photo {
public:
    std::vector<QUuid> FrameDimensions() const override { return {kFrameDimensionPage}; }
    uint32_t FrameCount(const QUuid& dimension) const override {
        return dimension == kFrameDimensionPage ? 1 : 0;
    }
    bool SelectActiveFrame(const QUuid& dimension, uint32_t index) override {
        return dimension == kFrameDimensionPage && index == 0;
    }
    double HorizontalResolution() const override { return kDefaultDpi; }
};

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
