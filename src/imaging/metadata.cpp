#include "imaging/metadata.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtEndian>
#include <algorithm>
#include <set>

#include "imaging/opened_file.h"

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
    kXResolution = 282,
    kResolutionUnit = 296,
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
    kDateTimeDigitized = 36868,
    kOffsetTime = 36880,
    kOffsetTimeOriginal = 36881,
    kSubSecTime = 37520,
    kSubSecTimeOriginal = 37521,
    kInteroperabilityDirectory = 40965,
    kSubDirectories = 330,
    kIccProfile = 34675,
    kFirstExifTag = 33434,  // ExposureTime
    kExifVersion = 36864,
    kFlashpixVersion = 40960,
    kColorSpace = 40961,
    kLastGpsTag = 31,
};
enum Type : uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kUndefined = 7,
    kDouble = 12,
    kIfd = 13,
};

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

using Exif = TiffMetadata;

/// Reads each directory once and each value once, holding in all at most a
/// small multiple of the structure (and never more than twice the largest
/// blob): a crafted structure whose thousand entries each point at the whole
/// of it, or whose directories point back at each other, costs no more than
/// an honest one.
class ExifReader {
public:
    /// Over a blob, as EXIF keeps it ("Exif\0\0" and a TIFF structure).
    explicit ExifReader(QByteArray data) : m_data(std::move(data)) {
        if (m_data.startsWith(QByteArray("Exif\0\0", 6))) m_data.remove(0, 6);
        m_size = uint64_t(m_data.size());
        m_budget = 2 * m_size + 4096;
    }
    /// Over a file that is a TIFF structure, read only where its directories point.
    explicit ExifReader(const OpenedFile& file)
        : m_file(&file),
          m_size(uint64_t(std::max<qint64>(file.Size(), 0))),
          m_budget(2 * uint64_t(kMaxBlobBytes)) {}

    std::optional<Exif> Read() {
        const QByteArray header = Bytes(0, 8);
        if (header.size() < 8) return {};
        // Raw files of some makers change the TIFF's magic number ("IIRO", "IIU").
        if (!header.startsWith("II") && !header.startsWith("MM")) return {};
        m_big = header[0] == 'M';
        if (!IsTiffMagic(U16(header, 2))) return {};
        Exif exif;
        exif.image = Directory(U32(header, 4));
        const auto pointed = [&](uint16_t tag) -> std::optional<uint32_t> {
            const TiffField* field = Pointer(exif.image, tag);
            if (!field) return std::nullopt;
            return qFromLittleEndian<quint32>(field->value.constData());
        };
        if (const auto at = pointed(kExifDirectory)) exif.exif = Directory(*at);
        if (const auto at = pointed(kGpsDirectory)) exif.gps = Directory(*at);
        return exif;
    }

private:
    static bool IsTiffMagic(uint16_t magic) {
        return magic == 42 || magic == 0x4F52 /* ORF */ || magic == 0x5352 || magic == 0x55;
    }
    static const TiffField* Pointer(const std::vector<TiffField>& fields, uint16_t tag) {
        for (const TiffField& field : fields)
            if (field.tag == tag && (field.type == kLong || field.type == kIfd) && field.count == 1)
                return &field;
        return nullptr;
    }
    bool Has(uint64_t at, uint64_t size) const { return at + size <= m_size; }
    QByteArray Bytes(uint64_t at, uint64_t size) const {
        if (!Has(at, size)) return {};
        return m_file ? m_file->ReadAt(qint64(at), qint64(size))
                      : m_data.mid(qsizetype(at), qsizetype(size));
    }
    uint16_t U16(const QByteArray& bytes, qsizetype at) const {
        const char* p = bytes.constData() + at;
        return m_big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }
    uint32_t U32(const QByteArray& bytes, qsizetype at) const {
        const char* p = bytes.constData() + at;
        return m_big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }

    /// The fields of the directory at @p at, each tag once; nothing for a
    /// directory already read or one whose entries overlap one read before.
    std::vector<TiffField> Directory(uint64_t at) {
        std::vector<TiffField> fields;
        const QByteArray head = Bytes(at, 2);
        if (head.size() < 2) return fields;
        const int count = U16(head, 0);
        const uint64_t end = at + 2 + 12 * uint64_t(count);
        if (count > kMaxEntries) return fields;
        const QByteArray entries = Bytes(at + 2, 12 * uint64_t(count));
        if (entries.size() != 12 * count) return fields;
        for (const auto& [start, stop] : m_directories)
            if (at < stop && start < end) return fields;
        m_directories.emplace_back(at, end);
        std::set<uint16_t> seen;
        for (int i = 0; i < count; ++i) {
            const qsizetype entry = 12 * qsizetype(i);
            TiffField field{
                U16(entries, entry), U16(entries, entry + 2), U32(entries, entry + 4), {}};
            if (!seen.insert(field.tag).second) continue;
            const uint64_t size = uint64_t(TypeSize(field.type)) * field.count;
            if (size == 0 || size > m_budget) continue;
            if (size <= 4) {
                field.value = entries.mid(entry + 8, qsizetype(size));
            } else {
                field.value = Bytes(U32(entries, entry + 8), size);
                if (uint64_t(field.value.size()) != size) continue;
            }
            m_budget -= size;
            const int unit = UnitSize(field.type);
            if (m_big && unit > 1)
                for (qsizetype u = 0; u + unit <= field.value.size(); u += unit)
                    std::reverse(field.value.begin() + u, field.value.begin() + u + unit);
            fields.push_back(std::move(field));
        }
        return fields;
    }

    QByteArray m_data;
    const OpenedFile* m_file = nullptr;
    uint64_t m_size = 0;
    bool m_big = false;
    uint64_t m_budget = 0;                                     // bytes of values still to be held
    std::vector<std::pair<uint64_t, uint64_t>> m_directories;  // the entries read, as [start, end)
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

/// True when @p text is a date and time as EXIF writes it, "YYYY:MM:DD HH:MM:SS",
/// each part within its range: "9999:99:99 99:99:99" is no date.
bool IsExifDate(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4}):(\\d{2}):(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) return false;
    const auto part = [&](int i) { return match.captured(i).toInt(); };
    return part(2) >= 1 && part(2) <= 12 && part(3) >= 1 && part(3) <= 31 && part(4) <= 23 &&
           part(5) <= 59 && part(6) <= 60;
}

/// @p rights with its capture date set from @p iso, an ISO 8601 date as XMP
/// and IPTC state it, year alone to fractions and zone; unchanged when it is none.
void SetCaptured(Rights& rights, const QString& iso) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})(?:-?(\\d{2})(?:-?(\\d{2})(?:[T ](\\d{2}):?(\\d{2})(?::?(\\d{2})"
                       "(?:[.,](\\d{1,9}))?)?(Z|[+-]\\d{2}:?\\d{2})?)?)?)?$"));
    const QRegularExpressionMatch match = form.match(iso.trimmed());
    if (!match.hasMatch()) return;
    const auto part = [&](int i) { return match.captured(i); };
    const int month = part(2).toInt(), day = part(3).toInt();
    if ((!part(2).isEmpty() && (month < 1 || month > 12)) ||
        (!part(3).isEmpty() && (day < 1 || day > 31)))
        return;
    QString zone = part(8);
    if (zone == u"Z") zone = QStringLiteral("+00:00");
    if (zone.size() == 5) zone.insert(3, u':');
    Rights found;
    found.capturedIso = part(1);
    if (!part(2).isEmpty()) found.capturedIso += u'-' + part(2);
    if (!part(3).isEmpty()) found.capturedIso += u'-' + part(3);
    if (!part(4).isEmpty()) {
        const QString seconds = part(6).isEmpty() ? QStringLiteral("00") : part(6);
        found.captured = QStringLiteral("%1:%2:%3 %4:%5:%6")
                             .arg(part(1), part(2), part(3), part(4), part(5), seconds);
        if (!IsExifDate(found.captured)) return;
        found.capturedIso += u'T' + part(4) + u':' + part(5) + u':' + seconds;
        found.subSeconds = part(7);
        if (!found.subSeconds.isEmpty()) found.capturedIso += u'.' + found.subSeconds;
        found.offset = zone;
        found.capturedIso += zone;
    } else if (!part(3).isEmpty()) {
        found.captured = QStringLiteral("%1:%2:%3 00:00:00").arg(part(1), part(2), part(3));
        if (!IsExifDate(found.captured)) return;
    }
    rights.captured = found.captured;
    rights.capturedIso = found.capturedIso;
    rights.subSeconds = found.subSeconds;
    rights.offset = found.offset;
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
                if (dateNames.contains(attribute.name()) && rights.capturedIso.isEmpty())
                    SetCaptured(rights, attribute.value().toString());
            if (dateNames.contains(reader.name()) && rights.capturedIso.isEmpty())
                SetCaptured(rights, reader.readElementText());
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
    Rights rights{text(80), text(116), text(120), {}, {}, {}, {}};
    // A date, and a time with its zone: "20210506", "070809+0530".
    const QString date = text(55), time = text(60);
    if (!date.isEmpty()) SetCaptured(rights, time.isEmpty() ? date : date + u'T' + time);
    return rights;
}

Rights RightsOfExif(const Exif& exif) {
    Rights rights{FieldText(exif.image, kArtist),
                  FieldText(exif.image, kCopyright),
                  FieldText(exif.image, kImageDescription),
                  {},
                  {},
                  {},
                  {}};
    // The original's date with its own fraction and zone, else the file's.
    const std::tuple<const std::vector<TiffField>*, uint16_t, uint16_t, uint16_t> sources[] = {
        {&exif.exif, kDateTimeOriginal, kSubSecTimeOriginal, kOffsetTimeOriginal},
        {&exif.image, kDateTime, kSubSecTime, kOffsetTime}};
    for (const auto& [fields, dateTag, fractionTag, zoneTag] : sources) {
        const QString date = FieldText(*fields, dateTag);
        if (!IsExifDate(date)) continue;
        QString iso = date;
        iso.replace(4, 1, u'-').replace(7, 1, u'-').replace(10, 1, u'T');
        static const QRegularExpression digits(QStringLiteral("^\\d{1,9}$"));
        const QString fraction = FieldText(exif.exif, fractionTag).trimmed();
        if (digits.match(fraction).hasMatch()) iso += u'.' + fraction;
        SetCaptured(rights, iso + FieldText(exif.exif, zoneTag).trimmed());
        if (rights.captured.isEmpty()) SetCaptured(rights, iso);
        break;
    }
    return rights;
}

/// The tags that say where another directory lies: never copied, since the
/// written file's directories are its own.
bool IsPointer(uint16_t tag) {
    return tag == kExifDirectory || tag == kGpsDirectory || tag == kInteroperabilityDirectory ||
           tag == kSubDirectories;
}

/// @p field as it may be written: of a type TIFF knows, its text cut at the
/// first NUL, trimmed and ended by one, a date only when it is one; nothing
/// when no such field is left.
std::optional<TiffField> Sanitised(TiffField field) {
    if (field.type < kByte || field.type > kDouble || IsPointer(field.tag)) return std::nullopt;
    if (field.type == kAscii) {
        QByteArray text = field.value;
        if (const qsizetype nul = text.indexOf('\0'); nul >= 0) text.truncate(nul);
        text = text.trimmed();
        const bool date = field.tag == kDateTime || field.tag == kDateTimeOriginal ||
                          field.tag == kDateTimeDigitized;
        if (text.isEmpty() || (date && !IsExifDate(QString::fromLatin1(text)))) return std::nullopt;
        field.value = text + '\0';
        field.count = uint32_t(field.value.size());
    }
    return field;
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
    if (!rights.capturedIso.isEmpty())
        writer.writeTextElement(QStringLiteral("http://ns.adobe.com/photoshop/1.0/"),
                                QStringLiteral("DateCreated"), rights.capturedIso);
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
    metadata.exif = ExifReader(blob("exif-data")).Read().value_or(Exif{});
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
    const Rights exif = RightsOfExif(metadata.exif);
    const auto first = [](const QString& a, const QString& b, const QString& c) {
        return !a.isEmpty() ? a : !b.isEmpty() ? b : c;
    };
    // The capture date is the camera's own first, each source's whole.
    const Rights& dated = !exif.capturedIso.isEmpty()  ? exif
                          : !xmp.capturedIso.isEmpty() ? xmp
                                                       : iptc;
    return {first(xmp.creator, iptc.creator, exif.creator),
            first(xmp.copyright, iptc.copyright, exif.copyright),
            first(xmp.description, iptc.description, exif.description),
            dated.captured,
            dated.capturedIso,
            dated.subSeconds,
            dated.offset};
}

namespace {

/// The Exif and XMP boxes of a JPEG XL container; the codestream's boxes are
/// passed over unread.
PhotoMetadata MetadataInJxlContainer(const OpenedFile& file) {
    PhotoMetadata metadata;
    constexpr int kMaxBoxes = 256;
    qint64 at = 0;
    for (int box = 0; box < kMaxBoxes && at + 8 <= file.Size(); ++box) {
        const QByteArray header = file.ReadAt(at, 16);
        if (header.size() < 8) break;
        quint64 size = qFromBigEndian<quint32>(header.constData());
        qint64 payload = at + 8;
        if (size == 1 && header.size() == 16) {
            size = qFromBigEndian<quint64>(header.constData() + 8);
            payload = at + 16;
        } else if (size == 0) {
            size = quint64(file.Size() - at);  // the last box runs to the end
        }
        if (size < quint64(payload - at) || size > quint64(file.Size() - at)) break;
        const QByteArrayView type(header.constData() + 4, 4);
        const qint64 length = qint64(size) - (payload - at);
        if ((type == "Exif" || type == "xml ") && length <= kMaxBlobBytes) {
            const QByteArray content = file.ReadAt(payload, length);
            if (type == "xml " && metadata.xmp.isEmpty()) {
                metadata.xmp = content;
            } else if (type == "Exif" && content.size() >= 4 && metadata.exif.image.empty()) {
                // The box starts with the offset of the TIFF header within the rest.
                const quint32 offset = qFromBigEndian<quint32>(content.constData());
                if (offset <= quint32(content.size() - 4))
                    metadata.exif =
                        ExifReader(content.mid(4 + qsizetype(offset))).Read().value_or(Exif{});
            }
        }
        at += qint64(size);
    }
    return metadata;
}

}  // namespace

PhotoMetadata MetadataInFile(const OpenedFile& file) {
    const QByteArray head = file.ReadAt(0, 12);
    if (head.startsWith(QByteArray("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12)))
        return MetadataInJxlContainer(file);
    PhotoMetadata metadata;
    metadata.exif = ExifReader(file).Read().value_or(Exif{});
    // A TIFF keeps its XMP and IPTC in its own directory.
    if (const TiffField* xmp = Find(metadata.exif.image, kXmp);
        xmp && xmp->value.size() <= kMaxBlobBytes)
        metadata.xmp = xmp->value;
    if (const TiffField* iptc = Find(metadata.exif.image, kIptc);
        iptc && iptc->value.size() <= kMaxBlobBytes) {
        metadata.iptc = iptc->value;
        // Records start with 0x1C; a big-endian file's LONG units were turned around.
        if (!metadata.iptc.startsWith('\x1C') && iptc->type == kLong)
            for (qsizetype u = 0; u + 4 <= metadata.iptc.size(); u += 4)
                std::reverse(metadata.iptc.begin() + u, metadata.iptc.begin() + u + 4);
    }
    return metadata;
}

void Complete(PhotoMetadata& metadata, const PhotoMetadata& file) {
    if (metadata.exif.image.empty() && metadata.exif.exif.empty()) metadata.exif = file.exif;
    if (metadata.xmp.isEmpty()) metadata.xmp = file.xmp;
    if (metadata.iptc.isEmpty()) metadata.iptc = file.iptc;
}

std::optional<double> ResolutionOf(const TiffMetadata& exif) {
    const TiffField* x = Find(exif.image, kXResolution);
    if (!x || x->type != kRational || x->count != 1) return std::nullopt;
    const quint32 numerator = qFromLittleEndian<quint32>(x->value.constData());
    const quint32 denominator = qFromLittleEndian<quint32>(x->value.constData() + 4);
    if (numerator == 0 || denominator == 0) return std::nullopt;
    const TiffField* unit = Find(exif.image, kResolutionUnit);
    const int per =
        unit && unit->type == kShort ? qFromLittleEndian<quint16>(unit->value.constData()) : 2;
    const double dpi = double(numerator) / denominator * (per == 3 ? 2.54 : 1.0);
    // Unit 1 (none) states proportions, not a resolution.
    if (per == 1 || dpi < 1.0 || dpi > 1e6) return std::nullopt;
    return dpi;
}

QString WritingTime() {
    bool given = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&given);
    const QDateTime when =
        given ? QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC) : QDateTime::currentDateTime();
    return when.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
}

TiffMetadata MetadataToWrite(const PhotoMetadata& metadata, MetadataChoice choice, bool asStored,
                             const QString& writtenAt) {
    TiffMetadata written;
    if (choice == MetadataChoice::None) return written;
    const Rights rights = RightsOf(metadata);
    // The TIFF's date is when it was written, in every mode; the capture's is EXIF's and XMP's.
    if (IsExifDate(writtenAt)) written.image.push_back(Ascii(kDateTime, writtenAt));
    const auto addRights = [&](std::vector<TiffField>& fields) {
        const std::pair<uint16_t, const QString*> stated[] = {
            {kImageDescription, &rights.description},
            {kArtist, &rights.creator},
            {kCopyright, &rights.copyright}};
        for (const auto& [tag, text] : stated)
            if (!text->isEmpty() && !Find(fields, tag)) fields.push_back(Ascii(tag, *text));
    };
    if (choice == MetadataChoice::Rights) {
        addRights(written.image);
        if (!rights.creator.isEmpty() || !rights.copyright.isEmpty() ||
            !rights.description.isEmpty() || !rights.capturedIso.isEmpty())
            written.image.push_back(Bytes(kXmp, kByte, XmpOf(rights)));
        // The moment of capture, its fraction and zone, where EXIF keeps them.
        const std::pair<uint16_t, const QString*> moment[] = {
            {kDateTimeOriginal, &rights.captured},
            {kSubSecTimeOriginal, &rights.subSeconds},
            {kOffsetTimeOriginal, &rights.offset}};
        for (const auto& [tag, text] : moment)
            if (!text->isEmpty()) written.exif.push_back(Ascii(tag, *text));
        // The photo's own word on its colours stands beside them.
        if (!written.exif.empty()) {
            const Exif& exif = metadata.exif;
            if (const TiffField* space = Find(exif.exif, kColorSpace))
                if (auto kept = Sanitised(*space)) written.exif.push_back(std::move(*kept));
        }
    } else {
        const Exif& exif = metadata.exif;
        // The photo's own description of itself; how its pixels are stored is the
        // TIFF's. The rights come from where they are read first, XMP before EXIF,
        // so that the TIFF's fields and its XMP say the same.
        static const std::set<uint16_t> kDescriptive{kMake, kModel, kSoftware, kHostComputer};
        for (const TiffField& field : exif.image)
            if (kDescriptive.count(field.tag) && field.type == kAscii)
                if (auto kept = Sanitised(field)) written.image.push_back(std::move(*kept));
        addRights(written.image);
        const int orientation = asStored ? metadata.orientation : 1;
        QByteArray shortValue(2, '\0');
        qToLittleEndian<quint16>(quint16(orientation), shortValue.data());
        written.image.push_back(Bytes(kOrientation, kShort, shortValue));
        written.image.push_back(Bytes(
            kXmp, kByte,
            metadata.xmp.isEmpty() ? XmpOf(rights) : WithOrientation(metadata.xmp, orientation)));
        if (!metadata.iptc.isEmpty()) written.image.push_back(Bytes(kIptc, kLong, metadata.iptc));
        // What describes the camera's compressed file, not this one, stays behind;
        // so do the maker's notes, whose offsets point into that file and read
        // wrong once moved (and past 64 KB the TIFF library refuses them).
        static const std::set<uint16_t> kOfTheSourceFile{
            kInteroperabilityDirectory, 0x9101 /* components */,  0x9102 /* bits per pixel */,
            0x927C /* maker's notes */, 0xA002 /* pixel width */, 0xA003 /* pixel height */};
        // Each directory keeps only its own tags: EXIF's start at ExposureTime,
        // GPS's are numbered from 0 to 31.
        for (const TiffField& field : exif.exif)
            if (field.tag >= kFirstExifTag && field.tag != kIptc && field.tag != kIccProfile &&
                !kOfTheSourceFile.count(field.tag))
                if (auto kept = Sanitised(field)) written.exif.push_back(std::move(*kept));
        for (const TiffField& field : exif.gps)
            if (field.tag <= kLastGpsTag)
                if (auto kept = Sanitised(field)) written.gps.push_back(std::move(*kept));
    }
    // What an EXIF directory must state; a photo read without a colour space was read as sRGB.
    if (!written.exif.empty()) {
        if (!Find(written.exif, kExifVersion))
            written.exif.push_back(Bytes(kExifVersion, kUndefined, "0232"));
        if (!Find(written.exif, kFlashpixVersion))
            written.exif.push_back(Bytes(kFlashpixVersion, kUndefined, "0100"));
        if (!Find(written.exif, kColorSpace))
            written.exif.push_back(Bytes(kColorSpace, kShort, QByteArray("\x01\x00", 2)));
    }
    // Sorted, each tag once, as TIFF readers require.
    const auto byTag = [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; };
    const auto sameTag = [](const TiffField& a, const TiffField& b) { return a.tag == b.tag; };
    for (std::vector<TiffField>* fields : {&written.image, &written.exif, &written.gps}) {
        std::stable_sort(fields->begin(), fields->end(), byTag);
        fields->erase(std::unique(fields->begin(), fields->end(), sameTag), fields->end());
    }
    return written;
}

}  // namespace imaging
