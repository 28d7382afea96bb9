#include "imaging/metadata.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtEndian>
#include <algorithm>
#include <set>

namespace imaging {
namespace {

/// Metadata larger than this is no photo's: it is left behind.
constexpr qsizetype kMaxBlobBytes = qsizetype{4} << 20;
constexpr int kMaxEntries = 1000;

enum Tag : uint16_t {
    kImageDescription = 270,
    kMake = 271,
    kModel = 272,
    kOrientation = 274,
    kSoftware = 305,
    kDateTime = 306,
    kArtist = 315,
    kHostComputer = 316,
    kXmp = 700,
    kCopyright = 33432,
    kIptc = 33723,
    kExifDirectory = 34665,
    kGpsDirectory = 34853,
    kDateTimeOriginal = 36867,
    kInteroperabilityDirectory = 40965,
};
enum Type : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kUndefined = 7 };

int TypeSize(uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        default:
            return 0;
    }
}

/// The size of the units whose bytes a change of byte order reverses.
int UnitSize(uint16_t type) {
    return type == 5 || type == 10 ? 4 : TypeSize(type);
}

/// A TIFF structure as EXIF holds it, its fields in little-endian bytes.
struct Exif {
    std::vector<TiffField> image, exif, gps;
};

class ExifReader {
public:
    explicit ExifReader(QByteArray data) : m_data(std::move(data)) {}

    std::optional<Exif> Read() {
        if (m_data.startsWith(QByteArray("Exif\0\0", 6))) m_data.remove(0, 6);
        if (!Has(0, 8) || (!m_data.startsWith("II") && !m_data.startsWith("MM"))) return {};
        m_big = m_data[0] == 'M';
        if (U16(2) != 42) return {};
        Exif exif;
        exif.image = Directory(U32(4));
        for (const TiffField& field : exif.image) {
            if (field.tag == kExifDirectory && field.value.size() == 4)
                exif.exif = Directory(qFromLittleEndian<quint32>(field.value.constData()));
            if (field.tag == kGpsDirectory && field.value.size() == 4)
                exif.gps = Directory(qFromLittleEndian<quint32>(field.value.constData()));
        }
        return exif;
    }

private:
    bool Has(uint64_t at, uint64_t size) const { return at + size <= uint64_t(m_data.size()); }
    uint16_t U16(uint64_t at) const {
        const char* p = m_data.constData() + at;
        return m_big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }
    uint32_t U32(uint64_t at) const {
        const char* p = m_data.constData() + at;
        return m_big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }

    std::vector<TiffField> Directory(uint64_t at) const {
        std::vector<TiffField> fields;
        if (!Has(at, 2)) return fields;
        const int count = U16(at);
        if (count > kMaxEntries || !Has(at + 2, 12 * uint64_t(count))) return fields;
        for (int i = 0; i < count; ++i) {
            const uint64_t entry = at + 2 + 12 * uint64_t(i);
            TiffField field{U16(entry), U16(entry + 2), U32(entry + 4), {}};
            const uint64_t size = uint64_t(TypeSize(field.type)) * field.count;
            if (size == 0 || size > uint64_t(kMaxBlobBytes)) continue;
            const uint64_t valueAt = size <= 4 ? entry + 8 : U32(entry + 8);
            if (!Has(valueAt, size)) continue;
            field.value = m_data.mid(qsizetype(valueAt), qsizetype(size));
            const int unit = UnitSize(field.type);
            if (m_big && unit > 1)
                for (qsizetype u = 0; u + unit <= field.value.size(); u += unit)
                    std::reverse(field.value.begin() + u, field.value.begin() + u + unit);
            fields.push_back(std::move(field));
        }
        return fields;
    }

    QByteArray m_data;
    bool m_big = false;
};

const TiffField* Find(const std::vector<TiffField>& fields, uint16_t tag) {
    for (const TiffField& field : fields)
        if (field.tag == tag) return &field;
    return nullptr;
}

/// Text of a field: up to its first NUL, UTF-8 or else Latin-1.
QString TextOf(QByteArrayView bytes) {
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) bytes = bytes.first(nul);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    return text.trimmed();
}

QString FieldText(const std::vector<TiffField>& fields, uint16_t tag) {
    const TiffField* field = Find(fields, tag);
    return field && field->type == kAscii ? TextOf(field->value) : QString();
}

/// The IPTC records of a Photoshop resource block: resource 0x0404.
QByteArray IimOf(const QByteArray& resources) {
    qsizetype at = resources.startsWith(QByteArray("Photoshop 3.0\0", 14)) ? 14 : 0;
    while (at + 12 <= resources.size() && resources.mid(at, 4) == "8BIM") {
        const quint16 id = qFromBigEndian<quint16>(resources.constData() + at + 4);
        const int nameLength = static_cast<uint8_t>(resources[at + 6]);
        const qsizetype sizeAt = at + 6 + ((1 + nameLength + 1) & ~1);
        if (sizeAt + 4 > resources.size()) break;
        const quint32 size = qFromBigEndian<quint32>(resources.constData() + sizeAt);
        if (size > quint32(resources.size() - sizeAt - 4)) break;
        if (id == 0x0404) return resources.mid(sizeAt + 4, qsizetype(size));
        at = sizeAt + 4 + qsizetype((size + 1) & ~1u);
    }
    return resources.startsWith('\x1C') ? resources : QByteArray();  // IIM already
}

/// The datasets of record 2 of IPTC-IIM @p iim, by number (the first of each).
std::map<int, QByteArray> ApplicationRecords(const QByteArray& iim) {
    std::map<int, QByteArray> records;
    for (qsizetype at = 0; at + 5 <= iim.size() && iim[at] == '\x1C';) {
        const int record = static_cast<uint8_t>(iim[at + 1]);
        const int dataset = static_cast<uint8_t>(iim[at + 2]);
        const quint16 size = qFromBigEndian<quint16>(iim.constData() + at + 3);
        if (size & 0x8000) break;  // an extended length: no caption is that long
        if (record == 2) records.emplace(dataset, iim.mid(at + 5, size));
        at += 5 + size;
    }
    return records;
}

/// "YYYY:MM:DD HH:MM:SS" from an XMP or IPTC date; empty when it is none.
QString ExifDate(const QString& date, const QString& time = {}) {
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-?(\\d{2})-?(\\d{2})(?:[T ](\\d{2}):?(\\d{2}):?(\\d{2})?)?"));
    const QRegularExpressionMatch match = iso.match(time.isEmpty() ? date : date + u'T' + time);
    if (!match.hasMatch()) return {};
    const auto part = [&](int i) {
        return match.captured(i).isEmpty() ? QStringLiteral("00") : match.captured(i);
    };
    return QStringLiteral("%1:%2:%3 %4:%5:%6")
        .arg(part(1), part(2), part(3), part(4), part(5), part(6));
}

/// The rights an XMP packet states.
Rights RightsOfXmp(const QByteArray& xmp) {
    static const QString dc = QStringLiteral("http://purl.org/dc/elements/1.1/");
    static const QStringList dateNames{QStringLiteral("DateTimeOriginal"),
                                       QStringLiteral("DateCreated"), QStringLiteral("CreateDate")};
    Rights rights;
    QXmlStreamReader reader(xmp);
    QString property;  // the dc property being read
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::Invalid) {
        if (reader.isStartElement()) {
            if (reader.namespaceUri() == dc) property = reader.name().toString();
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                if (dateNames.contains(attribute.name()) && rights.captured.isEmpty())
                    rights.captured = ExifDate(attribute.value().toString());
            if (dateNames.contains(reader.name()) && rights.captured.isEmpty())
                rights.captured = ExifDate(reader.readElementText());
            if (reader.name() != QLatin1StringView("li") || property.isEmpty()) continue;
            const QString value = reader.readElementText().trimmed();
            QString* target = property == u"creator"       ? &rights.creator
                              : property == u"rights"      ? &rights.copyright
                              : property == u"description" ? &rights.description
                                                           : nullptr;
            if (target && target->isEmpty()) *target = value;
        } else if (reader.isEndElement() && reader.namespaceUri() == dc) {
            property.clear();
        }
    }
    return rights;
}

Rights RightsOfIptc(const QByteArray& iim) {
    const std::map<int, QByteArray> records = ApplicationRecords(iim);
    const auto text = [&](int dataset) {
        const auto found = records.find(dataset);
        return found == records.end() ? QString() : TextOf(found->second);
    };
    const QString date = text(55);
    return {text(80), text(116), text(120), date.isEmpty() ? QString() : ExifDate(date, text(60))};
}

Rights RightsOfExif(const Exif& exif) {
    QString captured = FieldText(exif.exif, kDateTimeOriginal);
    if (captured.isEmpty()) captured = FieldText(exif.image, kDateTime);
    return {FieldText(exif.image, kArtist), FieldText(exif.image, kCopyright),
            FieldText(exif.image, kImageDescription), captured};
}

TiffField Ascii(uint16_t tag, const QString& text) {
    const QByteArray value = text.toUtf8() + '\0';
    return {tag, kAscii, uint32_t(value.size()), value};
}

TiffField Bytes(uint16_t tag, uint16_t type, QByteArray value) {
    // IPTC goes in longs, as readers expect; its bytes stay as they are.
    if (type == kLong) value.resize((value.size() + 3) / 4 * 4, '\0');
    const uint32_t count = uint32_t(value.size() / TypeSize(type));
    return {tag, type, count, std::move(value)};
}

/// An XMP packet stating @p rights.
QByteArray XmpOf(const Rights& rights) {
    QByteArray packet;
    QXmlStreamWriter writer(&packet);
    writer.writeProcessingInstruction(
        QStringLiteral("xpacket"),
        QStringLiteral("begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\""));
    writer.writeNamespace(QStringLiteral("adobe:ns:meta/"), QStringLiteral("x"));
    writer.writeNamespace(QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#"),
                          QStringLiteral("rdf"));
    writer.writeNamespace(QStringLiteral("http://purl.org/dc/elements/1.1/"), QStringLiteral("dc"));
    writer.writeNamespace(QStringLiteral("http://ns.adobe.com/photoshop/1.0/"),
                          QStringLiteral("photoshop"));
    writer.writeStartElement(QStringLiteral("adobe:ns:meta/"), QStringLiteral("xmpmeta"));
    const QString rdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    writer.writeStartElement(rdf, QStringLiteral("RDF"));
    writer.writeStartElement(rdf, QStringLiteral("Description"));
    writer.writeAttribute(rdf, QStringLiteral("about"), QString());
    const auto list = [&](const QString& name, const QString& kind, const QString& value) {
        if (value.isEmpty()) return;
        writer.writeStartElement(QStringLiteral("http://purl.org/dc/elements/1.1/"), name);
        writer.writeStartElement(rdf, kind);
        writer.writeStartElement(rdf, QStringLiteral("li"));
        if (kind == u"Alt")
            writer.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("x-default"));
        writer.writeCharacters(value);
        writer.writeEndElement();
        writer.writeEndElement();
        writer.writeEndElement();
    };
    list(QStringLiteral("creator"), QStringLiteral("Seq"), rights.creator);
    list(QStringLiteral("rights"), QStringLiteral("Alt"), rights.copyright);
    list(QStringLiteral("description"), QStringLiteral("Alt"), rights.description);
    if (!rights.captured.isEmpty()) {
        QString iso = rights.captured;
        iso.replace(4, 1, u'-').replace(7, 1, u'-').replace(10, 1, u'T');
        writer.writeTextElement(QStringLiteral("http://ns.adobe.com/photoshop/1.0/"),
                                QStringLiteral("DateCreated"), iso);
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeProcessingInstruction(QStringLiteral("xpacket"), QStringLiteral("end=\"w\""));
    return packet;
}

/// @p xmp with the orientation it states, if it states one, set to @p orientation.
QByteArray WithOrientation(QByteArray xmp, int orientation) {
    static const QRegularExpression stated(
        QStringLiteral("(tiff:Orientation\\s*=\\s*[\"']|<tiff:Orientation>)\\s*\\d"));
    QString text = QString::fromUtf8(xmp);
    text.replace(stated, QStringLiteral("\\1%1").arg(orientation));
    return text.toUtf8();
}

}  // namespace

std::optional<MetadataChoice> MetadataChoiceNamed(const QString& name) {
    const QString wanted = name.trimmed().toLower();
    if (wanted == u"rights") return MetadataChoice::Rights;
    if (wanted == u"all") return MetadataChoice::All;
    if (wanted == u"none") return MetadataChoice::None;
    return std::nullopt;
}

PhotoMetadata MetadataOf(const vips::VImage& frame) {
    PhotoMetadata metadata;
    const auto blob = [&](const char* name) {
        if (!frame.get_typeof(name)) return QByteArray();
        size_t length = 0;
        const void* data = frame.get_blob(name, &length);
        if (!data || length > size_t(kMaxBlobBytes)) return QByteArray();
        return QByteArray(static_cast<const char*>(data), qsizetype(length));
    };
    metadata.exif = blob("exif-data");
    metadata.xmp = blob("xmp-data");
    // HEIF keeps XMP among its unnamed MIME items.
    for (int item = 0; item < 16 && metadata.xmp.isEmpty(); ++item) {
        const QByteArray mime = blob(("heif-mime-" + QByteArray::number(item)).constData());
        if (mime.contains("<x:xmpmeta") || mime.contains("<rdf:RDF")) metadata.xmp = mime;
    }
    metadata.iptc = IimOf(blob("iptc-data"));
    return metadata;
}

Rights RightsOf(const PhotoMetadata& metadata) {
    const Rights xmp = RightsOfXmp(metadata.xmp);
    const Rights iptc = RightsOfIptc(metadata.iptc);
    const Rights exif = RightsOfExif(ExifReader(metadata.exif).Read().value_or(Exif{}));
    const auto first = [](const QString& a, const QString& b, const QString& c) {
        return !a.isEmpty() ? a : !b.isEmpty() ? b : c;
    };
    // The capture date is the camera's own first.
    return {first(xmp.creator, iptc.creator, exif.creator),
            first(xmp.copyright, iptc.copyright, exif.copyright),
            first(xmp.description, iptc.description, exif.description),
            first(exif.captured, xmp.captured, iptc.captured)};
}

TiffMetadata MetadataToWrite(const PhotoMetadata& metadata, MetadataChoice choice, bool asStored) {
    TiffMetadata written;
    if (choice == MetadataChoice::None) return written;
    const Rights rights = RightsOf(metadata);
    const auto addRights = [&](std::vector<TiffField>& fields) {
        const std::pair<uint16_t, const QString*> stated[] = {
            {kImageDescription, &rights.description},
            {kDateTime, &rights.captured},
            {kArtist, &rights.creator},
            {kCopyright, &rights.copyright}};
        for (const auto& [tag, text] : stated)
            if (!text->isEmpty() && !Find(fields, tag)) fields.push_back(Ascii(tag, *text));
    };
    if (choice == MetadataChoice::Rights) {
        addRights(written.image);
        if (!rights.creator.isEmpty() || !rights.copyright.isEmpty() ||
            !rights.description.isEmpty() || !rights.captured.isEmpty())
            written.image.push_back(Bytes(kXmp, kByte, XmpOf(rights)));
    } else {
        const Exif exif = ExifReader(metadata.exif).Read().value_or(Exif{});
        // The photo's own description of itself; how its pixels are stored is the TIFF's.
        static const std::set<uint16_t> kDescriptive{kImageDescription, kMake,     kModel,
                                                     kSoftware,         kDateTime, kArtist,
                                                     kHostComputer,     kCopyright};
        for (const TiffField& field : exif.image)
            if (kDescriptive.count(field.tag)) written.image.push_back(field);
        addRights(written.image);
        const int orientation = asStored ? metadata.orientation : 1;
        QByteArray shortValue(2, '\0');
        qToLittleEndian<quint16>(quint16(orientation), shortValue.data());
        written.image.push_back(Bytes(kOrientation, kShort, shortValue));
        written.image.push_back(Bytes(
            kXmp, kByte,
            metadata.xmp.isEmpty() ? XmpOf(rights) : WithOrientation(metadata.xmp, orientation)));
        if (!metadata.iptc.isEmpty()) written.image.push_back(Bytes(kIptc, kLong, metadata.iptc));
        // What describes the camera's compressed file, not this one, stays behind.
        static const std::set<uint16_t> kOfTheSourceFile{
            kInteroperabilityDirectory, 0x9101 /* components */, 0x9102 /* bits per pixel */,
            0xA002 /* pixel width */, 0xA003 /* pixel height */};
        for (const TiffField& field : exif.exif)
            if (!kOfTheSourceFile.count(field.tag)) written.exif.push_back(field);
        written.gps = exif.gps;
    }
    const auto byTag = [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; };
    std::sort(written.image.begin(), written.image.end(), byTag);
    std::sort(written.exif.begin(), written.exif.end(), byTag);
    std::sort(written.gps.begin(), written.gps.end(), byTag);
    return written;
}

}  // namespace imaging
