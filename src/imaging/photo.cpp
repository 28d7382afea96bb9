#include "imaging/photo.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <string>
#include <vips/vips8>

#include "imaging/colour.h"
#include "imaging/formats.h"
#include "imaging/metafile_photo.h"
#include "imaging/photo_internal.h"
#include "imaging/raw_photo.h"
#include "imaging/tiff_pages.h"

namespace imaging {
namespace {

using vips::VImage;

constexpr double kMillimetresPerInch = 25.4;

/// GIF's LZW cannot describe more pixels than this per byte of the file (a
/// code of 12 bits stands for at most 4,096): a larger GIF is missing its
/// data. The GIF loader decodes onto the whole screen, 4 bytes a pixel, so a
/// 50-byte file claiming 20,000 x 20,000 pixels took 1.5 GB and seconds.
constexpr int64_t kMaxGifPixelsPerByte = 4096;
/// Below this many pixels the screen is cheap, and may well be mostly empty.
constexpr int64_t kGifPixelsAlwaysAllowed = int64_t{16} << 20;

enum class Loader { Jpeg, Png, Gif, Webp, Tiff, Magick, Other };

/// The loader family of a loader class, by its nickname ("gifload", ...).
Loader LoaderOf(const char* typeName) {
    const char* nickname = vips_nickname_find(g_type_from_name(typeName));
    const std::string_view name = nickname ? nickname : "";
    const auto is = [&](std::string_view family) {
        return name.substr(0, family.size()) == family;
    };
    if (is("jpegload")) return Loader::Jpeg;
    if (is("pngload")) return Loader::Png;
    if (is("gifload")) return Loader::Gif;
    if (is("webpload")) return Loader::Webp;
    if (is("tiffload")) return Loader::Tiff;
    if (is("magickload")) return Loader::Magick;
    return Loader::Other;
}

/// True when the file starts like an icon file (reserved 0, type 1).
bool LooksLikeIcon(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(4);
    return head.size() == 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0;
}

/// True when a PNG file holds a pHYs chunk (its physical pixel size) before
/// its image data.
bool PngStoresResolution(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(8) != QByteArray("\x89PNG\r\n\x1a\n", 8))
        return false;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        const QByteArray header = file.read(8);
        if (header.size() != 8) return false;
        const QByteArray type = header.mid(4, 4);
        if (type == "pHYs") return true;
        if (type == "IDAT" || type == "IEND") return false;
        const auto length = (static_cast<uint32_t>(static_cast<uint8_t>(header[0])) << 24) |
                            (static_cast<uint32_t>(static_cast<uint8_t>(header[1])) << 16) |
                            (static_cast<uint32_t>(static_cast<uint8_t>(header[2])) << 8) |
                            static_cast<uint32_t>(static_cast<uint8_t>(header[3]));
        if (!file.seek(file.pos() + qint64{length} + 4)) return false;
    }
    return false;
}

/// A photo decoded by libvips. The file's header is read once per frame; the
/// preview is made with shrink-on-load and kept until the frame or size changes.
/// Pixels stream: each use opens the frame anew. libvips reads every page's
/// directory of a TIFF on each open (0.45 s for 10,000 pages), so the pages of
/// a multi-page TIFF are opened through an index of them instead.
class VipsPhoto final : public Photo {
public:
    VipsPhoto(QString path, Loader loader, QUuid dimension, uint32_t frames, VImage frame,
              int orientation)
        : m_path(std::move(path)),
          m_loader(loader),
          m_dimension(dimension),
          m_frames(frames),
          m_frame(std::move(frame)),
          m_orientation(orientation) {
        auto file = std::make_shared<FrameFile>();
        file->path = m_path;
        file->nativePath = QFile::encodeName(m_path).toStdString();
        file->frames = frames;
        if (loader == Loader::Tiff && frames > 1)
            file->pageIndex = TiffPageIndex::Read(m_path, m_frames);
        m_file = std::move(file);
    }

    int Width() const override {
        return SwapsSides(m_orientation) ? m_frame.height() : m_frame.width();
    }
    int Height() const override {
        return SwapsSides(m_orientation) ? m_frame.width() : m_frame.height();
    }
    std::vector<QUuid> FrameDimensions() const override { return {m_dimension}; }
    uint32_t FrameCount(const QUuid& dimension) const override {
        return dimension == m_dimension ? m_frames : 0;
    }

    bool SelectActiveFrame(const QUuid& dimension, uint32_t index) override {
        if (dimension != m_dimension || index >= m_frames) return false;
        if (index == m_active) return true;
        try {
            VImage frame = OpenFrame(index);
            if (static_cast<int64_t>(frame.width()) * frame.height() > kMaxPhotoPixels)
                return false;
            m_frame = frame;
            m_active = index;
            return true;
        } catch (const vips::VError&) {
            vips_error_clear();
            return false;
        }
    }

    QImage Preview(const QSize& size) override {
        if (size.isEmpty()) return {};
        if (m_preview && m_previewFrame == m_active && m_previewSize == size) return *m_preview;
        m_preview = MakePreview(size);
        m_previewFrame = m_active;
        m_previewSize = size;
        return *m_preview;
    }

    double HorizontalResolution() const override {
        bool stored = false;
        switch (m_loader) {
            case Loader::Jpeg:
            case Loader::Tiff:
            case Loader::Webp:
                stored = m_frame.get_typeof("resolution-unit") != 0;
                break;
            case Loader::Png:
                stored = PngStoresResolution(m_path);
                break;
            case Loader::Magick:  // no resolution reads as 0 or one pixel per millimetre
                stored = m_frame.xres() > 0.0 && m_frame.xres() != 1.0;
                break;
            case Loader::Gif:
            case Loader::Other:
                break;
        }
        const double dpi = m_frame.xres() * kMillimetresPerInch;
        return stored && dpi > 0.0 ? dpi : kDefaultDpi;
    }

    std::shared_ptr<FrameData> ActiveFrameData(const QSize&, bool strict) const override {
        // A later read opens the file again: the frame streams from it once.
        const std::shared_ptr<const FrameFile> file = m_file;
        const uint32_t index = m_active;
        return std::make_shared<FrameData>(
            FrameData{file->Open(index, strict), m_orientation,
                      [file, index, strict] { return file->Open(index, strict); }});
    }

private:
    /// Where the frames come from; shared with the frames handed out, which
    /// may outlive the photo.
    struct FrameFile {
        QString path;
        std::string nativePath;
        uint32_t frames = 1;
        std::optional<TiffPageIndex> pageIndex;  // for a multi-page TIFF

        /// Frame @p index, to be read once from the top; throws when it
        /// cannot be opened. With @p strict, reading it fails at the first
        /// damage noticed.
        VImage Open(uint32_t index, bool strict = false) const {
            if (pageIndex && !strict)
                if (std::optional<VImage> page = pageIndex->OpenPage(path, index)) return *page;
            vips::VOption* options = VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL);
            if (strict) options->set("fail_on", VIPS_FAIL_ON_WARNING);
            if (frames > 1) options->set("page", static_cast<int>(index));
            return VImage::new_from_file(nativePath.c_str(), options);
        }
    };

    VImage OpenFrame(uint32_t index) const { return m_file->Open(index); }

    QImage MakePreview(const QSize& size) const {
        // Made as stored, then turned upright.
        const QSize stored = SwapsSides(m_orientation) ? size.transposed() : size;
        try {
            // The thumbnail would read CMYK through the built-in profile, not the photo's own.
            if (m_frame.interpretation() == VIPS_INTERPRETATION_CMYK) {
                const VImage rgb = ToRgb8(OpenFrame(m_active), ColourHandling::ToSrgb, Qt::black);
                return ToRgbImage(rgb.thumbnail_image(stored.width(), ThumbnailOptions(stored)),
                                  size, m_orientation);
            }
            if (m_file->pageIndex)  // a TIFF page has no smaller copy to load instead
                return ToRgbImage(
                    OpenFrame(m_active).thumbnail_image(stored.width(), ThumbnailOptions(stored)),
                    size, m_orientation);
            // The thumbnail takes its loader's options with the file name.
            std::string file = m_file->nativePath;
            if (m_frames > 1) file += "[page=" + std::to_string(m_active) + "]";
            return ToRgbImage(
                VImage::thumbnail(file.c_str(), stored.width(), ThumbnailOptions(stored)), size,
                m_orientation);
        } catch (const vips::VError&) {
            vips_error_clear();
            return {};
        }
    }

    QString m_path;
    Loader m_loader;
    QUuid m_dimension;
    uint32_t m_frames;
    std::shared_ptr<const FrameFile> m_file;
    uint32_t m_active = 0;
    VImage m_frame;
    int m_orientation;  // the turn that sets the stored frames upright; 1 for none
    std::optional<QImage> m_preview;
    uint32_t m_previewFrame = 0;
    QSize m_previewSize;
};

/// A file that could not be decoded: no size, no frames, nothing to show.
class UndecodedPhoto final : public Photo {
public:
    explicit UndecodedPhoto(QString reason) : m_reason(std::move(reason)) {}
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    std::vector<QUuid> FrameDimensions() const override { return {}; }
    uint32_t FrameCount(const QUuid&) const override { return 0; }
    bool SelectActiveFrame(const QUuid&, uint32_t) override { return false; }
    QImage Preview(const QSize&) override { return {}; }
    double HorizontalResolution() const override { return kDefaultDpi; }
    QString LoadFailure() const override { return m_reason; }

private:
    QString m_reason;
};

/// The turn that sets @p frame upright when @p options ask for it; 1 for none.
int OrientationOf(const VImage& frame, const OpenOptions& options) {
    if (!options.autoOrient || !frame.get_typeof(VIPS_META_ORIENTATION)) return 1;
    const int orientation = frame.get_int(VIPS_META_ORIENTATION);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

/// Why @p path cannot be read at all, in the system's words; empty when it can.
QString UnreadableReason(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return QStringLiteral("is a folder");
    // Opening a pipe or a device could wait for ever.
    if (info.exists() && !info.isFile()) return QStringLiteral("not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    return {};
}

}  // namespace

QString LibraryError(const vips::VError& error) {
    vips_error_clear();
    QString text = QString::fromUtf8(error.what()).trimmed();
    text = text.section(u'\n', 0, 0).trimmed();
    return text.isEmpty() ? QStringLiteral("the imaging library failed") : text;
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
    if (orientation != 1)
        image = ApplyRotateFlip(image.copy_memory(), RotateFlipForOrientation(orientation));
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
        vips_error_clear();
        return {};
    }
}

QString FrameDimensionName(const QUuid& dimension, int index) {
    if (dimension == kFrameDimensionTime) return QStringLiteral("FrameDimensionTime");
    if (dimension == kFrameDimensionResolution) return QStringLiteral("FrameDimensionResolution");
    if (dimension == kFrameDimensionPage) return QStringLiteral("FrameDimensionPage");
    return QStringLiteral("Dimension%1").arg(index);
}

std::unique_ptr<Photo> LoadPhoto(const QString& path, const OpenOptions& options) {
    // Operations that succeed may still leave remarks; a failure's reason must be its own.
    vips_error_clear();
    if (const QString reason = UnreadableReason(path); !reason.isEmpty())
        return MakeUndecodedPhoto(reason);
    if (IsEnhancedMetafile(path)) return LoadEnhancedMetafile(path);
    if (IsWindowsMetafile(path)) return LoadWindowsMetafile(path);
    if (IsCameraRawFile(path)) {
        auto raw = LoadCameraRaw(path);
        if (raw->Width() > 0) return raw;  // else perhaps a format with a raw-like name
    }
    const std::string nativePath = QFile::encodeName(path).toStdString();
    const QFileInfo info(path);
    try {
        const char* loaderName = vips_foreign_find_load(nativePath.c_str());
        if (!loaderName) {
            vips_error_clear();
            return MakeUndecodedPhoto(QStringLiteral("not a photo file"));
        }
        // Vector pictures are rendered only as large as each use needs.
        if (std::string_view(vips_nickname_find(g_type_from_name(loaderName)))
                .starts_with("svgload"))
            return LoadScalableVectorGraphics(path);
        const Loader loader = LoaderOf(loaderName);
        VImage first = VImage::new_from_file(
            nativePath.c_str(), VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        const int64_t pixels = static_cast<int64_t>(first.width()) * first.height();
        if (first.width() <= 0 || first.height() <= 0)
            return MakeUndecodedPhoto(QStringLiteral("no pixels"));
        if (pixels > kMaxPhotoPixels)
            return MakeUndecodedPhoto(QStringLiteral("%1 x %2 pixels is more than %3 million")
                                          .arg(first.width())
                                          .arg(first.height())
                                          .arg(kMaxPhotoPixels / 1000000));
        if (loader == Loader::Gif && pixels > kGifPixelsAlwaysAllowed &&
            pixels > kMaxGifPixelsPerByte * info.size())
            return MakeUndecodedPhoto(
                QStringLiteral("the file is too short for the size it claims"));
        const int pages = first.get_typeof("n-pages") ? first.get_int("n-pages") : 1;
        QUuid dimension = kFrameDimensionPage;
        if (loader == Loader::Gif || loader == Loader::Webp) dimension = kFrameDimensionTime;
        if (loader == Loader::Magick && LooksLikeIcon(path)) dimension = kFrameDimensionResolution;
        const int orientation = OrientationOf(first, options);
        return std::make_unique<VipsPhoto>(
            path, loader, dimension, static_cast<uint32_t>(std::max(pages, 1)), first, orientation);
    } catch (const vips::VError& error) {
        return MakeUndecodedPhoto(LibraryError(error));
    }
}

}  // namespace imaging
