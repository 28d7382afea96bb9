#include "imaging/execute.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <variant>
#include <vector>
#include <vips/vips8>

#include "host/cores.h"
#include "host/native_file.h"
#include "imaging/colour.h"
#include "imaging/enlarge.h"
#include "imaging/imaging_library.h"
#include "imaging/metadata.h"
#include "imaging/photo_internal.h"
#include "imaging/text_layout.h"
#include "imaging/tiff_writer.h"
#include "resources/texts.h"

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

VImage ScaledTo(const VImage& rgb, const QSize& size);

/// @p frame as 8-bit RGB (its profile to @p profile), scaled to @p size as stored.
VImage ScaledFrame(const VImage& frame, const ConversionRequest& request, const QSize& size,
                   QByteArray* profile) {
    return ScaledTo(ToRgb8(frame, request.colours, request.background, profile), size);
}

/// @p rgb scaled to exactly @p size.
VImage ScaledTo(const VImage& rgb, const QSize& size) {
    VImage scaled = ScaleCubic(rgb, size.width(), size.height());
    // Rounding inside the resampler may leave a pixel too many or too few.
    if (scaled.width() != size.width() || scaled.height() != size.height())
        scaled = scaled.embed(0, 0, size.width(), size.height(),
                              VImage::option()->set("extend", VIPS_EXTEND_COPY));
    return scaled.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

/// A line of text laid on the bitmap: its coverage, where, and in what colour.
struct TextPatch {
    QRect box;
    QImage layer;  // premultiplied ARGB, box-sized
};

/// Lays the part of @p patch that falls on @p covered: the pixels of the
/// picture that @p rows holds, RGB, row after row.
void Paint(const TextPatch& patch, uint8_t* rows, const QRect& covered) {
    const QRect inked = patch.box.intersected(covered);
    for (int y = inked.top(); y <= inked.bottom(); ++y) {
        const auto* ink =
            reinterpret_cast<const QRgb*>(patch.layer.constScanLine(y - patch.box.top())) +
            (inked.left() - patch.box.left());
        uint8_t* pixel = rows + (size_t(y - covered.top()) * size_t(covered.width()) +
                                 size_t(inked.left() - covered.left())) *
                                    3;
        for (int x = 0; x < inked.width(); ++x, pixel += 3) {
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

/// @p patch, laid on a picture of @p size, moved with the picture as @p turn turns it.
TextPatch Turned(const TextPatch& patch, Turn turn, const QSize& size) {
    if (turn.IsNone()) return patch;
    QImage layer = patch.layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const VImage turned =
        Turned(VImage::new_from_memory(layer.bits(), size_t(layer.sizeInBytes()), layer.width(),
                                       layer.height(), 4, VIPS_FORMAT_UCHAR),
               turn);
    size_t bytes = 0;
    std::unique_ptr<void, decltype(&g_free)> held(turned.write_to_memory(&bytes), g_free);
    QImage moved(static_cast<const uchar*>(held.get()), turned.width(), turned.height(),
                 turned.width() * 4, QImage::Format_ARGB32_Premultiplied);
    return {turn.Transform(size).mapRect(QRectF(patch.box)).toRect(), moved.copy()};
}

/// A size @p scale times @p size, at least a pixel each way.
QSize Scaled(const QSize& size, double scale) {
    return {std::max(1, int(std::lround(size.width() * scale))),
            std::max(1, int(std::lround(size.height() * scale)))};
}

/// The text of @p plan on its canvas shown at @p scale, in the colours of
/// @p profile; nothing when it covers nothing. Throws an OwnFailure when its
/// layer would hold more than @p limits allow.
std::optional<TextPatch> TextPatchOf(const ConversionPlan::Text& text, const QColor& colour,
                                     double scale, const QByteArray& profile,
                                     const Limits& limits) {
    if (text.block.lines.join(QString()).isEmpty()) return std::nullopt;
    const QRect full = TextArea(text.block, text.topLeft, text.canvas);
    if (full.isEmpty()) return std::nullopt;
    const QRect area =
        QRect(QPoint(int(std::floor(full.left() * scale)), int(std::floor(full.top() * scale))),
              QPoint(int(std::ceil((full.right() + 1) * scale)) - 1,
                     int(std::ceil((full.bottom() + 1) * scale)) - 1))
            .intersected(QRect(QPoint(0, 0), Scaled(text.canvas, scale)));
    if (area.isEmpty()) return std::nullopt;
    // The layer, and its copy in the carried profile, are held until the pixels pass.
    const int64_t holding = int64_t{area.width()} * area.height() * 4 * 2;
    if (holding > limits.maxMemory)
        throw OwnFailure(
            res::Say(res::Text::TextOverBudget,
                     {QString::number(area.width()), QString::number(area.height()),
                      QString::number(holding >> 20), QString::number(limits.maxMemory >> 20)}));
    QImage layer = DrawTextBlock(text.block, colour, text.topLeft, area, scale);
    if (layer.isNull()) throw OwnFailure(res::Say(res::Text::NoMemoryForText));
    // The pixels' values are those of the profile carried: the ink's too.
    if (!profile.isEmpty()) ConvertFromSrgb(layer, profile);
    return TextPatch{area, std::move(layer)};
}

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
            Paint(patch, assembly.strip.data(),
                  QRect(0, assembly.stripFirst, assembly.width, rows));
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

/// The pixels of @p plan as they go to the writer: turned, with the text laid
/// after the turn left to lay as the rows pass by.
struct LaidOut {
    VImage pixels;
    std::vector<TextPatch> text;  // in output pixels
    bool held = false;            // the pixels were computed whole to turn them
};

/// Runs the stages of @p plan on @p stored, the frame scaled as stored to
/// @p scale times the plan's size: the text that turns with the photo, the
/// one turn, and the upright text.
LaidOut LayOut(const ConversionPlan& plan, const VImage& stored, double scale,
               const QByteArray& profile, const Budget& budget) {
    LaidOut laid{stored, {}, false};
    std::optional<TextPatch> before;
    if (plan.text) {
        std::optional<TextPatch> patch =
            TextPatchOf(*plan.text, plan.request.colour, scale, profile, budget.limits);
        // Laid out on its canvas: moved to where the pixels have it.
        if (patch) patch = Turned(*patch, plan.text->toPixels, Scaled(plan.text->canvas, scale));
        if (patch && plan.text->turned)
            before = std::move(patch);
        else if (patch)
            laid.text.push_back(std::move(*patch));
    }
    if (plan.turn.IsNone()) {
        if (before) laid.text.insert(laid.text.begin(), std::move(*before));
        return laid;
    }
    // Turning reads out of order: the pixels are held whole for it, a copy
    // of our own that the text is laid on.
    const int64_t holding = int64_t{stored.width()} * stored.height() * 3;
    if (holding > budget.limits.maxMemory)
        throw OwnFailure(res::Say(
            res::Text::TurnOverBudget,
            {QString::number(stored.width()), QString::number(stored.height()),
             QString::number(holding >> 20), QString::number(budget.limits.maxMemory >> 20)}));
    size_t bytes = 0;
    const ComputationWatch watch(stored, budget.stop, budget.progress, 0, kTurnShare);
    laid.held = true;
    auto* pixels = static_cast<uint8_t*>(stored.write_to_memory(&bytes));
    if (before) Paint(*before, pixels, QRect(0, 0, stored.width(), stored.height()));
    laid.pixels = Turned(VImage::new_from_memory_steal(pixels, bytes, stored.width(),
                                                       stored.height(), 3, VIPS_FORMAT_UCHAR),
                         plan.turn);
    return laid;
}

/// Writes @p plan's pixels from @p frame to @p out.
std::optional<StepFailure> Write(const ConversionPlan& plan, const FrameData& frame,
                                 const Photo& photo, const Budget& budget, QIODevice& out,
                                 bool streamed) {
    QByteArray profile;
    const auto pixelsFailed = [&](const QString& reason, bool own) -> StepFailure {
        if (budget.stop && *budget.stop) return {Step::Scale, res::Say(res::Text::Stopped)};
        return {Step::Scale, reason, budget.strict && !own};
    };
    try {
        VImage stored = ScaledFrame(frame.image, plan.request, plan.scaled, &profile);
        LaidOut laid = LayOut(plan, stored, 1.0, profile, budget);
        if (laid.pixels.width() != plan.output.width() ||
            laid.pixels.height() != plan.output.height() || laid.pixels.bands() != 3 ||
            laid.pixels.format() != VIPS_FORMAT_UCHAR)
            throw OwnFailure(QStringLiteral("the pixels are not of the planned size and kind"));
        PhotoMetadata metadata = MetadataOf(frame.image);
        Complete(metadata, photo.FileMetadata());
        // As the photo reads it: HEIF pixels come turned already, whatever the EXIF says.
        metadata.orientation = photo.CameraOrientation();
        const int threads = budget.threads > 0 ? budget.threads : host::CoresForThisProcess().count;
        // The camera's orientation still applies to pixels no turn has touched.
        // Converted to sRGB, the file says so as colour-managed programs expect.
        const QByteArray& carried =
            profile.isEmpty() && plan.request.colours == ColourHandling::ToSrgb ? SrgbProfile()
                                                                                : profile;
        TiffStripWriter writer(
            out, plan.output.width(), plan.output.height(), plan.dpi, carried,
            streamed ? TiffStripWriter::Delivery::Streamed
                     : TiffStripWriter::Delivery::WhenComplete,
            threads,
            MetadataToWrite(metadata, plan.request.metadata, plan.turn.IsNone(), WritingTime()));
        StripAssembly assembly{writer, laid.text, plan.output.width(), plan.output.height(), {},
                               0,      false};
        assembly.strip.reserve(size_t(plan.output.width()) * 3 * size_t(writer.RowsPerStrip()));
        // Pixels are computed on the library's threads while strips compress on ours.
        const int base = laid.held ? kTurnShare : 0;
        const ComputationWatch watch(laid.pixels, budget.stop, budget.progress, base, 100 - base);
        // The library's own count is the whole process's: conversions side by side share it.
        VImage pixels = laid.pixels.copy();
        pixels.set(VIPS_META_CONCURRENCY, threads);
        if (vips_sink_disc(pixels.get_image(), TakeRows, &assembly) != 0 && !assembly.writerFailed)
            return pixelsFailed(FailureReason(frame.explain), false);
        if (assembly.writerFailed || !writer.Finish())
            return StepFailure{Step::Save, writer.Error()};
        return std::nullopt;
    } catch (const vips::VError& error) {
        const bool own = dynamic_cast<const OwnFailure*>(&error) != nullptr;
        return pixelsFailed(FailureReason(error, frame.explain), own);
    }
}

}  // namespace

VImage Turned(VImage image, Turn turn) {
    static constexpr VipsAngle kAngles[4] = {VIPS_ANGLE_D0, VIPS_ANGLE_D90, VIPS_ANGLE_D180,
                                             VIPS_ANGLE_D270};
    if (turn.Quarters() != 0) image = image.rot(kAngles[turn.Quarters()]);
    if (turn.Mirrored()) image = image.flip(VIPS_DIRECTION_HORIZONTAL);
    return image;
}

namespace {

/// The active frame of @p photo for @p plan, or why there is none.
std::variant<std::shared_ptr<FrameData>, StepFailure> FrameFor(const ConversionPlan& plan,
                                                               const Photo& photo,
                                                               const Budget& budget) {
    if (!plan.refusal.isEmpty()) return StepFailure{Step::Scale, plan.refusal};
    std::shared_ptr<FrameData> frame = photo.ActiveFrameData(
        FrameUse{plan.request.output, budget.strict, budget.stop, budget.decoder});
    if (frame && !frame->image.is_null() && frame->image.width() > 0 && frame->image.height() > 0)
        return frame;
    const QString failure =
        frame && !frame->failure.isEmpty() ? frame->failure : photo.LoadFailure();
    return StepFailure{Step::Scale, failure.isEmpty() ? res::Say(res::Text::Unrenderable) : failure,
                       frame && frame->damaged};
}

}  // namespace

std::optional<StepFailure> Execute(const ConversionPlan& plan, const Photo& photo,
                                   const Budget& budget, const Output& output) {
    auto found = FrameFor(plan, photo, budget);
    if (auto* failure = std::get_if<StepFailure>(&found)) return *failure;
    const std::shared_ptr<FrameData> frame = std::get<std::shared_ptr<FrameData>>(found);
    if (output.device) return Write(plan, *frame, photo, budget, *output.device, false);
    // The old file is replaced only by a complete new one.
    host::ReplacingFile file(output.path, output.mayReplace);
    if (!file.Open()) return StepFailure{Step::Save, file.Error()};
    if (std::optional<StepFailure> failure =
            Write(plan, *frame, photo, budget, file.Device(), true))
        return failure;
    if (!file.Commit()) return StepFailure{Step::Save, file.Error()};
    return std::nullopt;
}

std::optional<StepFailure> ExecuteDespiteDamage(const ConversionPlan& plan, const Photo& photo,
                                                Budget budget, const Output& output,
                                                QString* damage) {
    budget.strict = true;
    std::optional<StepFailure> failure = Execute(plan, photo, budget, output);
    if (!failure || !failure->damage || (budget.stop && *budget.stop)) return failure;
    budget.strict = false;
    const StepFailure strict = *failure;
    failure = Execute(plan, photo, budget, output);
    if (!failure && damage) *damage = strict.reason;
    // Failing where the damage is, the decoder's own account of it is the reason.
    if (failure && failure->step == strict.step) failure->reason = strict.reason;
    return failure;
}

std::variant<QImage, StepFailure> ExecuteArea(const ConversionPlan& plan, const Photo& photo,
                                              const QRect& area, const Budget& budget) {
    auto found = FrameFor(plan, photo, budget);
    if (auto* failure = std::get_if<StepFailure>(&found)) return *failure;
    const std::shared_ptr<FrameData> frame = std::get<std::shared_ptr<FrameData>>(found);
    const QRect wanted = area.intersected(QRect(QPoint(0, 0), plan.output));
    if (wanted.isEmpty()) return QImage();
    try {
        QByteArray profile;
        const VImage stored = ScaledFrame(frame->image, plan.request, plan.scaled, &profile);
        // Only the part that turns into the area is computed.
        const QRect storedArea =
            plan.turn.Inverse().Transform(plan.output).mapRect(QRectF(wanted)).toRect();
        const VImage piece =
            stored.crop(storedArea.x(), storedArea.y(), storedArea.width(), storedArea.height())
                .copy_memory();
        std::vector<uint8_t> rows(size_t(storedArea.width()) * size_t(storedArea.height()) * 3);
        std::copy_n(static_cast<const uint8_t*>(piece.data()), rows.size(), rows.begin());
        std::optional<TextPatch> upright;
        if (plan.text) {
            std::optional<TextPatch> patch =
                TextPatchOf(*plan.text, plan.request.colour, 1.0, profile, budget.limits);
            if (patch) patch = Turned(*patch, plan.text->toPixels, plan.text->canvas);
            if (patch && plan.text->turned)
                Paint(*patch, rows.data(), storedArea);
            else
                upright = std::move(patch);
        }
        const VImage turned =
            Turned(VImage::new_from_memory(rows.data(), rows.size(), storedArea.width(),
                                           storedArea.height(), 3, VIPS_FORMAT_UCHAR),
                   plan.turn)
                .copy_memory();
        QImage picture(turned.width(), turned.height(), QImage::Format_RGB888);
        std::vector<uint8_t> out(size_t(turned.width()) * size_t(turned.height()) * 3);
        std::copy_n(static_cast<const uint8_t*>(turned.data()), out.size(), out.begin());
        if (upright) Paint(*upright, out.data(), wanted);
        const size_t rowBytes = size_t(turned.width()) * 3;
        for (int y = 0; y < turned.height(); ++y)
            std::copy_n(out.data() + rowBytes * size_t(y), rowBytes, picture.scanLine(y));
        return picture;
    } catch (const vips::VError& error) {
        const bool own = dynamic_cast<const OwnFailure*>(&error) != nullptr;
        return StepFailure{Step::Scale, FailureReason(error, frame->explain),
                           budget.strict && !own};
    }
}

QImage ExecuteSmall(const ConversionPlan& plan, const QImage& frame, const QSize& box,
                    const QColor& background) {
    QImage shown(box, QImage::Format_RGB32);
    shown.fill(background);
    if (frame.isNull() || !plan.refusal.isEmpty() || box.isEmpty()) return shown;
    const double scale = std::min(double(box.width()) / plan.output.width(),
                                  double(box.height()) / plan.output.height());
    try {
        const QImage rgb = frame.convertToFormat(QImage::Format_RGB888);
        const size_t rowBytes = size_t(rgb.width()) * 3;
        std::vector<uint8_t> bytes(rowBytes * size_t(rgb.height()));
        for (int y = 0; y < rgb.height(); ++y)
            std::copy_n(rgb.constScanLine(y), rowBytes, bytes.data() + rowBytes * size_t(y));
        // Back as stored, as the frame is when converted.
        const VImage upright = VImage::new_from_memory(bytes.data(), bytes.size(), rgb.width(),
                                                       rgb.height(), 3, VIPS_FORMAT_UCHAR);
        const VImage stored = Turned(upright, plan.camera.Inverse());
        const VImage scaled = ScaledTo(stored, Scaled(plan.scaled, scale));
        LaidOut laid = LayOut(plan, scaled.copy_memory(), scale, {}, Budget{});
        const VImage pixels = laid.pixels.copy_memory();
        QImage picture(pixels.width(), pixels.height(), QImage::Format_RGB888);
        std::vector<uint8_t> rows(size_t(pixels.width()) * pixels.height() * 3);
        auto* memory = static_cast<const uint8_t*>(pixels.data());
        std::copy(memory, memory + rows.size(), rows.begin());
        for (const TextPatch& patch : laid.text)
            Paint(patch, rows.data(), QRect(0, 0, pixels.width(), pixels.height()));
        for (int y = 0; y < pixels.height(); ++y)
            std::copy_n(rows.data() + size_t(y) * pixels.width() * 3, pixels.width() * 3,
                        picture.scanLine(y));
        QPainter painter(&shown);
        painter.drawImage(
            QPoint((box.width() - picture.width()) / 2, (box.height() - picture.height()) / 2),
            picture);
    } catch (const vips::VError&) {
    }
    return shown;
}

}  // namespace imaging
