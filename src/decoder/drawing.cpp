#include "decoder/drawing.h"

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSizeF>
#include <QXmlStreamReader>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "decoder/blob.h"

namespace decoder {
namespace {

// The SVG loader refuses smaller scales and renders at full size instead.
constexpr double kMinRenderScale = 0.001;
const res::Saying kUnrenderable{res::Text::Unrenderable};

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

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

/// The element tags and filter primitives in SVG text, counted from its bytes
/// (tags in comments count too: a budget may only err on the safe side).
void CountTags(const QByteArray& svg, int* elements, int* filterSteps) {
    *elements = 0;
    *filterSteps = 0;
    const char* text = svg.constData();
    const qsizetype size = svg.size();
    for (qsizetype i = 0; i + 1 < size; ++i) {
        if (text[i] != '<' || !IsNameStart(text[i + 1])) continue;
        ++*elements;
        qsizetype name = i + 1;
        for (qsizetype j = name; j < size && j < name + 64 && IsNameStart(text[j]); ++j)
            if (j + 1 < size && text[j + 1] == ':') name = j + 2;  // a prefix
        if (name + 2 < size && text[name] == 'f' && text[name + 1] == 'e' &&
            std::isupper(static_cast<unsigned char>(text[name + 2])))
            ++*filterSteps;
    }
}

/// The elements a drawing shows once its <use> references are followed: each
/// reference shows the referenced element and all it holds again. Nothing when
/// the XML cannot be read here (the renderer then decides, within its time).
std::optional<int64_t> ShownElements(const QByteArray& svg) {
    struct Node {
        std::vector<int> children;
        QString useTarget;   // the id a <use> refers to
        int64_t shown = -1;  // worked out; -2 while being worked out
    };
    std::vector<Node> nodes(1);  // 0: the document
    QHash<QString, int> ids;
    std::vector<int> open{0};
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const int index = int(nodes.size());
            nodes.emplace_back();
            nodes[size_t(open.back())].children.push_back(index);
            open.push_back(index);
            const QXmlStreamAttributes attributes = reader.attributes();
            if (const QStringView id = attributes.value(QLatin1StringView("id")); !id.isEmpty())
                ids.insert(id.toString(), index);
            if (reader.name() == QLatin1StringView("use"))
                for (const QXmlStreamAttribute& attribute : attributes)
                    if (attribute.name() == QLatin1StringView("href") &&
                        attribute.value().startsWith(u'#'))
                        nodes.back().useTarget = attribute.value().mid(1).toString();
        } else if (token == QXmlStreamReader::EndElement && open.size() > 1) {
            open.pop_back();
        }
    }
    if (reader.hasError()) return std::nullopt;
    // Followed depth first; a reference back into itself shows endlessly.
    constexpr int64_t kEndless = kMaxShownElements + 1;
    const std::function<int64_t(int)> shown = [&](int index) -> int64_t {
        if (nodes[size_t(index)].shown == -2) return kEndless;
        if (nodes[size_t(index)].shown >= 0) return nodes[size_t(index)].shown;
        nodes[size_t(index)].shown = -2;
        int64_t total = index == 0 ? 0 : 1;  // the document itself is no element
        for (const int child : nodes[size_t(index)].children)
            total = std::min(total + shown(child), kEndless);
        const auto target = ids.constFind(nodes[size_t(index)].useTarget);
        if (target != ids.cend()) total = std::min(total + shown(*target), kEndless);
        return nodes[size_t(index)].shown = total;
    };
    return shown(0);
}

std::variant<Drawing, Refusal> CheckedSvg(QByteArray svg, const Limits& limits) {
    if (const std::optional<Refusal> problem = SvgTextProblem(svg, limits)) return *problem;
    // The loader silently leaves a side beyond its coordinate limit at a
    // default: a picture millions of pixels across read as one pixel wide.
    // So the size the text declares must be the one read.
    const std::optional<QSizeF> declared = DeclaredSize(svg);
    int elements = 0;
    int filterSteps = 0;
    CountTags(svg, &elements, &filterSteps);
    try {
        const vips::VImage header = vips::VImage::svgload_buffer(Blob(svg).get());
        if (std::abs(header.width() - declared->width()) > 1.0 ||
            std::abs(header.height() - declared->height()) > 1.0)
            return Refusal{kUnrenderable};
        return Drawing{std::move(svg), QSize(header.width(), header.height()), filterSteps};
    } catch (const vips::VError& error) {
        return Refusal{QString::fromUtf8(error.what()).section(u'\n', 0, 0).trimmed()};
    }
}

/// The records of a Windows metafile, walked by their sizes: every record
/// must lie within the file. Nothing when they do; else why not.
std::optional<res::Saying> WmfRecordsProblem(const QByteArray& bytes) {
    const bool placeable =
        bytes.size() >= 4 && qFromLittleEndian<quint32>(bytes.constData()) == 0x9AC6CDD7u;
    const qsizetype start = placeable ? 22 : 0;
    if (bytes.size() < start + 18) return kUnrenderable;
    const char* header = bytes.constData() + start;
    // The player allocates what the header claims before reading a record.
    const quint32 maxRecordWords = qFromLittleEndian<quint32>(header + 12);
    if (maxRecordWords < 3 || quint64{maxRecordWords} * 2 > quint64(bytes.size()))
        return kUnrenderable;
    qsizetype at = start + qsizetype(qFromLittleEndian<quint16>(header + 2)) * 2;
    for (int records = 0; at + 6 <= bytes.size(); ++records) {
        if (records >= kMaxMetafileRecords)
            return res::Saying{res::Text::MetafileTooManyRecords,
                               {QLocale().toString(kMaxMetafileRecords)}};
        const quint32 words = qFromLittleEndian<quint32>(bytes.constData() + at);
        const quint16 function = qFromLittleEndian<quint16>(bytes.constData() + at + 4);
        if (words < 3 || words > quint32(bytes.size() - at) / 2)
            return res::Saying{res::Text::MetafileRecordBeyond};
        if (function == 0) return std::nullopt;  // the last record
        at += qsizetype(words) * 2;
    }
    return std::nullopt;
}

/// The same for an enhanced metafile.
std::optional<res::Saying> EmfRecordsProblem(const QByteArray& bytes) {
    constexpr quint32 kEndOfFile = 14;
    qsizetype at = 0;
    for (int records = 0; at + 8 <= bytes.size(); ++records) {
        if (records >= kMaxMetafileRecords)
            return res::Saying{res::Text::MetafileTooManyRecords,
                               {QLocale().toString(kMaxMetafileRecords)}};
        const quint32 type = qFromLittleEndian<quint32>(bytes.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (size < 8 || size % 4 != 0 || size > quint32(bytes.size() - at))
            return res::Saying{res::Text::MetafileRecordBeyond};
        if (type == kEndOfFile) return std::nullopt;
        at += size;
    }
    return std::nullopt;
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
    QByteArray ToSvg(QByteArray& bytes) {
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

/// The player writes its bitmaps as xlink:href without declaring the prefix,
/// which no XML reader accepts.
QByteArray WithXlinkDeclared(QByteArray svg) {
    if (!svg.contains("xlink:") || svg.contains("xmlns:xlink")) return svg;
    const qsizetype root = svg.indexOf("<svg");
    if (root >= 0) svg.insert(root + 4, " xmlns:xlink=\"http://www.w3.org/1999/xlink\"");
    return svg;
}

std::variant<Drawing, Refusal> ReadWindowsMetafile(QByteArray bytes, const Limits& limits) {
    if (const std::optional<Refusal> problem = MetafileProblem(QStringLiteral("wmf"), bytes))
        return *problem;
    const QByteArray svg = WmfPlayer().ToSvg(bytes);
    if (svg.isEmpty()) return Refusal{kUnrenderable};
    return CheckedSvg(WithXlinkDeclared(svg), limits);
}

std::variant<Drawing, Refusal> ReadEnhancedMetafile(QByteArray bytes, const Limits& limits) {
    if (const std::optional<Refusal> problem = MetafileProblem(QStringLiteral("emf"), bytes))
        return *problem;
    generatorOptions options{};
    options.nameSpace = const_cast<char*>("svg");
    options.svgDelimiter = true;
    options.emfplus = true;
    char* svg = nullptr;
    size_t length = 0;
    const int ok =
        emf2svg(bytes.data(), static_cast<size_t>(bytes.size()), &svg, &length, &options);
    QByteArray text = ok && svg ? QByteArray(svg, qsizetype(length)) : QByteArray();
    free(svg);
    if (text.isEmpty()) return Refusal{kUnrenderable};
    return CheckedSvg(std::move(text), limits);
}

}  // namespace

std::variant<Drawing, Refusal> ReadDrawing(const QString& kind, QByteArray bytes,
                                           const Limits& limits) {
    if (bytes.size() > kMaxDrawingBytes)
        return Refusal{{res::Text::DrawingTooLarge, {QString::number(kMaxDrawingBytes >> 20)}}};
    if (kind == u"wmf") return ReadWindowsMetafile(std::move(bytes), limits);
    if (kind == u"emf") return ReadEnhancedMetafile(std::move(bytes), limits);
    return CheckedSvg(std::move(bytes), limits);
}

std::optional<Refusal> SvgTextProblem(const QByteArray& svg, const Limits& limits) {
    int elements = 0;
    int filterSteps = 0;
    CountTags(svg, &elements, &filterSteps);
    if (elements > kMaxDrawingElements)
        return Refusal{
            {res::Text::DrawingTooManyElements, {QLocale().toString(kMaxDrawingElements)}}};
    if (ShownElements(svg).value_or(0) > kMaxShownElements)
        return Refusal{
            {res::Text::DrawingReferencesTooMany, {QLocale().toString(kMaxShownElements)}}};
    const std::optional<QSizeF> declared = DeclaredSize(svg);
    if (!declared || declared->width() < 1.0 || declared->height() < 1.0)
        return Refusal{kUnrenderable};
    if (declared->width() * declared->height() > double(limits.maxPixels))
        return Refusal{{res::Text::DrawingDeclaresTooMuch,
                        {QString::number(declared->width(), 'f', 0),
                         QString::number(declared->height(), 'f', 0),
                         QLocale().toString(qint64{limits.maxPixels})}}};
    return std::nullopt;
}

std::optional<Refusal> MetafileProblem(const QString& kind, const QByteArray& bytes) {
    const std::optional<res::Saying> problem =
        kind == u"wmf" ? WmfRecordsProblem(bytes) : EmfRecordsProblem(bytes);
    return problem ? std::optional(Refusal{*problem}) : std::nullopt;
}

double RenderScale(const QSize& source, const QSize& target) {
    const double across = double(target.width()) / source.width();
    const double down = double(target.height()) / source.height();
    return std::min(std::max(across, down), 4.0 * std::min(across, down));
}

Answer RenderDrawing(const Drawing& drawing, const QSize& target, bool exact,
                     const Limits& limits) {
    if (target.isEmpty()) return Refusal{kUnrenderable};
    const double scale = RenderScale(drawing.declared, target);
    if (scale < kMinRenderScale) return Refusal{kUnrenderable};
    const double pixels =
        std::ceil(drawing.declared.width() * scale) * std::ceil(drawing.declared.height() * scale);
    if (pixels * kDrawingBytesPerPixel > double(limits.maxMemory))
        return Refusal{{res::Text::DrawingOverBudget,
                        {QString::number(std::ceil(drawing.declared.width() * scale), 'f', 0),
                         QString::number(std::ceil(drawing.declared.height() * scale), 'f', 0),
                         QString::number(qint64(pixels * kDrawingBytesPerPixel) >> 20),
                         QString::number(limits.maxMemory >> 20)}}};
    if (pixels * drawing.filterSteps > double(kMaxFilteredPixels))
        return Refusal{{res::Text::FiltersTooLarge,
                        {QLocale().toString(qint64(pixels * drawing.filterSteps) >> 20),
                         QLocale().toString(qint64{kMaxFilteredPixels >> 20})}}};
    try {
        vips::VImage picture = vips::VImage::svgload_buffer(
            Blob(drawing.svg).get(), vips::VImage::option()->set("scale", scale));
        if (exact)
            picture = picture.thumbnail_image(target.width(), vips::VImage::option()
                                                                  ->set("height", target.height())
                                                                  ->set("size", VIPS_SIZE_FORCE)
                                                                  ->set("no_rotate", true));
        return picture;
    } catch (const vips::VError& error) {
        return Refusal{QString::fromUtf8(error.what()).section(u'\n', 0, 0).trimmed()};
    }
}

}  // namespace decoder
