#include "imaging/bitmap.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QtMath>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <thread>
#include <vector>
#include <vips/vips8>

#include "host/cores.h"
#include "host/native_file.h"
#include "imaging/colour.h"
#include "imaging/enlarge.h"
#include "imaging/imaging_library.h"
#include "imaging/metadata.h"
#include "imaging/photo.h"
#include "imaging/photo_internal.h"
#include "imaging/text_layout.h"
#include "imaging/tiff_writer.h"

namespace imaging {
namespace {

using vips::VImage;

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
    if (image.width() < width || image.height() < height)
        image =
            EnlargeCubic(image, std::max(width, image.width()), std::max(height, image.height()));
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

namespace {

/// A line of text laid on the bitmap: its coverage, where, and in what colour.
struct TextPatch {
    QRect box;
    QImage layer;  // premultiplied ARGB, box-sized
};

/// Lays the text of @p patch that falls on @p rowCount rows of @p width RGB
/// pixels starting at row @p firstRow.
void Paint(const TextPatch& patch, uint8_t* rows, int firstRow, int rowCount, int width) {
    const int top = std::max(patch.box.top(), firstRow);
    const int bottom = std::min(patch.box.bottom(), firstRow + rowCount - 1);
    for (int y = top; y <= bottom; ++y) {
        const auto* ink =
            reinterpret_cast<const QRgb*>(patch.layer.constScanLine(y - patch.box.top()));
        uint8_t* pixel =
            rows + (size_t(y - firstRow) * size_t(width) + size_t(patch.box.left())) * 3;
        for (int x = 0; x < patch.box.width(); ++x, pixel += 3) {
            const unsigned a = qAlpha(ink[x]);
            if (a == 0) continue;
            // Premultiplied: the ink's share is in its channels already.
            const unsigned channels[3] = {unsigned(qRed(ink[x])), unsigned(qGreen(ink[x])),
                                          unsigned(qBlue(ink[x]))};
            for (int c = 0; c < 3; ++c)
                pixel[c] = static_cast<uint8_t>(channels[c] + (pixel[c] * (255 - a) + 127) / 255);
        }
    }
}

/// The rotate-flip type that does @p first and then @p second.
int Compose(int first, int second) {
    // A type turns clockwise by (type & 3) quarters, then mirrors when type >= 4;
    // a mirror before a turn equals the opposite turn before the mirror.
    const int firstTurn = first & 3, secondTurn = second & 3;
    const bool firstMirror = first >= 4, secondMirror = second >= 4;
    const int turn = (firstTurn + (firstMirror ? 4 - secondTurn : secondTurn)) & 3;
    return turn + ((firstMirror != secondMirror) ? 4 : 0);
}

/// A step taken on the bitmap's pixels once they are computed.
struct PendingStep {
    std::optional<TextPatch> text;
    int turn = RotateNoneFlipNone;  // when not text
};

/// What the sink hands each run of rows to.
struct StripAssembly {
    TiffStripWriter& writer;
    const std::vector<TextPatch>& text;
    int width;
    int height;
    std::vector<uint8_t> strip;
    int stripFirst = 0;
    bool writerFailed = false;
};

int TakeRows(VipsRegion* region, VipsRect* area, void* user) {
    auto& assembly = *static_cast<StripAssembly*>(user);
    const size_t rowBytes = size_t(assembly.width) * 3;
    for (int y = area->top; y < area->top + area->height; ++y) {
        const auto* row = reinterpret_cast<const uint8_t*>(VIPS_REGION_ADDR(region, 0, y));
        assembly.strip.insert(assembly.strip.end(), row, row + rowBytes);
        const int rows = int(assembly.strip.size() / rowBytes);
        if (rows < std::min(assembly.writer.RowsPerStrip(), assembly.height - assembly.stripFirst))
            continue;
        for (const TextPatch& patch : assembly.text)
            Paint(patch, assembly.strip.data(), assembly.stripFirst, rows, assembly.width);
        if (!assembly.writer.AddStrip(std::move(assembly.strip))) {
            assembly.writerFailed = true;
            return -1;
        }
        assembly.strip = assembly.writer.TakeStripBuffer();
        assembly.strip.reserve(rowBytes * size_t(assembly.writer.RowsPerStrip()));
        assembly.stripFirst += rows;
    }
    return 0;
}

/// Watches the computation of an image: stops it once a flag is set (libvips
/// checks between the pieces it computes, so a stop takes effect within
/// moments) and tells how far it got, as @p base plus @p span times its share done.
class ComputationWatch {
public:
    ComputationWatch(const VImage& image, const std::atomic<bool>* stop, std::atomic<int>* progress,
                     int base, int span)
        : m_image(image), m_stop(stop), m_progress(progress), m_base(base), m_span(span) {
        if (!stop && !progress) return;
        vips_image_set_progress(m_image.get_image(), TRUE);
        m_handler = g_signal_connect(m_image.get_image(), "eval", G_CALLBACK(OnEval), this);
    }
    ~ComputationWatch() {
        if (m_handler) g_signal_handler_disconnect(m_image.get_image(), m_handler);
    }
    ComputationWatch(const ComputationWatch&) = delete;
    ComputationWatch& operator=(const ComputationWatch&) = delete;

private:
    static void OnEval(VipsImage* image, VipsProgress* progress, gpointer user) {
        const auto* watch = static_cast<const ComputationWatch*>(user);
        if (watch->m_stop && *watch->m_stop) vips_image_set_kill(image, TRUE);
        if (watch->m_progress)
            *watch->m_progress = watch->m_base + watch->m_span * progress->percent / 100;
    }
    VImage m_image;
    const std::atomic<bool>* m_stop;
    std::atomic<int>* m_progress;
    int m_base;
    int m_span;
    gulong m_handler = 0;
};

/// Shares of the progress: a turn computes the pixels whole first, then the
/// file is written.
constexpr int kTurnShare = 90;

}  // namespace

struct Bitmap::Impl {
    int width = 0;
    int height = 0;
    VImage image;                      // the pixels before the pending steps, good for one read
    bool read = false;                 // ... and that read has been made
    std::function<VImage()> rebuild;   // makes `image` anew; empty when it may be read again
    QByteArray profile;                // describes the pixels' colours; empty for sRGB
    std::function<QString()> explain;  // why the frame's pixels did not come
    int threads = 1;                   // computing and compressing
    PhotoMetadata metadata;            // the photo's, and what of it travels
    MetadataChoice metadataChoice = MetadataChoice::Rights;
    std::vector<PendingStep> steps;
    Limits limits;
    const std::atomic<bool>* stop = nullptr;
    std::atomic<int>* progress = nullptr;
    bool strict = false;
    bool turned = false;  // the last computation held the pixels whole to turn them

    bool Stopped() const { return stop && *stop; }

    /// The turns of all the steps, as one.
    int TotalTurn() const {
        int turn = RotateNoneFlipNone;
        for (const PendingStep& step : steps)
            if (!step.text) turn = Compose(turn, step.turn);
        return turn;
    }

    /// The pixels with every step taken but the text laid after the last
    /// turn, which is left in @p text to be laid as rows pass by.
    VImage Compute(std::vector<TextPatch>& text) {
        VImage pixels = read && rebuild ? rebuild() : image;
        read = true;
        turned = false;
        int turn = RotateNoneFlipNone;
        const auto takeTurn = [&] {
            if (turn == RotateNoneFlipNone) return;
            // Turning reads out of order: the pixels are held whole for it,
            // a copy of our own that the text is laid on.
            const int64_t holding = int64_t{pixels.width()} * pixels.height() * 3;
            if (holding > limits.maxMemory)
                throw OwnFailure(QStringLiteral("turning or mirroring %1 x %2 pixels holds %3 "
                                                "MB, more than the memory budget of %4 MB")
                                     .arg(pixels.width())
                                     .arg(pixels.height())
                                     .arg(holding >> 20)
                                     .arg(limits.maxMemory >> 20));
            size_t bytes = 0;
            const ComputationWatch watch(pixels, stop, progress, 0, kTurnShare);
            turned = true;
            auto* held = static_cast<uint8_t*>(pixels.write_to_memory(&bytes));
            for (const TextPatch& patch : text)
                Paint(patch, held, 0, pixels.height(), pixels.width());
            text.clear();
            pixels = ApplyRotateFlip(
                VImage::new_from_memory_steal(held, bytes, pixels.width(), pixels.height(), 3,
                                              VIPS_FORMAT_UCHAR),
                turn);
            turn = RotateNoneFlipNone;
        };
        for (const PendingStep& step : steps) {
            if (step.text) {
                takeTurn();
                text.push_back(*step.text);
            } else {
                turn = Compose(turn, step.turn);
            }
        }
        takeTurn();
        return pixels;
    }
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
        impl->width = width;
        impl->height = height;
        impl->image = VImage::black(width, height, VImage::option()->set("bands", 3))
                          .cast(VIPS_FORMAT_UCHAR)
                          .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        return std::unique_ptr<Bitmap>(new Bitmap(std::move(impl)));
    } catch (const vips::VError&) {
        return nullptr;
    }
}

int Bitmap::Width() const {
    return m_impl->width;
}
int Bitmap::Height() const {
    return m_impl->height;
}

bool Bitmap::SetResolution(double dpi) {
    if (!std::isfinite(dpi) || dpi <= 0.0) return false;
    m_dpi = dpi;
    return true;
}

namespace {

/// The pixels of @p frame as 8-bit RGB scaled to @p width x @p height as
/// stored (before the frame's own turn); the profile they carry goes to @p profile.
VImage ScaledFrame(const VImage& frame, const DrawOptions& options, int width, int height,
                   QByteArray* profile) {
    const VImage source = ToRgb8(frame, options.colours, options.background, profile);
    VImage scaled = ScaleCubic(source, width, height);
    // Rounding inside the resampler may leave a pixel too many or too few.
    if (scaled.width() != width || scaled.height() != height)
        scaled =
            scaled.embed(0, 0, width, height, VImage::option()->set("extend", VIPS_EXTEND_COPY));
    return scaled.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

}  // namespace

bool Bitmap::DrawScaled(const Photo& photo, const DrawOptions& options) {
    std::function<QString()> explain;
    try {
        const std::shared_ptr<FrameData> frame = photo.ActiveFrameData(
            FrameUse{QSize(Width(), Height()), options.strict, options.stop, options.budget});
        if (!frame || frame->image.is_null() || frame->image.width() <= 0 ||
            frame->image.height() <= 0) {
            const QString failure =
                frame && !frame->failure.isEmpty() ? frame->failure : photo.LoadFailure();
            return Fail(failure.isEmpty() ? kUnrenderable : failure);
        }
        explain = frame->explain;
        // Scaled as stored, then set upright with the other turns.
        const bool swap = SwapsSides(frame->orientation);
        const int width = swap ? Height() : Width();
        const int height = swap ? Width() : Height();
        QByteArray profile;
        VImage scaled = ScaledFrame(frame->image, options, width, height, &profile);
        // The pixels are computed as the TIFF is written, in order, one strip
        // after another; the frame streams from its file once per writing.
        m_impl->image = scaled;
        m_impl->read = false;
        m_impl->rebuild = nullptr;
        if (frame->reopen)
            m_impl->rebuild = [reopen = frame->reopen, options, width, height] {
                return ScaledFrame(reopen(), options, width, height, nullptr);
            };
        m_impl->profile = profile;
        m_impl->explain = frame->explain;
        m_impl->metadata = MetadataOf(frame->image);
        // As the photo reads it: HEIF pixels come turned already, whatever the EXIF says.
        m_impl->metadata.orientation = photo.CameraOrientation();
        m_impl->metadataChoice = options.metadata;
        m_impl->limits = options.limits;
        m_impl->stop = options.stop;
        m_impl->progress = options.progress;
        m_impl->strict = options.strict;
        m_impl->threads = options.threads > 0 ? options.threads : host::CoresForThisProcess().count;
        m_impl->steps.clear();
        m_impl->steps.push_back({std::nullopt, RotateFlipForOrientation(frame->orientation)});
        return true;
    } catch (const vips::VError& error) {
        return Fail(FailureReason(error, explain));
    }
}

bool Bitmap::DrawText(const TextBlock& block, const QColor& colour, QPoint topLeft) {
    if (block.lines.join(QString()).isEmpty()) return true;
    // Threads may paint text on images of their own at once (Qt keeps its
    // font caches per thread); 8 threads drawing 400 blocks of mixed scripts
    // and colour emoji came out bit for bit as drawn one after another.
    const QRect area = TextArea(block, topLeft, QSize(Width(), Height()));
    if (area.isEmpty()) return true;
    // The layer, and its copy in the carried profile, are held until the pixels pass.
    const int64_t holding = int64_t{area.width()} * area.height() * 4 * 2;
    if (holding > m_impl->limits.maxMemory)
        return Fail(QStringLiteral("the text's %1 x %2 pixels hold %3 MB, more than the memory "
                                   "budget of %4 MB")
                        .arg(area.width())
                        .arg(area.height())
                        .arg(holding >> 20)
                        .arg(m_impl->limits.maxMemory >> 20));
    QImage layer = DrawTextBlock(block, colour, topLeft, area);
    if (layer.isNull()) return Fail(QStringLiteral("no memory for the text"));
    // The pixels' values are those of the profile carried: the ink's too.
    if (!m_impl->profile.isEmpty()) ConvertFromSrgb(layer, m_impl->profile);
    m_impl->steps.push_back({TextPatch{area, std::move(layer)}, RotateNoneFlipNone});
    return true;
}

bool Bitmap::RotateFlip(int type) {
    if (type < 0 || type > 7) return Fail(QStringLiteral("no such turn"));
    m_impl->steps.push_back({std::nullopt, type});
    if (type & 1) std::swap(m_impl->width, m_impl->height);
    return true;
}

bool Bitmap::SaveTiff(const QString& path, bool mayReplace) {
    // The old file is replaced only by a complete new one.
    host::ReplacingFile file(path, mayReplace);
    if (!file.Open()) return Fail(file.Error());
    if (!Write(file.Device(), /*streamed=*/true)) return false;
    if (!file.Commit()) return Fail(file.Error());
    return true;
}

bool Bitmap::WriteTiff(QIODevice& out) {
    return Write(out, /*streamed=*/false);
}

bool Bitmap::Write(QIODevice& out, bool streamed) {
    m_pixelsFailed = false;
    m_damaged = false;
    try {
        std::vector<TextPatch> text;
        VImage pixels = m_impl->Compute(text);
        if (pixels.width() != Width() || pixels.height() != Height() || pixels.bands() != 3 ||
            pixels.format() != VIPS_FORMAT_UCHAR)
            throw OwnFailure(QStringLiteral("the pixels are not of the bitmap's size and kind"));
        // The camera's orientation still applies to pixels no turn has touched.
        TiffStripWriter writer(out, Width(), Height(), m_dpi, m_impl->profile,
                               streamed ? TiffStripWriter::Delivery::Streamed
                                        : TiffStripWriter::Delivery::WhenComplete,
                               m_impl->threads,
                               MetadataToWrite(m_impl->metadata, m_impl->metadataChoice,
                                               m_impl->TotalTurn() == RotateNoneFlipNone));
        StripAssembly assembly{writer, text, Width(), Height(), {}, 0, false};
        assembly.strip.reserve(size_t(Width()) * 3 * size_t(writer.RowsPerStrip()));
        // Pixels are computed on the library's threads while strips compress on ours.
        const int base = m_impl->turned ? kTurnShare : 0;
        const ComputationWatch watch(pixels, m_impl->stop, m_impl->progress, base, 100 - base);
        // The library's own count is the whole process's: conversions side by side share it.
        pixels = pixels.copy();
        pixels.set(VIPS_META_CONCURRENCY, m_impl->threads);
        if (vips_sink_disc(pixels.get_image(), TakeRows, &assembly) != 0 &&
            !assembly.writerFailed) {
            m_pixelsFailed = true;
            if (m_impl->Stopped()) return Fail(QStringLiteral("stopped"));
            m_damaged = m_impl->strict;
            return Fail(FailureReason(m_impl->explain));
        }
        if (assembly.writerFailed || !writer.Finish()) return Fail(writer.Error());
        return true;
    } catch (const vips::VError& error) {
        m_pixelsFailed = true;
        const bool own = dynamic_cast<const OwnFailure*>(&error) != nullptr;
        m_damaged = m_impl->strict && !m_impl->Stopped() && !own;
        return Fail(m_impl->Stopped() ? QStringLiteral("stopped")
                                      : FailureReason(error, m_impl->explain));
    }
}

}  // namespace imaging
