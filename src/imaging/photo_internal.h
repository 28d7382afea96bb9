#pragma once

// Pieces the photo loaders share; only the imaging layer includes this.

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include <vips/vips8>
#include "imaging/photo.h"
#include "imaging/turn.h"

namespace imaging {

/// A frame's pixels, decoded on demand (read once, in order), and the turn
/// that makes them upright: an orientation tag's value, 1 for none.
struct FrameData {
    vips::VImage image;    // none when the frame could not be had ...
    QString failure;       // ... and why
    bool damaged = false;  // ... damage, which a lenient reading may get past
    int orientation = 1;
    /// Opens the same pixels anew for another read; empty when `image` itself
    /// may be read again (it does not stream from a file).
    std::function<vips::VImage()> reopen;
    /// Why the pixels do not come, asked once reading them failed; empty when
    /// nothing is known beyond the failure.
    std::function<QString()> explain;
};

/// True when setting a picture with camera orientation @p orientation
/// upright swaps its width and height.
inline bool SwapsSides(int orientation) {
    return Turn::Uprighting(orientation).SwapsSides();
}
/// @p image (any bands) as @p turn leaves it; reads it out of order.
vips::VImage Turned(vips::VImage image, Turn turn);

/// A failure the program finds itself, in words of its own.
class OwnFailure : public vips::VError {
public:
    explicit OwnFailure(const QString& reason) : VError(reason.toStdString()) {}
};

/// Why @p error happened: the program's own words for an OwnFailure, else
/// what @p explain says, else that the library failed. The library's words
/// are never read: it keeps one buffer of them for the whole process, shared
/// by the photos converted side by side.
QString FailureReason(const vips::VError& error, const std::function<QString()>& explain);
/// What @p explain says, else that the library failed.
QString FailureReason(const std::function<QString()>& explain);

/// The platform's resolution when a file stores none.
inline constexpr double kDefaultDpi = 96.0;

/// Below this many pixels a picture costs little, whatever its file claims.
inline constexpr int64_t kPixelsAlwaysAllowed = int64_t{16} << 20;

/// A photo that could not be decoded, for @p reason: no size, no frames,
/// nothing to show.
std::unique_ptr<Photo> MakeUndecodedPhoto(QString reason);

/// Why a vector picture could not be rendered.

/// Thumbnail options for exactly @p size, proportions ignored, as stored.
vips::VOption* ThumbnailOptions(const QSize& size);

/// A thumbnail as shown: 8-bit sRGB, colour-managed, transparency on black,
/// turned upright by @p orientation; a null image when it is not of @p size
/// once turned.
QImage ToRgbImage(vips::VImage image, const QSize& size, int orientation = 1);

/// @p image scaled to exactly @p size (proportions ignored) and shown as
/// ToRgbImage does; a null image when that fails.
QImage ToPreview(const vips::VImage& image, const QSize& size);

}  // namespace imaging
