#include "imaging/photo.h"

#include <QFileInfo>
#include <QLocale>
#include <optional>
#include <string>
#include <vips/vips8>

#include "imaging/apart_photo.h"
#include "imaging/colour.h"
#include "imaging/formats.h"
#include "imaging/opened_file.h"
#include "imaging/photo_internal.h"
#include "imaging/photo_kind.h"
#include "imaging/qt_photo.h"
#include "imaging/tiff_pages.h"
#include "resources/texts.h"

namespace imaging {
namespace {

using vips::VImage;

constexpr double kMillimetresPerInch = 25.4;

/// Pages a TIFF may hold: each is listed, and a file of small pages could
/// list millions.
constexpr uint32_t kMaxTiffPages = 10'000;

/// A frame of @p kind from @p source.
VImage LoadKind(PhotoKind kind, const vips::VSource& source, vips::VOption* options) {
    const KindFacts& facts = FactsOf(kind);
    return facts.load ? facts.load(source, options) : VImage::tiffload_source(source, options);
}

/// True when a PNG file holds a pHYs chunk (its physical pixel size) before
/// its image data.
bool PngStoresResolution(const OpenedFile& file) {
    if (file.ReadAt(0, 8) != QByteArray("\x89PNG\r\n\x1a\n", 8)) return false;
    qint64 at = 8;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        const QByteArray header = file.ReadAt(at, 8);
        if (header.size() != 8) return false;
        const QByteArray type = header.mid(4, 4);
        if (type == "pHYs") return true;
        if (type == "IDAT" || type == "IEND") return false;
        const auto length = (static_cast<uint32_t>(static_cast<uint8_t>(header[0])) << 24) |
                            (static_cast<uint32_t>(static_cast<uint8_t>(header[1])) << 16) |
                            (static_cast<uint32_t>(static_cast<uint8_t>(header[2])) << 8) |
                            static_cast<uint32_t>(static_cast<uint8_t>(header[3]));
        at += 8 + qint64{length} + 4;
    }
    return false;
}

/// A photo decoded by libvips in this process: formats whose decoders read
/// in order and hold little. The file's header is read once per frame; the
/// preview is made with shrink-on-load and kept until the frame or size
/// changes. Pixels stream: each use opens the frame anew. The pages of a
/// multi-page TIFF are opened through an index of them, since libvips reads
/// every page's directory on each open (0.45 s for 10,000 pages).
class VipsPhoto final : public Photo {
public:
    VipsPhoto(std::shared_ptr<const OpenedFile> file, PhotoKind kind, FrameKind dimension,
              uint32_t frames, std::optional<TiffPageIndex> pages, VImage frame,
              int storedOrientation, const OpenOptions& options)
        : m_frames(std::make_shared<Frames>(
              Frames{std::move(file), kind, frames, std::move(pages), options.limits})),
          m_dimension(dimension),
          m_frame(std::move(frame)),
          m_storedOrientation(storedOrientation),
          m_orientation(options.autoOrient ? storedOrientation : 1) {}

    int Width() const override {
        return SwapsSides(m_orientation) ? m_frame.height() : m_frame.width();
    }
    int Height() const override {
        return SwapsSides(m_orientation) ? m_frame.width() : m_frame.height();
    }
    std::vector<FrameKind> FrameDimensions() const override { return {m_dimension}; }
    uint32_t FrameCount(FrameKind dimension) const override {
        return dimension == m_dimension ? m_frames->count : 0;
    }

    bool SelectActiveFrame(FrameKind dimension, uint32_t index) override {
        if (dimension != m_dimension || index >= m_frames->count) return false;
        if (index == m_active) return true;
        try {
            VImage frame = m_frames->Open(index);
            if (static_cast<int64_t>(frame.width()) * frame.height() > kMaxPhotoPixels)
                return false;
            m_frame = frame;
            m_active = index;
            return true;
        } catch (const vips::VError&) {
            return false;
        }
    }

    void SetUpright(bool upright) override {
        const int orientation = upright ? m_storedOrientation : 1;
        if (orientation != m_orientation) m_preview.reset();
        m_orientation = orientation;
    }
    int CameraOrientation() const override { return m_storedOrientation; }
    bool IsUpright() const override { return m_orientation != 1; }

    QString Damage() const override { return m_damage; }
    PhotoMetadata FileMetadata() const override { return MetadataInFile(*m_frames->file); }

    QImage Preview(const QSize& size) override {
        if (size.isEmpty()) return {};
        if (m_preview && m_previewFrame == m_active && m_previewSize == size) return *m_preview;
        m_preview = MakePreview(size);
        m_previewFrame = m_active;
        m_previewSize = size;
        return *m_preview;
    }

    double HorizontalResolution() const override {
        const bool stored = m_frames->kind == PhotoKind::Png
                                ? PngStoresResolution(*m_frames->file)
                                : FactsOf(m_frames->kind).resolutionUnit &&
                                      m_frame.get_typeof("resolution-unit") != 0;
        const double dpi = m_frame.xres() * kMillimetresPerInch;
        return stored && dpi > 0.0 ? dpi : kDefaultDpi;
    }

    std::shared_ptr<FrameData> ActiveFrameData(const FrameUse& use) const override {
        // A later read opens the file again: the frame streams from it once.
        const std::shared_ptr<const Frames> frames = m_frames;
        const uint32_t index = m_active;
        const bool strict = use.strict;
        auto data = std::make_shared<FrameData>();
        data->orientation = m_orientation;
        data->explain = [frames, index, strict, stop = use.stop] {
            return DecodingFailure(*frames->file, frames->kind, int(index), strict, frames->limits,
                                   stop);
        };
        try {
            data->image = frames->Open(index, strict);
            data->reopen = [frames, index, strict] { return frames->Open(index, strict); };
        } catch (const vips::VError& error) {
            data->failure = FailureReason(error, data->explain);
            data->damaged = strict;
        }
        return data;
    }

private:
    /// Where the frames come from; shared with the frames handed out, which
    /// may outlive the photo.
    struct Frames {
        std::shared_ptr<const OpenedFile> file;
        PhotoKind kind;
        uint32_t count = 1;
        std::optional<TiffPageIndex> pages;  // for a multi-page TIFF
        Limits limits;                       // for saying why a frame does not decode

        /// Frame @p index, to be read once from the top; throws when it
        /// cannot be opened. With @p strict, reading it fails at the first
        /// damage noticed.
        VImage Open(uint32_t index, bool strict = false) const {
            vips::VOption* options = VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL);
            if (strict) options->set("fail_on", VIPS_FAIL_ON_WARNING);
            if (pages) return VImage::tiffload_source(pages->PageSource(file, index), options);
            if (count > 1) options->set("page", static_cast<int>(index));
            return LoadKind(kind, SourceOver(file), options);
        }
    };

    QImage MakePreview(const QSize& size) {
        // Read strictly first, so that damage is told; then as far as it reads.
        m_damage.clear();
        QImage preview = MakePreview(size, true);
        if (!preview.isNull()) return preview;
        m_damage = DecodingFailure(*m_frames->file, m_frames->kind, int(m_active), true,
                                   m_frames->limits, nullptr);
        return MakePreview(size, false);
    }

    QImage MakePreview(const QSize& size, bool strict) const {
        // Made as stored, then turned upright.
        const QSize stored = SwapsSides(m_orientation) ? size.transposed() : size;
        try {
            // The thumbnail would read CMYK through the built-in profile, not the photo's own.
            if (m_frame.interpretation() == VIPS_INTERPRETATION_CMYK) {
                const VImage rgb =
                    ToRgb8(m_frames->Open(m_active, strict), ColourHandling::ToSrgb, Qt::black);
                return ToRgbImage(rgb.thumbnail_image(stored.width(), ThumbnailOptions(stored)),
                                  size, m_orientation);
            }
            if (m_frames->pages)  // a TIFF page has no smaller copy to load instead
                return ToRgbImage(m_frames->Open(m_active, strict)
                                      .thumbnail_image(stored.width(), ThumbnailOptions(stored)),
                                  size, m_orientation);
            vips::VOption* options = ThumbnailOptions(stored);
            std::string loader = strict ? "fail_on=warning" : "";
            if (m_frames->count > 1) {
                if (!loader.empty()) loader += ',';
                loader += "page=";
                loader += std::to_string(m_active);
            }
            if (!loader.empty()) options->set("option_string", loader.c_str());
            return ToRgbImage(
                VImage::thumbnail_source(SourceOver(m_frames->file), stored.width(), options), size,
                m_orientation);
        } catch (const vips::VError&) {
            return {};
        }
    }

    std::shared_ptr<const Frames> m_frames;
    FrameKind m_dimension;
    uint32_t m_active = 0;
    VImage m_frame;
    int m_storedOrientation;  // the camera's orientation tag; 1 for none
    int m_orientation;        // the turn that sets the stored frames upright; 1 for none
    std::optional<QImage> m_preview;
    QString m_damage;  // of the preview's frame
    uint32_t m_previewFrame = 0;
    QSize m_previewSize;
};

/// A file that could not be decoded: no size, no frames, nothing to show.
class UndecodedPhoto final : public Photo {
public:
    explicit UndecodedPhoto(QString reason) : m_reason(std::move(reason)) {}
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    std::vector<FrameKind> FrameDimensions() const override { return {}; }
    uint32_t FrameCount(FrameKind) const override { return 0; }
    bool SelectActiveFrame(FrameKind, uint32_t) override { return false; }
    QImage Preview(const QSize&) override { return {}; }
    double HorizontalResolution() const override { return kDefaultDpi; }
    QString LoadFailure() const override { return m_reason; }

private:
    QString m_reason;
};

/// The camera's orientation tag of @p frame; 1 for none.
int OrientationOf(const VImage& frame) {
    if (!frame.get_typeof(VIPS_META_ORIENTATION)) return 1;
    const int orientation = frame.get_int(VIPS_META_ORIENTATION);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

/// Why frame @p first of @p file of @p kind is refused, or nothing.
std::optional<QString> SizeProblem(const VImage& first, const OpenedFile& file, PhotoKind kind,
                                   const Limits& limits) {
    const int64_t width = first.width();
    const int64_t height = first.height();
    const int64_t pixels = width * height;
    if (width <= 0 || height <= 0) return res::Say(res::Text::NoPixels);
    if (pixels > limits.maxPixels)
        return res::Say(res::Text::PixelsOverOption,
                        {QString::number(width), QString::number(height),
                         QLocale().toString(qint64{limits.maxPixels})});
    const KindFacts& facts = FactsOf(kind);
    const int64_t perByte = facts.maxPixelsPerByte;
    if (perByte > 0 && pixels > kPixelsAlwaysAllowed && pixels > perByte * file.Size())
        return res::Say(res::Text::FileTooShort);
    if (const int64_t whole = facts.wholeDecodeBytes ? facts.wholeDecodeBytes(first) : 0;
        whole > limits.maxMemory)
        return res::Say(res::Text::DecodingOverBudget,
                        {QString::number(whole >> 20), QString::number(limits.maxMemory >> 20)});
    return std::nullopt;
}

std::unique_ptr<Photo> LoadInProcess(std::shared_ptr<const OpenedFile> file, PhotoKind kind,
                                     const OpenOptions& options) {
    try {
        std::optional<TiffPageIndex> pages;
        if (kind == PhotoKind::Tiff) {
            pages = TiffPageIndex::Read(*file, kMaxTiffPages);
            if (pages->more())
                return MakeUndecodedPhoto(
                    res::Say(res::Text::TooManyPages, {QLocale().toString(kMaxTiffPages)}));
            if (pages->size() < 2) pages.reset();
        }
        const VImage first =
            pages ? VImage::tiffload_source(pages->PageSource(file, 0),
                                            VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL))
                  : LoadKind(kind, SourceOver(file),
                             VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        if (const auto problem = SizeProblem(first, *file, kind, options.limits))
            return MakeUndecodedPhoto(*problem);
        const uint32_t frames =
            pages
                ? pages->size()
                : uint32_t(std::max(first.get_typeof("n-pages") ? first.get_int("n-pages") : 1, 1));
        const FrameKind dimension =
            kind == PhotoKind::Gif || kind == PhotoKind::Webp ? FrameKind::Time : FrameKind::Page;
        return std::make_unique<VipsPhoto>(file, kind, dimension, frames, std::move(pages), first,
                                           OrientationOf(first), options);
    } catch (const vips::VError& error) {
        return MakeUndecodedPhoto(FailureReason(error, [&] {
            return DecodingFailure(*file, kind, 0, false, options.limits, options.stop);
        }));
    }
}

}  // namespace

QString FailureReason(const vips::VError& error, const std::function<QString()>& explain) {
    if (dynamic_cast<const OwnFailure*>(&error)) return QString::fromStdString(error.what());
    return FailureReason(explain);
}

QString FailureReason(const std::function<QString()>& explain) {
    const QString reason = explain ? explain() : QString();
    return reason.isEmpty() ? res::Say(res::Text::LibraryFailed) : reason;
}

std::unique_ptr<Photo> MakeUndecodedPhoto(QString reason) {
    return std::make_unique<UndecodedPhoto>(std::move(reason));
}

vips::VOption* ThumbnailOptions(const QSize& size) {
    return VImage::option()
        ->set("height", size.height())
        ->set("size", VIPS_SIZE_FORCE)
        ->set("no_rotate", true);
}

QImage ToRgbImage(VImage image, const QSize& size, int orientation) {
    // Shown as a colour-managed viewer shows it; transparent parts show the black frame.
    image = ToRgb8(image, ColourHandling::ToSrgb, Qt::black);
    if (orientation != 1) image = Turned(image.copy_memory(), Turn::Uprighting(orientation));
    if (image.width() != size.width() || image.height() != size.height()) return {};
    size_t bytes = 0;
    void* pixels = image.write_to_memory(&bytes);
    const QImage copy = QImage(static_cast<const uchar*>(pixels), image.width(), image.height(),
                               image.width() * 3, QImage::Format_RGB888)
                            .copy();
    g_free(pixels);
    return copy;
}

QImage ToPreview(const VImage& image, const QSize& size) {
    try {
        return ToRgbImage(image.thumbnail_image(size.width(), ThumbnailOptions(size)), size);
    } catch (const vips::VError&) {
        return {};
    }
}

QString FrameDimensionName(FrameKind dimension, int index) {
    if (dimension == FrameKind::Time) return QStringLiteral("FrameDimensionTime");
    if (dimension == FrameKind::Resolution) return QStringLiteral("FrameDimensionResolution");
    if (dimension == FrameKind::Page) return QStringLiteral("FrameDimensionPage");
    return QStringLiteral("Dimension%1").arg(index);
}

std::unique_ptr<Photo> LoadPhoto(const QString& path, const OpenOptions& options) {
    QString reason;
    const std::shared_ptr<OpenedFile> file = OpenedFile::Open(path, &reason);
    if (!file) return MakeUndecodedPhoto(reason);
    if (options.keepBytes > 0) file->KeepBytes(options.keepBytes);
    // A camera's raw file is told by its name, then by the raw developer;
    // one it does not take may still be a photo of another kind.
    if (IsCameraRawFile(path)) {
        std::unique_ptr<Photo> raw = LoadApart(file, PhotoKind::CameraRaw, options);
        if (raw->Width() > 0) return raw;
    }
    const std::variant<PhotoKind, Refusal> kind = KindOfContent(file);
    if (const auto* refusal = std::get_if<Refusal>(&kind))
        return MakeUndecodedPhoto(refusal->reason);
    const PhotoKind photoKind = std::get<PhotoKind>(kind);
    switch (FactsOf(photoKind).decodedBy) {
        case DecodedBy::Apart:
            return LoadApart(file, photoKind, options);
        case DecodedBy::Qt:
            return LoadQtPhoto(file, photoKind, options);
        case DecodedBy::Library:
            break;
    }
    return LoadInProcess(file, photoKind, options);
}

}  // namespace imaging
