#include "imaging/photo.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <string>
#include <vips/vips8>

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
    const auto is = [&](std::string_view family) { return name.substr(0, family.size()) == family; };
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
    VipsPhoto(QString path, Loader loader, QUuid dimension, uint32_t frames, VImage frame)
        : m_path(std::move(path)),
          m_nativePath(QFile::encodeName(m_path).toStdString()),
          m_loader(loader),
          m_dimension(dimension),
          m_frames(frames),
          m_frame(std::move(frame)) {
        if (loader == Loader::Tiff && frames > 1) m_pageIndex = TiffPageIndex::Read(m_path, m_frames);
    }

    int Width() const override { return m_frame.width(); }
    int Height() const override { return m_frame.height(); }
    std::vector<QUuid> FrameDimensions() const override { return {m_dimension}; }
    uint32_t FrameCount(const QUuid& dimension) const override {
        return dimension == m_dimension ? m_frames : 0;
    }

    bool SelectActiveFrame(const QUuid& dimension, uint32_t index) override {
        if (dimension != m_dimension || index >= m_frames) return false;
        if (index == m_active) return true;
        try {
            VImage frame = OpenFrame(index);
            if (static_cast<int64_t>(frame.width()) * frame.height() > kMaxPhotoPixels) return false;
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

    std::shared_ptr<FrameData> ActiveFrameData(const QSize&) const override {
        try {
            return std::make_shared<FrameData>(FrameData{OpenFrame(m_active)});
        } catch (const vips::VError&) {
            vips_error_clear();
            return nullptr;
        }
    }

private:
    /// Frame @p index, to be read once from the top; throws when it cannot be
    /// opened.
    VImage OpenFrame(uint32_t index) const {
        if (m_pageIndex)
            if (std::optional<VImage> page = m_pageIndex->OpenPage(m_path, index)) return *page;
        vips::VOption* options = VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL);
        if (m_frames > 1) options->set("page", static_cast<int>(index));
        return VImage::new_from_file(m_nativePath.c_str(), options);
    }

    QImage MakePreview(const QSize& size) const {
        try {
            if (m_pageIndex)  // a TIFF page has no smaller copy to load instead
                return ToRgbImage(OpenFrame(m_active).thumbnail_image(size.width(), ThumbnailOptions(size)), size);
            // The thumbnail takes its loader's options with the file name.
            std::string file = m_nativePath;
            if (m_frames > 1) file += "[page=" + std::to_string(m_active) + "]";
            return ToRgbImage(VImage::thumbnail(file.c_str(), size.width(), ThumbnailOptions(size)), size);
        } catch (const vips::VError&) {
            vips_error_clear();
            return {};
        }
    }

    QString m_path;
    std::string m_nativePath;
    Loader m_loader;
    QUuid m_dimension;
    uint32_t m_frames;
    std::optional<TiffPageIndex> m_pageIndex;  // for a multi-page TIFF
    uint32_t m_active = 0;
    VImage m_frame;
    std::optional<QImage> m_preview;
    uint32_t m_previewFrame = 0;
    QSize m_previewSize;
};

/// A file that could not be decoded: no size, no frames, nothing to show.
class UndecodedPhoto final : public Photo {
public:
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    std::vector<QUuid> FrameDimensions() const override { return {}; }
    uint32_t FrameCount(const QUuid&) const override { return 0; }
    bool SelectActiveFrame(const QUuid&, uint32_t) override { return false; }
    QImage Preview(const QSize&) override { return {}; }
    double HorizontalResolution() const override { return kDefaultDpi; }
};

}  // namespace

std::optional<VImage> ActiveFrameOf(const Photo& photo, const QSize& target) {
    const std::shared_ptr<FrameData> frame = photo.ActiveFrameData(target);
    if (!frame) return std::nullopt;
    return frame->image;
}

std::unique_ptr<Photo> MakeUndecodedPhoto() { return std::make_unique<UndecodedPhoto>(); }

vips::VOption* ThumbnailOptions(const QSize& size) {
    return VImage::option()
        ->set("height", size.height())
        ->set("size", VIPS_SIZE_FORCE)
        ->set("no_rotate", true);
}

QImage ToRgbImage(VImage image, const QSize& size) {
    if (image.has_alpha())  // transparent parts show the black frame
        image = image.flatten(VImage::option()->set("background", std::vector<double>{0.0}));
    image = image.colourspace(VIPS_INTERPRETATION_sRGB).cast(VIPS_FORMAT_UCHAR);
    if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
    if (image.bands() != 3 || image.width() != size.width() || image.height() != size.height())
        return {};
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

std::unique_ptr<Photo> LoadPhoto(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) return std::make_unique<UndecodedPhoto>();
    if (IsEnhancedMetafile(path)) return LoadEnhancedMetafile(path);
    if (IsWindowsMetafile(path)) return LoadWindowsMetafile(path);
    if (IsCameraRawFile(path)) {
        auto raw = LoadCameraRaw(path);
        if (raw->Width() > 0) return raw;  // else perhaps a format with a raw-like name
    }
    const std::string nativePath = QFile::encodeName(path).toStdString();
    try {
        const char* loaderName = vips_foreign_find_load(nativePath.c_str());
        if (!loaderName) throw vips::VError();
        const Loader loader = LoaderOf(loaderName);
        VImage first = VImage::new_from_file(nativePath.c_str(),
                                             VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        const int64_t pixels = static_cast<int64_t>(first.width()) * first.height();
        if (first.width() <= 0 || first.height() <= 0 || pixels > kMaxPhotoPixels)
            return std::make_unique<UndecodedPhoto>();
        if (loader == Loader::Gif && pixels > kGifPixelsAlwaysAllowed && pixels > kMaxGifPixelsPerByte * info.size())
            return std::make_unique<UndecodedPhoto>();
        const int pages = first.get_typeof("n-pages") ? first.get_int("n-pages") : 1;
        QUuid dimension = kFrameDimensionPage;
        if (loader == Loader::Gif || loader == Loader::Webp) dimension = kFrameDimensionTime;
        if (loader == Loader::Magick && LooksLikeIcon(path)) dimension = kFrameDimensionResolution;
        return std::make_unique<VipsPhoto>(path, loader, dimension,
                                           static_cast<uint32_t>(std::max(pages, 1)), first);
    } catch (const vips::VError&) {
        vips_error_clear();
        return std::make_unique<UndecodedPhoto>();
    }
}

}  // namespace imaging
