#include "imaging/metafile_photo.h"

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
#include <QFile>
#include <QRegularExpression>
#include <QSizeF>
#include <QXmlStreamReader>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vips/vips8>

#include "imaging/photo.h"
#include "imaging/photo_internal.h"

namespace imaging {
namespace {

// Metafiles beyond this are refused rather than rendered.
constexpr qint64 kMaxMetafileBytes = qint64{64} << 20;
constexpr quint32 kEmrHeader = 1;
constexpr quint32 kEmfSignature = 0x464D4520;  // " EMF"
// The SVG loader refuses smaller scales and renders at full size instead.
constexpr double kMinRenderScale = 0.001;

/// A vector picture kept as SVG text, rendered only as large as the preview or
/// the conversion at hand needs.
class RenderedPhoto final : public SinglePagePhoto {
public:
    RenderedPhoto(QByteArray svg, int width, int height)
        : m_svg(std::move(svg)), m_width(width), m_height(height) {}

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    QImage Preview(const QSize& size) override {
        if (size.isEmpty()) return {};
        if (m_preview.size() == size) return m_preview;
        const std::optional<vips::VImage> picture = RenderFor(size);
        m_preview = picture ? ToPreview(*picture, size) : QImage();
        return m_preview;
    }
    std::shared_ptr<FrameData> ActiveFrameData(const QSize& target, bool) const override {
        const std::optional<vips::VImage> picture = RenderFor(target);
        return picture ? std::make_shared<FrameData>(FrameData{*picture, 1, {}}) : nullptr;
    }

private:
    /// The picture rendered to be scaled to @p target; it reads the text this
    /// photo keeps alive. Nothing when it would be too thin to render.
    std::optional<vips::VImage> RenderFor(const QSize& target) const {
        if (target.isEmpty()) return std::nullopt;
        const double scale = RenderScale(QSize(m_width, m_height), target);
        if (scale < kMinRenderScale) return std::nullopt;
        try {
            return vips::VImage::new_from_buffer(m_svg.constData(), size_t(m_svg.size()), "",
                                                 vips::VImage::option()->set("scale", scale));
        } catch (const vips::VError&) {
            vips_error_clear();
            return std::nullopt;
        }
    }

    QByteArray m_svg;
    int m_width;
    int m_height;
    QImage m_preview;
};

/// A length of the root element in pixels: a plain number or one in "px".
std::optional<double> PixelLength(QStringView text) {
    if (text.endsWith(QLatin1StringView("px"))) text.chop(2);
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

/// The width and height the root element of SVG text declares, in pixels: its
/// width and height, or without them its view box.
std::optional<QSizeF> DeclaredSize(const QByteArray& svg) {
    QXmlStreamReader reader(svg);
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
    }
    if (reader.name() != QLatin1StringView("svg")) return std::nullopt;
    const QXmlStreamAttributes attributes = reader.attributes();
    if (!attributes.hasAttribute(QLatin1StringView("width")) &&
        !attributes.hasAttribute(QLatin1StringView("height"))) {
        const QStringList box =
            attributes.value(QLatin1StringView("viewBox"))
                .toString()
                .split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
        if (box.size() != 4) return std::nullopt;
        const std::optional<double> width = PixelLength(box[2]), height = PixelLength(box[3]);
        if (!width || !height) return std::nullopt;
        return QSizeF(*width, *height);
    }
    const std::optional<double> width = PixelLength(attributes.value(QLatin1StringView("width")));
    const std::optional<double> height = PixelLength(attributes.value(QLatin1StringView("height")));
    if (!width || !height) return std::nullopt;
    return QSizeF(*width, *height);
}

/// A photo of SVG text, refusing pictures beyond the pixel limit; nothing is
/// rendered yet.
std::unique_ptr<Photo> RenderSvg(const char* svg, size_t length) {
    QByteArray text(svg, static_cast<qsizetype>(length));
    // The loader silently leaves a side beyond its coordinate limit at a
    // default: a picture millions of pixels across read as one pixel wide.
    // So the size the text declares is checked, and must be the one read.
    const std::optional<QSizeF> declared = DeclaredSize(text);
    if (!declared || declared->width() < 1.0 || declared->height() < 1.0 ||
        declared->width() * declared->height() > double(kMaxPhotoPixels))
        return MakeUndecodedPhoto(kUnrenderable);
    try {
        const vips::VImage header = vips::VImage::new_from_buffer(text.constData(), length, "");
        if (std::abs(header.width() - declared->width()) <= 1.0 &&
            std::abs(header.height() - declared->height()) <= 1.0)
            return std::make_unique<RenderedPhoto>(std::move(text), header.width(),
                                                   header.height());
    } catch (const vips::VError& error) {
        return MakeUndecodedPhoto(LibraryError(error));
    }
    return MakeUndecodedPhoto(kUnrenderable);
}

QByteArray ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMetafileBytes) return {};
    return file.readAll();
}

/// A libwmf player drawing into SVG text, destroyed on every path out.
class WmfPlayer {
public:
    WmfPlayer() {
        wmfAPI_Options options{};
        options.function = wmf_svg_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&m_api, flags, &options) != wmf_E_None) m_failed = true;
    }
    ~WmfPlayer() {
        if (m_api) wmf_api_destroy(m_api);  // frees everything the player allocated
    }
    WmfPlayer(const WmfPlayer&) = delete;
    WmfPlayer& operator=(const WmfPlayer&) = delete;

    /// The metafile @p bytes as SVG text, or empty.
    QByteArray toSvg(QByteArray& bytes) {
        if (m_failed || !m_api) return {};
        if (wmf_mem_open(m_api, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()) !=
            wmf_E_None)
            return {};
        QByteArray svg;
        wmfD_Rect bounds{};
        unsigned int width = 0;
        unsigned int height = 0;
        if (wmf_scan(m_api, 0, &bounds) == wmf_E_None &&
            wmf_display_size(m_api, &width, &height, 96, 96) == wmf_E_None && width > 0 &&
            height > 0) {
            wmf_svg_t* device = WMF_SVG_GetData(m_api);
            device->out = wmf_stream_create(m_api, nullptr);
            device->Description = const_cast<char*>("Tessiva");
            device->bbox = bounds;
            device->width = width;
            device->height = height;
            device->flags |= WMF_SVG_INLINE_IMAGES;
            const bool played = wmf_play(m_api, 0, &bounds) == wmf_E_None;
            char* text = nullptr;
            unsigned long length = 0;
            wmf_stream_destroy(m_api, device->out, &text, &length);
            if (played && text) svg = QByteArray(text, static_cast<qsizetype>(length));
        }
        wmf_mem_close(m_api);
        return svg;
    }

private:
    wmfAPI* m_api = nullptr;
    bool m_failed = false;
};

}  // namespace

double RenderScale(const QSize& source, const QSize& target) {
    const double across = double(target.width()) / source.width();
    const double down = double(target.height()) / source.height();
    return std::min(std::max(across, down), 4.0 * std::min(across, down));
}

bool IsWindowsMetafile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(6);
    if (head.size() < 6) return false;
    if (qFromLittleEndian<quint32>(head.constData()) == 0x9AC6CDD7u) return true;  // placeable
    const quint16 type = qFromLittleEndian<quint16>(head.constData());
    const quint16 headerWords = qFromLittleEndian<quint16>(head.constData() + 2);
    const quint16 version = qFromLittleEndian<quint16>(head.constData() + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0300 || version == 0x0100);
}

/// True when the metafile header's sizes fit the file: libwmf allocates what
/// the header claims before reading a record.
bool WmfHeaderFits(const QByteArray& bytes) {
    const qsizetype start = qFromLittleEndian<quint32>(bytes.constData()) == 0x9AC6CDD7u ? 22 : 0;
    if (bytes.size() < start + 18) return false;
    const char* header = bytes.constData() + start;
    const quint32 maxRecordWords = qFromLittleEndian<quint32>(header + 12);
    return maxRecordWords >= 3 && quint64{maxRecordWords} * 2 <= quint64(bytes.size());
}

std::unique_ptr<Photo> LoadWindowsMetafile(const QString& path) {
    QByteArray bytes = ReadSmallFile(path);
    if (bytes.isEmpty() || !WmfHeaderFits(bytes)) return MakeUndecodedPhoto(kUnrenderable);
    const QByteArray svg = WmfPlayer().toSvg(bytes);
    return svg.isEmpty() ? MakeUndecodedPhoto(kUnrenderable)
                         : RenderSvg(svg.constData(), static_cast<size_t>(svg.size()));
}

bool IsEnhancedMetafile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(44);
    return head.size() == 44 && qFromLittleEndian<quint32>(head.constData()) == kEmrHeader &&
           qFromLittleEndian<quint32>(head.constData() + 40) == kEmfSignature;
}

std::unique_ptr<Photo> LoadEnhancedMetafile(const QString& path) {
    QByteArray contents = ReadSmallFile(path);
    if (contents.isEmpty()) return MakeUndecodedPhoto(kUnrenderable);
    generatorOptions options{};
    options.nameSpace = const_cast<char*>("svg");
    options.svgDelimiter = true;
    options.emfplus = true;
    char* svg = nullptr;
    size_t length = 0;
    const int ok =
        emf2svg(contents.data(), static_cast<size_t>(contents.size()), &svg, &length, &options);
    std::unique_ptr<Photo> photo =
        ok && svg ? RenderSvg(svg, length) : MakeUndecodedPhoto(kUnrenderable);
    free(svg);
    return photo;
}

std::unique_ptr<Photo> LoadScalableVectorGraphics(const QString& path) {
    const QByteArray text = ReadSmallFile(path);
    return text.isEmpty() ? MakeUndecodedPhoto(kUnrenderable)
                          : RenderSvg(text.constData(), size_t(text.size()));
}

}  // namespace imaging
