#include "imaging/qt_photo.h"

#include <QIODevice>
#include <QImageReader>
#include <QLocale>
#include <QtEndian>
#include <cstring>

#include "imaging/opened_file.h"
#include "imaging/photo_internal.h"
#include "resources/texts.h"

namespace imaging {
namespace {

constexpr double kInchesPerMetre = 0.0254;
/// A frame is decoded whole and copied once: bytes held per pixel.
constexpr int64_t kHeldBytesPerPixel = 8;

/// A bitmap or icon file; its frames are decoded whole, on each use.
class QtPhoto final : public Photo {
public:
    QtPhoto(std::shared_ptr<const OpenedFile> file, PhotoKind kind, const Limits& limits,
            std::vector<QSize> sizes)
        : m_file(std::move(file)), m_kind(kind), m_limits(limits), m_sizes(std::move(sizes)) {}

    int Width() const override { return m_sizes[m_active].width(); }
    int Height() const override { return m_sizes[m_active].height(); }
    std::vector<FrameKind> FrameDimensions() const override { return {Dimension()}; }
    uint32_t FrameCount(FrameKind dimension) const override {
        return dimension == Dimension() ? uint32_t(m_sizes.size()) : 0;
    }
    bool SelectActiveFrame(FrameKind dimension, uint32_t index) override {
        if (dimension != Dimension() || index >= m_sizes.size()) return false;
        if (m_active != index) m_preview = QImage();
        m_active = index;
        return true;
    }
    QImage Preview(const QSize& size) override {
        if (size.isEmpty()) return {};
        if (m_preview.size() != size) {
            QString failure;
            const std::optional<vips::VImage> frame = Decode(&failure);
            m_preview = frame ? ToPreview(*frame, size) : QImage();
        }
        return m_preview;
    }
    double HorizontalResolution() const override { return m_dpi > 0.0 ? m_dpi : kDefaultDpi; }
    std::shared_ptr<FrameData> ActiveFrameData(const FrameUse&) const override {
        auto data = std::make_shared<FrameData>();
        if (std::optional<vips::VImage> frame = Decode(&data->failure)) data->image = *frame;
        return data;
    }

private:
    FrameKind Dimension() const {
        return m_kind == PhotoKind::Icon ? FrameKind::Resolution : FrameKind::Page;
    }

    /// The active frame as a libvips image of its own pixels.
    std::optional<vips::VImage> Decode(QString* failure) const {
        const std::unique_ptr<QIODevice> device = DeviceOver(m_file);
        QImageReader reader(device.get(), m_kind == PhotoKind::Icon ? "ico" : "bmp");
        reader.setAllocationLimit(int(std::min<int64_t>(m_limits.maxMemory >> 20, INT_MAX)));
        if (m_active > 0 && !reader.jumpToImage(int(m_active))) {
            *failure = reader.errorString();
            return std::nullopt;
        }
        QImage image = reader.read();
        if (image.isNull()) {
            *failure = reader.errorString();
            return std::nullopt;
        }
        m_dpi = image.dotsPerMeterX() * kInchesPerMetre;
        const bool alpha = image.hasAlphaChannel();
        image = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        const int bands = alpha ? 4 : 3;
        const size_t rowBytes = size_t(image.width()) * size_t(bands);
        const size_t bytes = rowBytes * size_t(image.height());
        auto* pixels = static_cast<uchar*>(g_try_malloc(bytes));
        if (!pixels) {
            *failure = res::Say(res::Text::NoMemoryForPicture);
            return std::nullopt;
        }
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(pixels + size_t(y) * rowBytes, image.constScanLine(y), rowBytes);
        return vips::VImage::new_from_memory_steal(pixels, bytes, image.width(), image.height(),
                                                   bands, VIPS_FORMAT_UCHAR)
            .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    }

    std::shared_ptr<const OpenedFile> m_file;
    PhotoKind m_kind;
    Limits m_limits;
    std::vector<QSize> m_sizes;  // of each frame
    uint32_t m_active = 0;
    QImage m_preview;
    mutable double m_dpi = 0.0;
};

int64_t Le(const QByteArray& bytes, qsizetype at, int size) {
    if (at < 0 || at + size > bytes.size()) return -1;
    return size == 2 ? int64_t{qFromLittleEndian<quint16>(bytes.constData() + at)}
                     : int64_t{qFromLittleEndian<qint32>(bytes.constData() + at)};
}

/// Why a bitmap file cannot hold the picture its header claims, or nothing:
/// rows stored plainly must all be in the file, and a run-length coded
/// picture makes at most 128 pixels of each byte (255 of two) but for the
/// jumps that hostile files use to claim millions from a few bytes.
std::optional<QString> BitmapProblem(const OpenedFile& file) {
    const QByteArray head = file.ReadAt(0, 64);
    const int64_t infoSize = Le(head, 14, 4);
    const bool core = infoSize == 12;
    const int64_t width = core ? Le(head, 18, 2) : Le(head, 18, 4);
    const int64_t height = std::abs(core ? Le(head, 20, 2) : Le(head, 22, 4));
    const int64_t bitsPerPixel = core ? Le(head, 24, 2) : Le(head, 28, 2);
    const int64_t compression = core ? 0 : Le(head, 30, 4);
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0) return std::nullopt;  // the reader says why
    const int64_t pixels = width * height;
    if (pixels <= kPixelsAlwaysAllowed) return std::nullopt;
    const bool runLength = compression == 1 || compression == 2;
    const int64_t needed = runLength ? pixels / 128 : (width * bitsPerPixel + 31) / 32 * 4 * height;
    if (needed > file.Size()) return res::Say(res::Text::FileTooShort);
    return std::nullopt;
}

/// Why an icon file's pictures are not what its directory says, or nothing:
/// the reader sizes each picture by the directory, while a PNG or bitmap
/// inside may be far larger.
std::optional<QString> IconProblem(const OpenedFile& file) {
    const QByteArray directory = file.ReadAt(0, 6 + 16 * 256);
    const int64_t count = Le(directory, 4, 2);
    for (int64_t i = 0; i < count; ++i) {
        const qsizetype entry = qsizetype(6 + 16 * i);
        if (entry + 16 > directory.size()) break;
        const int listedWidth = uint8_t(directory[entry]) ? uint8_t(directory[entry]) : 256;
        const int listedHeight =
            uint8_t(directory[entry + 1]) ? uint8_t(directory[entry + 1]) : 256;
        const qint64 at = qint64(quint32(Le(directory, entry + 12, 4)));
        const QByteArray picture = file.ReadAt(at, 24);
        int64_t width = 0;
        int64_t height = 0;
        if (picture.startsWith("\x89PNG\r\n\x1a\n") && picture.size() >= 24) {
            width = qFromBigEndian<quint32>(picture.constData() + 16);
            height = qFromBigEndian<quint32>(picture.constData() + 20);
        } else if (Le(picture, 0, 4) >= 12) {
            width = Le(picture, 4, 4);
            height = std::abs(Le(picture, 8, 4)) / 2;  // the colours, then the mask
        }
        if (width > listedWidth || height > listedHeight)
            return QStringLiteral(
                       "the icon holds a picture of %1 x %2 where its directory says %3 x %4")
                .arg(width)
                .arg(height)
                .arg(listedWidth)
                .arg(listedHeight);
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<Photo> LoadQtPhoto(std::shared_ptr<const OpenedFile> file, PhotoKind kind,
                                   const OpenOptions& options) {
    if (const auto problem = kind == PhotoKind::Icon ? IconProblem(*file) : BitmapProblem(*file))
        return MakeUndecodedPhoto(*problem);
    const std::unique_ptr<QIODevice> device = DeviceOver(file);
    QImageReader reader(device.get(), kind == PhotoKind::Icon ? "ico" : "bmp");
    std::vector<QSize> sizes;
    const int count = std::max(reader.imageCount(), 1);
    for (int i = 0; i < count && (i == 0 || reader.jumpToImage(i)); ++i) {
        const QSize size = reader.size();
        const int64_t pixels = int64_t{size.width()} * size.height();
        if (size.isEmpty())
            return MakeUndecodedPhoto(reader.errorString().isEmpty() ? res::Say(res::Text::NoPixels)
                                                                     : reader.errorString());
        if (pixels > options.limits.maxPixels)
            return MakeUndecodedPhoto(
                res::Say(res::Text::PixelsOverOption,
                         {QString::number(size.width()), QString::number(size.height()),
                          QLocale().toString(qint64{options.limits.maxPixels})}));
        if (pixels * kHeldBytesPerPixel > options.limits.maxMemory)
            return MakeUndecodedPhoto(
                res::Say(res::Text::DecodingOverBudget,
                         {QString::number((pixels * kHeldBytesPerPixel) >> 20),
                          QString::number(options.limits.maxMemory >> 20)}));
        sizes.push_back(size);
    }
    auto photo = std::make_unique<QtPhoto>(std::move(file), kind, options.limits, std::move(sizes));
    // The resolution is read with the pixels: decode the first frame for it.
    if (photo->Preview(QSize(1, 1)).isNull())
        return MakeUndecodedPhoto(res::Say(res::Text::KindUndecodable, {FactsOf(kind).name}));
    return photo;
}

}  // namespace imaging
