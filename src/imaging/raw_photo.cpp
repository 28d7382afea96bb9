#include "imaging/raw_photo.h"

#include <libraw/libraw.h>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vips/vips8>

#include "imaging/photo.h"
#include "imaging/photo_internal.h"

namespace imaging {
namespace {

/// A LibRaw handle, closed on every path out.
class RawHandle {
public:
    RawHandle() : m_data(libraw_init(0)) {}
    ~RawHandle() {
        if (m_data) libraw_close(m_data);
    }
    RawHandle(const RawHandle&) = delete;
    RawHandle& operator=(const RawHandle&) = delete;

    libraw_data_t* get() const { return m_data; }
    bool open(const QString& path) {
        return m_data &&
               libraw_open_file(m_data, QFile::encodeName(path).constData()) == LIBRAW_SUCCESS;
    }

private:
    libraw_data_t* m_data;
};

/// Develops the raw data into 8-bit RGB (at half size for previews).
std::optional<vips::VImage> Develop(const QString& path, bool halfSize) {
    RawHandle raw;
    if (!raw.open(path)) return std::nullopt;
    raw.get()->params.output_bps = 8;
    raw.get()->params.half_size = halfSize ? 1 : 0;
    raw.get()->params.use_camera_wb = 1;
    if (libraw_unpack(raw.get()) != LIBRAW_SUCCESS ||
        libraw_dcraw_process(raw.get()) != LIBRAW_SUCCESS)
        return std::nullopt;
    int error = 0;
    const std::unique_ptr<libraw_processed_image_t, decltype(&libraw_dcraw_clear_mem)> image(
        libraw_dcraw_make_mem_image(raw.get(), &error), &libraw_dcraw_clear_mem);
    if (!image || image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 ||
        (image->colors != 3 && image->colors != 1))
        return std::nullopt;
    // vips gets its own copy: an image made over LibRaw's buffer would still
    // point into it once LibRaw frees it (copy_memory keeps such an image).
    void* pixels = std::malloc(image->data_size);  // released with free() by vips
    if (!pixels) return std::nullopt;
    std::memcpy(pixels, image->data, image->data_size);
    try {
        return vips::VImage::new_from_memory_steal(pixels, image->data_size, image->width,
                                                   image->height, image->colors, VIPS_FORMAT_UCHAR);
    } catch (const vips::VError&) {
        vips_error_clear();
        return std::nullopt;
    }
}

class RawPhoto final : public SinglePagePhoto {
public:
    RawPhoto(QString path, int width, int height)
        : m_path(std::move(path)), m_width(width), m_height(height) {}

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    QImage Preview(const QSize& size) override {
        if (size.isEmpty()) return {};
        if (!m_developed) m_developed = Develop(m_path, true);
        if (!*m_developed) return {};
        return ToPreview(**m_developed, size);
    }
    std::shared_ptr<FrameData> ActiveFrameData(const QSize&, bool) const override {
        std::optional<vips::VImage> developed = Develop(m_path, false);
        return developed ? std::make_shared<FrameData>(FrameData{*developed, 1, {}}) : nullptr;
    }

private:
    QString m_path;
    int m_width;
    int m_height;
    std::optional<std::optional<vips::VImage>> m_developed;  // made once, on first use
};

}  // namespace

std::unique_ptr<Photo> LoadCameraRaw(const QString& path) {
    RawHandle raw;
    if (!raw.open(path)) return MakeUndecodedPhoto(QStringLiteral("not a camera raw file"));
    const libraw_image_sizes_t& sizes = raw.get()->sizes;
    // Orientations 5 and 6 turn the sensor's rows into columns.
    const bool turned = sizes.flip == 5 || sizes.flip == 6;
    const int width = turned ? sizes.height : sizes.width;
    const int height = turned ? sizes.width : sizes.height;
    if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxPhotoPixels)
        return MakeUndecodedPhoto(QStringLiteral("no pixels, or more than the pixel limit"));
    return std::make_unique<RawPhoto>(path, width, height);
}

}  // namespace imaging
