#include "imaging/bitmap.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QSaveFile>
#include <QtMath>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vips/vips8>

#include "imaging/colour.h"
#include "imaging/photo.h"
#include "imaging/photo_internal.h"
#include "imaging/tiff_writer.h"

namespace imaging {
namespace {

using vips::VImage;

/// A one-band 8-bit image of @p mask, copied row by row (QImage rows are padded).
VImage ImageFromMask(const QImage& mask) {
    const size_t width = static_cast<size_t>(mask.width());
    const size_t bytes = width * static_cast<size_t>(mask.height());
    auto* pixels = static_cast<uchar*>(std::malloc(bytes));  // released with free() by vips
    if (!pixels) throw vips::VError("out of memory");
    for (int y = 0; y < mask.height(); ++y)
        std::memcpy(pixels + static_cast<size_t>(y) * width, mask.constScanLine(y), width);
    return VImage::new_from_memory_steal(pixels, bytes, mask.width(), mask.height(), 1,
                                         VIPS_FORMAT_UCHAR);
}

/// Beyond this reduction a cubic kernel grows too wide for the resampler, and
/// its rounded weights no longer add up (a flat 200 came out as 198).
constexpr double kMaxCubicReduction = 32.0;
/// What a box shrink leaves for the cubic kernel: enough to keep it smooth.
constexpr double kCubicShareOfLargeReductions = 16.0;

/// The whole-number box shrink that brings @p factor within the cubic
/// kernel's reach; 1 when none is needed.
int BoxShrinkFor(double factor) {
    if (factor <= kMaxCubicReduction) return 1;
    return static_cast<int>(std::floor(factor / kCubicShareOfLargeReductions));
}

/// @p image scaled to @p width x @p height with a Catmull-Rom cubic: shrinking
/// axes are reduced (the kernel widened, so fine detail averages instead of
/// aliasing), growing axes interpolated with pixel centres kept in line.
VImage ScaleCubic(VImage image, int width, int height) {
    const int boxX = BoxShrinkFor(double(image.width()) / width);
    const int boxY = BoxShrinkFor(double(image.height()) / height);
    if (boxX > 1 || boxY > 1) image = image.shrink(boxX, boxY);
    const double shrinkX = double(image.width()) / width;
    const double shrinkY = double(image.height()) / height;
    if (shrinkX > 1.0 || shrinkY > 1.0) {
        image = image.reduce(std::max(shrinkX, 1.0), std::max(shrinkY, 1.0),
                             VImage::option()->set("kernel", VIPS_KERNEL_CUBIC));
    }
    if (image.width() < width || image.height() < height) {
        const double a = double(width) / image.width();
        const double d = double(height) / image.height();
        // Output pixel centre X + 1/2 samples input position (X + 1/2) / a.
        image = image.affine({a, 0.0, 0.0, d},
                             VImage::option()
                                 ->set("interpolate", vips::VInterpolate::new_from_name("bicubic"))
                                 ->set("odx", (a - 1.0) / 2.0)
                                 ->set("ody", (d - 1.0) / 2.0)
                                 ->set("oarea", std::vector<int>{0, 0, width, height})
                                 ->set("extend", VIPS_EXTEND_COPY));
    }
    return image;
}

}  // namespace

bool IsKnownAngle(int angle) {
    return angle == 0 || angle == 90 || angle == 180 || angle == 270;
}

std::optional<int> RotateFlipFor(int angle, int flipType) {
    if (!IsKnownAngle(angle) || flipType < 0 || flipType > 2) return std::nullopt;
    int rotation = 0;
    switch (angle) {
        case 0:
            rotation = 0;
            break;
        case 90:
            rotation = 1;
            break;
        case 180:
            rotation = 2;
            break;
        case 270:
            rotation = 3;
            break;
    }
    // Rows of the platform's table: none, X, Y for each angle.
    static constexpr int kTable[4][3] = {{0, 4, 6}, {1, 5, 7}, {2, 6, 4}, {3, 7, 5}};
    return kTable[rotation][flipType];
}

int RotateFlipForOrientation(int orientation) {
    // Orientation tag values 1 to 8, as the turn that shows them upright.
    static constexpr int kTypes[9] = {RotateNoneFlipNone, RotateNoneFlipNone, RotateNoneFlipX,
                                      Rotate180FlipNone,  Rotate180FlipX,     Rotate90FlipX,
                                      Rotate90FlipNone,   Rotate270FlipX,     Rotate270FlipNone};
    return orientation >= 1 && orientation <= 8 ? kTypes[orientation] : RotateNoneFlipNone;
}

VImage ApplyRotateFlip(const VImage& image, int type) {
    static constexpr VipsAngle kAngles[4] = {VIPS_ANGLE_D0, VIPS_ANGLE_D90, VIPS_ANGLE_D180,
                                             VIPS_ANGLE_D270};
    VImage turned = image;
    if ((type & 3) != 0) turned = turned.rot(kAngles[type & 3]);
    if (type >= 4) turned = turned.flip(VIPS_DIRECTION_HORIZONTAL);
    return turned;
}

struct Bitmap::Impl {
    VImage image;
    QByteArray profile;  // describes the pixels' colours; empty for sRGB
};

bool Bitmap::Fail(QString reason) {
    m_error = std::move(reason);
    return false;
}

Bitmap::Bitmap(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Bitmap::~Bitmap() = default;

std::unique_ptr<Bitmap> Bitmap::Create(int width, int height) {
    if (width <= 0 || height <= 0 || int64_t{width} * height * 3 > kMaxBytes) return nullptr;
    try {
        auto impl = std::make_unique<Impl>();
        impl->image = VImage::black(width, height, VImage::option()->set("bands", 3))
                          .cast(VIPS_FORMAT_UCHAR)
                          .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        return std::unique_ptr<Bitmap>(new Bitmap(std::move(impl)));
    } catch (const vips::VError&) {
        vips_error_clear();
        return nullptr;
    }
}

int Bitmap::Width() const {
    return m_impl->image.width();
}
int Bitmap::Height() const {
    return m_impl->image.height();
}

bool Bitmap::SetResolution(double dpi) {
    if (!std::isfinite(dpi) || dpi <= 0.0) return false;
    m_dpi = dpi;
    return true;
}

bool Bitmap::DrawScaled(const Photo& photo, const DrawOptions& options) {
    vips_error_clear();  // a failure's reason must be its own
    try {
        const std::shared_ptr<FrameData> frame =
            photo.ActiveFrameData(QSize(Width(), Height()), options.strict);
        if (!frame || frame->image.width() <= 0 || frame->image.height() <= 0)
            return Fail(photo.LoadFailure().isEmpty() ? kUnrenderable : photo.LoadFailure());
        QByteArray profile;
        const VImage source = ToRgb8(frame->image, options.colours, options.background, &profile);

        // Scaled as stored, then set upright in memory, where turning is cheap.
        const int turn = RotateFlipForOrientation(frame->orientation);
        const bool swap = SwapsSides(frame->orientation);
        const int width = swap ? Height() : Width();
        const int height = swap ? Width() : Height();
        VImage scaled = ScaleCubic(source, width, height);
        // Rounding inside the resampler may leave a pixel too many or too few.
        if (scaled.width() != width || scaled.height() != height)
            scaled = scaled.embed(0, 0, width, height,
                                  VImage::option()->set("extend", VIPS_EXTEND_COPY));
        // The bitmap is held whole from here on, as drawing and turning need:
        // the frame streams from its file once, in order (text drawn onto a
        // still-streaming picture read it out of order, and large photos failed).
        VImage pixels =
            scaled.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
                .copy_memory();
        if (turn != RotateNoneFlipNone) pixels = ApplyRotateFlip(pixels, turn).copy_memory();
        m_impl->image = pixels;
        m_impl->profile = profile;
        return true;
    } catch (const vips::VError& error) {
        return Fail(LibraryError(error));
    }
}

void Bitmap::DrawText(const QString& text, const QFont& font, const QColor& colour,
                      QPoint position) {
    if (text.isEmpty()) return;
    // Conversions may run on several threads; font engines are shared.
    static QMutex fontEngines;
    const QMutexLocker lock(&fontEngines);
    const QFontMetricsF metrics(font);
    // The line never wraps, so it is drawn into a strip reaching the right
    // edge: glyphs of fallback faces (colour emoji among them) draw wider
    // than they measure, and a measured box cut the line short. The ink may
    // reach outside the advance (italics, overhangs): leave room.
    const int margin = qCeil(metrics.height());
    const QRect box = QRect(position.x() - margin, position.y() - margin,
                            Width() - (position.x() - margin), 3 * margin)
                          .intersected(QRect(0, 0, Width(), Height()));
    if (box.isEmpty()) return;

    // Drawn for its coverage alone: every glyph, a colour one too, takes the
    // text's colour.
    QImage coverage(box.size(), QImage::Format_ARGB32_Premultiplied);
    coverage.fill(Qt::transparent);
    {
        QPainter painter(&coverage);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QPointF(position.x() - box.x(), position.y() - box.y() + metrics.ascent()),
                         text);
    }
    const QImage mask = coverage.convertToFormat(QImage::Format_Alpha8);
    try {
        const VImage alpha = ImageFromMask(mask);
        const VImage patch = m_impl->image.crop(box.x(), box.y(), box.width(), box.height());
        const std::vector<double> ink{double(colour.red()), double(colour.green()),
                                      double(colour.blue())};
        const VImage blended =
            ((patch * (255 - alpha) + alpha * ink) / 255).cast(VIPS_FORMAT_UCHAR).copy_memory();
        m_impl->image.draw_image(blended, box.x(), box.y());
    } catch (const vips::VError&) {
        vips_error_clear();
    }
}

bool Bitmap::RotateFlip(int type) {
    if (type < 0 || type > 7) return Fail(QStringLiteral("no such turn"));
    try {
        m_impl->image = ApplyRotateFlip(m_impl->image, type);
        return true;
    } catch (const vips::VError& error) {
        return Fail(LibraryError(error));
    }
}

bool Bitmap::SaveTiff(const QString& path) {
    // The old file is replaced only by a complete new one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Fail(file.errorString());
    if (!WriteTiff(file)) return false;
    if (!file.commit()) return Fail(file.errorString());
    return true;
}

bool Bitmap::WriteTiff(QIODevice& out) {
    try {
        // Pixels settle in memory (on all cores), then strips compress on all cores.
        const VImage pixels = m_impl->image.copy_memory();
        errno = 0;
        if (!WriteRgbTiff(out, static_cast<const uint8_t*>(pixels.data()), pixels.width(),
                          pixels.height(), m_dpi, m_impl->profile)) {
            // The file's own account of a failed write is often "Unknown error".
            const int cause = errno;
            if (cause != 0) return Fail(QString::fromLocal8Bit(std::strerror(cause)));
            const auto* file = qobject_cast<const QFileDevice*>(&out);
            return Fail(file && file->error() == QFileDevice::NoError
                            ? QStringLiteral("the file would pass 4 GiB")
                            : out.errorString());
        }
        return true;
    } catch (const vips::VError& error) {
        return Fail(LibraryError(error));
    }
}

}  // namespace imaging
