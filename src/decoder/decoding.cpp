#include "decoder/decoding.h"

#include <libraw/libraw.h>
#include <QLocale>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "decoder/blob.h"
#include "decoder/drawing.h"

namespace decoder {
namespace {

using vips::VImage;

/// A picture decoded whole from a file this small for its size lies about it
/// (or is all one colour, which no photo is); below this many pixels the cost
/// is small either way.
constexpr int64_t kMaxPixelsPerByte = 4096;
constexpr int64_t kPixelsAlwaysAllowed = int64_t{16} << 20;

Refusal LibraryRefusal(const vips::VError& error) {
    const QString text = QString::fromUtf8(error.what()).section(u'\n', 0, 0).trimmed();
    return Refusal{text.isEmpty() ? res::Saying(res::Text::DecoderFailed) : res::Saying(text)};
}

/// Why a picture of @p width x @p height decoded whole from @p fileBytes is
/// refused, or nothing.
std::optional<Refusal> WholeDecodeProblem(int64_t width, int64_t height, qint64 fileBytes,
                                          const Limits& limits) {
    const int64_t pixels = width * height;
    if (width <= 0 || height <= 0) return Refusal{{res::Text::NoPixels}};
    if (pixels > limits.maxPixels)
        return Refusal{{res::Text::PixelsOverLimit,
                        {QString::number(width), QString::number(height),
                         QLocale().toString(qint64{limits.maxPixels})}}};
    if (pixels > kPixelsAlwaysAllowed && pixels > kMaxPixelsPerByte * fileBytes)
        return Refusal{{res::Text::FileTooShort}};
    const int64_t needed = pixels * kWholeDecodeBytesPerPixel;
    if (needed > limits.maxMemory)
        return Refusal{{res::Text::DecodingPixelsOverBudget,
                        {QString::number(width), QString::number(height),
                         QString::number(needed >> 20), QString::number(limits.maxMemory >> 20)}}};
    return std::nullopt;
}

// ---- Bitmaps the imaging library decodes whole: HEIF, AVIF, JPEG XL, JPEG 2000;
// and, to say why one fails, those the program decodes itself as it streams.

/// True for the kinds the program decodes in its own process.
bool Streamed(const QString& kind) {
    return kind == u"jpeg" || kind == u"png" || kind == u"gif" || kind == u"webp" ||
           kind == u"tiff";
}

VImage LoadBitmap(const QString& kind, const Blob& blob, vips::VOption* options) {
    if (Streamed(kind)) options->set("access", VIPS_ACCESS_SEQUENTIAL);
    if (kind == u"heif") return VImage::heifload_buffer(blob.get(), options);
    if (kind == u"jxl") return VImage::jxlload_buffer(blob.get(), options);
    if (kind == u"jpeg") return VImage::jpegload_buffer(blob.get(), options);
    if (kind == u"png") return VImage::pngload_buffer(blob.get(), options);
    if (kind == u"gif") return VImage::gifload_buffer(blob.get(), options);
    if (kind == u"webp") return VImage::webpload_buffer(blob.get(), options);
    if (kind == u"tiff") return VImage::tiffload_buffer(blob.get(), options);
    return VImage::jp2kload_buffer(blob.get(), options);
}

/// @p image, made in memory from what @p loaded read, with @p loaded kept as
/// long as it is: loaders leave fields (HEIF's EXIF and XMP) pointing into
/// memory of their own, which a copy's fields still point at.
VImage MadeFrom(VImage image, const VImage& loaded) {
    g_object_set_data_full(G_OBJECT(image.get_image()), "tessiva-loaded", new VImage(loaded),
                           [](gpointer kept) { delete static_cast<VImage*>(kept); });
    return image;
}

Answer DecodeBitmap(const Request& request, const QByteArray& bytes) {
    const Blob blob(bytes);
    const auto options = [&] {
        vips::VOption* options = VImage::option();
        if (request.page > 0) options->set("page", request.page);
        if (request.strict) options->set("fail_on", VIPS_FAIL_ON_WARNING);
        return options;
    };
    try {
        VImage header = LoadBitmap(request.kind, blob, options());
        if (Streamed(request.kind) && request.operation != Operation::Check)
            return Refusal{QStringLiteral("%1 is decoded by the program").arg(request.kind)};
        if (const auto problem = !Streamed(request.kind)
                                     ? WholeDecodeProblem(header.width(), header.height(),
                                                          bytes.size(), request.limits)
                                     : std::nullopt)
            return *problem;
        switch (request.operation) {
            case Operation::Probe: {
                const int pages = header.get_typeof("n-pages") ? header.get_int("n-pages") : 1;
                const int orientation = header.get_typeof(VIPS_META_ORIENTATION)
                                            ? header.get_int(VIPS_META_ORIENTATION)
                                            : 1;
                return Probe{header.width(), header.height(), std::max(pages, 1), orientation};
            }
            case Operation::Preview: {
                const VImage preview = header.thumbnail_image(
                    request.size.width(), VImage::option()
                                              ->set("height", request.size.height())
                                              ->set("size", VIPS_SIZE_FORCE)
                                              ->set("no_rotate", true));
                // Read strictly, the small picture is made before the answer starts:
                // damage is then a refusal that says why, not a cut answer.
                return request.strict ? MadeFrom(preview.copy_memory(), header) : preview;
            }
            case Operation::Frame:
                // Decoded before the answer starts: a failure is then a refusal,
                // not a cut answer. HEIF and JPEG XL decode the whole picture at
                // its first pixel; JPEG 2000 reads its tiles once, in order.
                if (request.kind == u"jp2") return MadeFrom(header.copy_memory(), header);
                (void)header.getpoint(0, 0);
                return header;
            case Operation::Check:
                (void)header.avg();
                return Probe{header.width(), header.height(), 1, 1};
        }
    } catch (const vips::VError& error) {
        // Under strict reading a loader's complaint is damage, which a lenient
        // reading may get past.
        Refusal refusal = LibraryRefusal(error);
        refusal.damage = request.strict;
        return refusal;
    }
    return Refusal{};
}

// ---- Camera raw files, developed by LibRaw.

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
    bool Open(const QByteArray& bytes) {
        return m_data && libraw_open_buffer(m_data, const_cast<char*>(bytes.constData()),
                                            size_t(bytes.size())) == LIBRAW_SUCCESS;
    }

private:
    libraw_data_t* m_data;
};

/// Develops the raw data into 8-bit RGB (at half size for previews).
Answer Develop(RawHandle& raw, bool halfSize) {
    raw.get()->params.output_bps = 8;
    raw.get()->params.half_size = halfSize ? 1 : 0;
    raw.get()->params.use_camera_wb = 1;
    if (libraw_unpack(raw.get()) != LIBRAW_SUCCESS ||
        libraw_dcraw_process(raw.get()) != LIBRAW_SUCCESS)
        return Refusal{{res::Text::RawUndevelopable}};
    int error = 0;
    const std::unique_ptr<libraw_processed_image_t, decltype(&libraw_dcraw_clear_mem)> image(
        libraw_dcraw_make_mem_image(raw.get(), &error), &libraw_dcraw_clear_mem);
    if (!image || image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 ||
        (image->colors != 3 && image->colors != 1))
        return Refusal{{res::Text::RawUndevelopable}};
    // vips gets its own copy: LibRaw frees its buffer with the handle.
    void* pixels = std::malloc(image->data_size);  // released with free() by vips
    if (!pixels) return Refusal{{res::Text::NoMemoryForRaw}};
    std::memcpy(pixels, image->data, image->data_size);
    return VImage::new_from_memory_steal(pixels, image->data_size, image->width, image->height,
                                         image->colors, VIPS_FORMAT_UCHAR);
}

Answer DecodeCameraRaw(const Request& request, const QByteArray& bytes) {
    RawHandle raw;
    if (!raw.Open(bytes)) return Refusal{{res::Text::NotCameraRaw}};
    const libraw_image_sizes_t& sizes = raw.get()->sizes;
    // Orientations 5 and 6 turn the sensor's rows into columns.
    const bool turned = sizes.flip == 5 || sizes.flip == 6;
    const int width = turned ? sizes.height : sizes.width;
    const int height = turned ? sizes.width : sizes.height;
    // A raw file holds at least a byte for every few pixels; the developer's
    // buffers are charged at the same rate as a whole decode.
    if (const auto problem = WholeDecodeProblem(width, height, bytes.size(), request.limits))
        return *problem;
    try {
        switch (request.operation) {
            case Operation::Probe:
                return Probe{width, height, 1, 1};
            case Operation::Preview: {
                Answer developed = Develop(raw, true);
                if (auto* image = std::get_if<VImage>(&developed))
                    return image->thumbnail_image(request.size.width(),
                                                  VImage::option()
                                                      ->set("height", request.size.height())
                                                      ->set("size", VIPS_SIZE_FORCE)
                                                      ->set("no_rotate", true));
                return developed;
            }
            case Operation::Frame:
            case Operation::Check:
                return Develop(raw, false);
        }
    } catch (const vips::VError& error) {
        return LibraryRefusal(error);
    }
    return Refusal{};
}

// ---- Drawings.

Answer DecodeDrawing(const Request& request, const QByteArray& bytes) {
    const std::variant<Drawing, Refusal> read = ReadDrawing(request.kind, bytes, request.limits);
    if (const auto* refusal = std::get_if<Refusal>(&read)) return *refusal;
    const Drawing& drawing = std::get<Drawing>(read);
    if (request.operation == Operation::Probe)
        return Probe{drawing.declared.width(), drawing.declared.height(), 1, 1};
    Answer rendered = RenderDrawing(drawing, request.size, request.operation == Operation::Preview,
                                    request.limits);
    // The rendering reads the drawing's text as it is written out: the image keeps it.
    if (auto* image = std::get_if<VImage>(&rendered))
        g_object_set_data_full(G_OBJECT(image->get_image()), "tessiva-drawing",
                               new QByteArray(drawing.svg),
                               [](gpointer text) { delete static_cast<QByteArray*>(text); });
    return rendered;
}

}  // namespace

const char* LoaderClassFor(const QString& kind) {
    if (kind == u"svg" || kind == u"wmf" || kind == u"emf") return "VipsForeignLoadSvg";
    if (kind == u"heif") return "VipsForeignLoadHeif";
    if (kind == u"jxl") return "VipsForeignLoadJxl";
    if (kind == u"jp2") return "VipsForeignLoadJp2k";
    if (kind == u"jpeg") return "VipsForeignLoadJpeg";
    if (kind == u"png") return "VipsForeignLoadPng";
    if (kind == u"gif") return "VipsForeignLoadNsgif";
    if (kind == u"webp") return "VipsForeignLoadWebp";
    if (kind == u"tiff") return "VipsForeignLoadTiff";
    return nullptr;
}

Answer Decode(const Request& request, const QByteArray& bytes) {
    if (request.kind == u"svg" || request.kind == u"wmf" || request.kind == u"emf")
        return DecodeDrawing(request, bytes);
    if (request.kind == u"raw") return DecodeCameraRaw(request, bytes);
    if (LoaderClassFor(request.kind)) return DecodeBitmap(request, bytes);
    return Refusal{QStringLiteral("no decoder for %1").arg(request.kind)};
}

}  // namespace decoder
