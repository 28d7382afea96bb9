#include "imaging/photo_kind.h"

#include <QIODevice>
#include <QXmlStreamReader>
#include <QtEndian>
#include <array>
#include <cstring>
#include <memory>

#include "imaging/opened_file.h"
#include "resources/texts.h"

namespace imaging {
namespace {

/// How much of a file the signatures are looked for in.
constexpr qint64 kHeadBytes = 4096;
/// Drawings beyond this are refused before anything reads them.
constexpr qint64 kMaxXmlBytes = qint64{64} << 20;

bool StartsWith(const QByteArray& head, std::string_view signature, qsizetype at = 0) {
    return head.size() >= at + qsizetype(signature.size()) &&
           std::memcmp(head.constData() + at, signature.data(), signature.size()) == 0;
}

bool IsWindowsMetafile(const QByteArray& head) {
    if (head.size() < 6) return false;
    if (qFromLittleEndian<quint32>(head.constData()) == 0x9AC6CDD7u) return true;  // placeable
    const quint16 type = qFromLittleEndian<quint16>(head.constData());
    const quint16 headerWords = qFromLittleEndian<quint16>(head.constData() + 2);
    const quint16 version = qFromLittleEndian<quint16>(head.constData() + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0300 || version == 0x0100);
}

bool IsEnhancedMetafile(const QByteArray& head) {
    return head.size() >= 44 && qFromLittleEndian<quint32>(head.constData()) == 1 &&
           qFromLittleEndian<quint32>(head.constData() + 40) == 0x464D4520;  // " EMF"
}

bool IsBitmapFile(const QByteArray& head) {
    if (!StartsWith(head, "BM") || head.size() < 18) return false;
    const quint32 infoSize = qFromLittleEndian<quint32>(head.constData() + 14);
    return infoSize == 12 || infoSize == 16 || infoSize == 40 || infoSize == 52 || infoSize == 56 ||
           infoSize == 64 || infoSize == 108 || infoSize == 124;
}

bool IsIcon(const QByteArray& head) {
    return head.size() >= 6 && StartsWith(head, std::string_view("\0\0\1\0", 4)) &&
           qFromLittleEndian<quint16>(head.constData() + 4) > 0;
}

/// The ISO media file's brands that say HEIF or AVIF; what others say.
std::variant<PhotoKind, Refusal> KindOfMediaFile(const QByteArray& head) {
    static constexpr std::array<std::string_view, 12> kStillBrands = {
        "heic", "heix", "heim", "heis", "hevc", "hevx",
        "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
    const quint32 boxSize = qFromBigEndian<quint32>(head.constData());
    const qsizetype end = std::min<qsizetype>(head.size(), boxSize >= 16 ? boxSize : 16);
    for (qsizetype at = 8; at + 4 <= end; at += 4) {
        if (at == 12) continue;  // the minor version
        for (std::string_view brand : kStillBrands)
            if (StartsWith(head, brand, at)) return PhotoKind::Heif;
    }
    if (StartsWith(head, "crx ", 8)) return Refusal{res::Say(res::Text::KindCameraRaw)};
    return Refusal{res::Say(res::Text::KindVideo)};
}

/// True when the head reads as text: no control characters but white space.
bool LooksLikeText(const QByteArray& head) {
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') return false;
    }
    return !head.isEmpty();
}

/// The first character of text after a byte-order mark and white space.
QChar FirstCharacter(const QByteArray& head) {
    QString text;
    if (StartsWith(head, "\xEF\xBB\xBF"))
        text = QString::fromUtf8(head.mid(3, 256));
    else if (StartsWith(head, "\xFF\xFE"))
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(head.constData() + 2),
                                  std::min<qsizetype>(head.size() - 2, 256) / 2);
    else
        text = QString::fromLatin1(head.left(256));
    for (const QChar c : text)
        if (!c.isSpace()) return c;
    return {};
}

std::variant<PhotoKind, Refusal> KindOfXml(const std::shared_ptr<const OpenedFile>& file);

Refusal NotAPhoto(const QString& what = {}) {
    return Refusal{what.isEmpty() ? res::Say(res::Text::NotAPhotoFormat)
                                  : res::Say(res::Text::NotAPhotoFormatNamed, {what})};
}

/// What the head says of files that are not photos, for the refusal.
QString OtherFormatName(const QByteArray& head) {
    struct Signature {
        std::string_view bytes;
        qsizetype at;
        const char* name;
    };
    static constexpr std::array<Signature, 14> kOthers{{
        {"%PDF", 0, "PDF"},
        {"%!", 0, "PostScript"},
        {"\xC5\xD0\xD3\xC6", 0, "PostScript"},
        {"PK\x03\x04", 0, "ZIP"},
        {"\x1F\x8B", 0, "gzip"},
        {"8BPS", 0, "Photoshop"},
        {"gimp xcf", 0, "GIMP"},
        {"\x76\x2F\x31\x01", 0, "OpenEXR"},
        {"#?RADIANCE", 0, "Radiance"},
        {"#?RGBE", 0, "Radiance"},
        {"SIMPLE  =", 0, "FITS"},
        {"DICM", 128, "DICOM"},
        {"\x08\xF2\xA6\xB6", 0, "VIPS"},
        {"\xB6\xA6\xF2\x08", 0, "VIPS"},
    }};
    if (StartsWith(head, "\x1A\x45\xDF\xA3") || StartsWith(head, "AVI ", 8))
        return res::Say(res::Text::KindVideo);
    for (const Signature& other : kOthers)
        if (StartsWith(head, other.bytes, other.at)) return QString::fromLatin1(other.name);
    if (head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7' &&
        QChar::fromLatin1(head[2]).isSpace())
        return QStringLiteral("PNM");
    if (LooksLikeText(head)) {
        const QByteArray lower = head.toLower();
        if (lower.contains("viewbox") || lower.contains("graphic-context"))
            return QStringLiteral("MVG");
        return res::Say(res::Text::KindText);
    }
    return {};
}

}  // namespace

std::variant<PhotoKind, Refusal> KindOfContent(const std::shared_ptr<const OpenedFile>& file) {
    const QByteArray head = file->ReadAt(0, kHeadBytes);
    if (head.isEmpty()) return Refusal{res::Say(res::Text::EmptyFile)};
    if (StartsWith(head, "\xFF\xD8\xFF")) return PhotoKind::Jpeg;
    if (StartsWith(head, "\x89PNG\r\n\x1A\n")) return PhotoKind::Png;
    if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) return PhotoKind::Gif;
    if (StartsWith(head, std::string_view("II*\0", 4)) ||
        StartsWith(head, std::string_view("MM\0*", 4)) ||
        StartsWith(head, std::string_view("II+\0", 4)) ||
        StartsWith(head, std::string_view("MM\0+", 4)))
        return PhotoKind::Tiff;
    if (StartsWith(head, "RIFF") && StartsWith(head, "WEBP", 8)) return PhotoKind::Webp;
    if (IsBitmapFile(head)) return PhotoKind::Bmp;
    if (IsIcon(head)) return PhotoKind::Icon;
    if (StartsWith(head, "ftyp", 4)) return KindOfMediaFile(head);
    if (StartsWith(head, "\xFF\x0A") ||
        StartsWith(head, std::string_view("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12)))
        return PhotoKind::JpegXl;
    if (StartsWith(head, std::string_view("\0\0\0\x0CjP  \x0D\x0A\x87\x0A", 12)) ||
        StartsWith(head, "\xFF\x4F\xFF\x51"))
        return PhotoKind::Jpeg2000;
    if (IsEnhancedMetafile(head)) return PhotoKind::Emf;
    if (IsWindowsMetafile(head)) return PhotoKind::Wmf;
    if (FirstCharacter(head) == u'<') return KindOfXml(file);
    return NotAPhoto(OtherFormatName(head));
}

namespace {

std::variant<PhotoKind, Refusal> KindOfXml(const std::shared_ptr<const OpenedFile>& file) {
    if (file->Size() > kMaxXmlBytes)
        return Refusal{res::Say(res::Text::DrawingTooLarge, {QString::number(kMaxXmlBytes >> 20)})};
    // The root element may follow any amount of comments, declarations and
    // white space: the XML is read up to it, wherever it starts.
    const std::unique_ptr<QIODevice> device = DeviceOver(file);
    QXmlStreamReader reader(device.get());
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
    }
    if (reader.tokenType() != QXmlStreamReader::StartElement)
        return NotAPhoto(QStringLiteral("XML"));
    if (reader.name() == QLatin1StringView("svg")) return PhotoKind::Svg;
    if (reader.name().compare(QLatin1StringView("html"), Qt::CaseInsensitive) == 0)
        return NotAPhoto(QStringLiteral("HTML"));
    return NotAPhoto(QStringLiteral("XML"));
}

}  // namespace

namespace {

/// True when the loader set flag @p name on @p first.
bool Flagged(const vips::VImage& first, const char* name) {
    return first.get_typeof(name) == G_TYPE_INT && first.get_int(name) != 0;
}

int64_t Samples(const vips::VImage& first) {
    return int64_t{first.width()} * first.height() * first.bands();
}

// A JPEG block of 64 pixels takes at least a bit; deflate packs at most 1,032
// bytes into one, of up to 8 pixels each; a GIF code of 12 bits stands for at
// most 4,096 pixels; WebP is held to that too. A progressive JPEG keeps every
// coefficient (two bytes a sample), an interlaced PNG the whole picture at its
// stored depth, and WebP decodes to four bytes a pixel and copies them once.
using V = vips::VImage;
const KindFacts kKinds[] = {
    {PhotoKind::Jpeg, QLatin1StringView("JPEG"), QLatin1StringView("jpeg"), DecodedBy::Library, 512,
     &V::jpegload_source,
     [](const V& first) { return Flagged(first, "jpeg-multiscan") ? Samples(first) * 2 : 0; },
     true},
    {PhotoKind::Png, QLatin1StringView("PNG"), QLatin1StringView("png"), DecodedBy::Library,
     8 * 1032, &V::pngload_source,
     [](const V& first) {
         return Flagged(first, "interlaced")
                    ? Samples(first) * int64_t(vips_format_sizeof(first.format()))
                    : 0;
     },
     false},
    {PhotoKind::Gif, QLatin1StringView("GIF"), QLatin1StringView("gif"), DecodedBy::Library, 4096,
     &V::gifload_source, nullptr, false},
    {PhotoKind::Tiff, QLatin1StringView("TIFF"), QLatin1StringView("tiff"), DecodedBy::Library, 0,
     &V::tiffload_source, nullptr, true},
    {PhotoKind::Webp, QLatin1StringView("WebP"), QLatin1StringView("webp"), DecodedBy::Library,
     4096, &V::webpload_source,
     [](const V& first) { return int64_t{first.width()} * first.height() * 8; }, true},
    {PhotoKind::Bmp, QLatin1StringView("BMP"), QLatin1StringView("bmp"), DecodedBy::Qt, 0, nullptr,
     nullptr, false},
    {PhotoKind::Icon, QLatin1StringView("ICO"), QLatin1StringView("ico"), DecodedBy::Qt, 0, nullptr,
     nullptr, false},
    {PhotoKind::Heif, QLatin1StringView("HEIF"), QLatin1StringView("heif"), DecodedBy::Apart, 0,
     nullptr, nullptr, false},
    {PhotoKind::JpegXl, QLatin1StringView("JPEG XL"), QLatin1StringView("jxl"), DecodedBy::Apart, 0,
     nullptr, nullptr, false},
    {PhotoKind::Jpeg2000, QLatin1StringView("JPEG 2000"), QLatin1StringView("jp2"),
     DecodedBy::Apart, 0, nullptr, nullptr, false},
    {PhotoKind::Svg, QLatin1StringView("SVG"), QLatin1StringView("svg"), DecodedBy::Apart, 0,
     nullptr, nullptr, false},
    {PhotoKind::Wmf, QLatin1StringView("WMF"), QLatin1StringView("wmf"), DecodedBy::Apart, 0,
     nullptr, nullptr, false},
    {PhotoKind::Emf, QLatin1StringView("EMF"), QLatin1StringView("emf"), DecodedBy::Apart, 0,
     nullptr, nullptr, false},
    {PhotoKind::CameraRaw, QLatin1StringView("camera raw"), QLatin1StringView("raw"),
     DecodedBy::Apart, 0, nullptr, nullptr, false},
};

}  // namespace

const KindFacts& FactsOf(PhotoKind kind) {
    for (const KindFacts& facts : kKinds)
        if (facts.kind == kind) return facts;
    return kKinds[0];  // every kind has its row
}

}  // namespace imaging
