#include "decoder/protocol.h"

#include <QHash>
#include <QIODevice>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <functional>

namespace decoder {
namespace {

constexpr char kMagic[4] = {'T', 'S', 'V', 'D'};
constexpr char kSpentMagic[4] = {'T', 'S', 'V', 'T'};
constexpr uint32_t kVersion = 2;
enum : uint8_t { kRefusal = 0, kProbe = 1, kPicture = 2 };

// What an answer's metadata may hold; beyond this it is no answer.
constexpr uint32_t kMaxFields = 1024;
constexpr uint32_t kMaxFieldBytes = 16u << 20;
constexpr uint64_t kMaxAllFieldsBytes = 16u << 20;  // all fields together
constexpr uint32_t kMaxNameBytes = 256;
constexpr uint32_t kMaxReasonBytes = 4096;
constexpr uint8_t kMaxReasonArgs = 8;

enum : uint8_t { kIntField = 0, kDoubleField = 1, kStringField = 2, kBlobField = 3 };

class Writer {
public:
    explicit Writer(QIODevice& out) : m_out(out) {}
    void Bytes(const void* data, qint64 size) {
        m_ok = m_ok && m_out.write(static_cast<const char*>(data), size) == size;
    }
    template <typename T>
    void Number(T value) {
        char bytes[sizeof(T)];
        qToLittleEndian(value, bytes);
        Bytes(bytes, sizeof(T));
    }
    void Text(const QByteArray& text) {
        Number<uint32_t>(uint32_t(text.size()));
        Bytes(text.constData(), text.size());
    }
    bool ok() const { return m_ok; }

private:
    QIODevice& m_out;
    bool m_ok = true;
};

class Reader {
public:
    Reader(QIODevice& in, const std::function<bool()>& wait) : m_in(in), m_wait(wait) {}
    bool Bytes(void* data, qint64 size) {
        auto* out = static_cast<char*>(data);
        while (size > 0) {
            const qint64 got = m_in.read(out, size);
            if (got < 0) return false;
            if (got == 0 && !m_wait()) return false;
            out += got;
            size -= got;
        }
        return true;
    }
    template <typename T>
    std::optional<T> Number() {
        char bytes[sizeof(T)];
        if (!Bytes(bytes, sizeof(T))) return std::nullopt;
        return qFromLittleEndian<T>(bytes);
    }
    /// A text of at most @p maxBytes, and at most what @p budget still allows,
    /// which it then takes.
    std::optional<QByteArray> Text(uint32_t maxBytes, uint64_t* budget = nullptr) {
        const std::optional<uint32_t> size = Number<uint32_t>();
        if (!size || *size > maxBytes || (budget && *size > *budget)) return std::nullopt;
        if (budget) *budget -= *size;
        QByteArray text(qsizetype(*size), Qt::Uninitialized);
        if (!Bytes(text.data(), *size)) return std::nullopt;
        return text;
    }

private:
    QIODevice& m_in;
    const std::function<bool()>& m_wait;
};

/// True for the fields every image has, which travel on their own.
bool IsHeaderField(std::string_view name) {
    for (const char* field : {"width", "height", "bands", "format", "coding", "interpretation",
                              "xoffset", "yoffset", "xres", "yres", "filename"})
        if (name == field) return true;
    return false;
}

/// The fields of @p image that travel with its pixels.
void WriteFields(Writer& writer, const vips::VImage& image) {
    gchar** names = vips_image_get_fields(image.get_image());
    std::vector<std::pair<QByteArray, GType>> fields;
    for (gchar** name = names; *name; ++name) {
        const GType type = image.get_typeof(*name);
        if (type == G_TYPE_INT || type == G_TYPE_DOUBLE || type == VIPS_TYPE_REF_STRING ||
            type == G_TYPE_STRING || type == VIPS_TYPE_BLOB)
            fields.emplace_back(QByteArray(*name), type);
    }
    g_strfreev(names);
    std::erase_if(fields, [](const auto& field) {
        return IsHeaderField(field.first.toStdString()) ||
               field.first.size() > qsizetype(kMaxNameBytes);
    });
    // What the reader takes: fields beyond its budget stay behind.
    uint64_t budget = kMaxAllFieldsBytes;
    std::erase_if(fields, [&](const auto& field) {
        size_t length = 0;
        if (field.second == VIPS_TYPE_BLOB)
            image.get_blob(field.first.constData(), &length);
        else if (field.second != G_TYPE_INT && field.second != G_TYPE_DOUBLE)
            length = std::strlen(image.get_string(field.first.constData()));
        length = std::min<size_t>(length, kMaxFieldBytes);
        if (length > budget) return true;
        budget -= length;
        return false;
    });
    writer.Number<uint32_t>(uint32_t(std::min<size_t>(fields.size(), kMaxFields)));
    for (size_t i = 0; i < fields.size() && i < kMaxFields; ++i) {
        const auto& [name, type] = fields[i];
        writer.Text(name);
        if (type == G_TYPE_INT) {
            writer.Number<uint8_t>(kIntField);
            writer.Number<int32_t>(image.get_int(name.constData()));
        } else if (type == G_TYPE_DOUBLE) {
            writer.Number<uint8_t>(kDoubleField);
            writer.Number<double>(image.get_double(name.constData()));
        } else if (type == VIPS_TYPE_BLOB) {
            size_t length = 0;
            const void* data = image.get_blob(name.constData(), &length);
            writer.Number<uint8_t>(kBlobField);
            const auto kept = uint32_t(std::min<size_t>(length, kMaxFieldBytes));
            writer.Number<uint32_t>(kept);
            writer.Bytes(data, kept);
        } else {
            writer.Number<uint8_t>(kStringField);
            writer.Text(QByteArray(image.get_string(name.constData())).left(kMaxFieldBytes));
        }
    }
}

bool ReadFields(Reader& reader, vips::VImage& image) {
    const std::optional<uint32_t> count = reader.Number<uint32_t>();
    if (!count || *count > kMaxFields) return false;
    // Held before it is looked at: a decoder gone wrong may not fill the program's memory.
    uint64_t budget = kMaxAllFieldsBytes;
    for (uint32_t i = 0; i < *count; ++i) {
        const std::optional<QByteArray> name = reader.Text(kMaxNameBytes);
        const std::optional<uint8_t> type = reader.Number<uint8_t>();
        if (!name || !type || name->isEmpty() || IsHeaderField(name->toStdString())) return false;
        if (*type == kIntField) {
            const std::optional<int32_t> value = reader.Number<int32_t>();
            if (!value) return false;
            image.set(name->constData(), *value);
        } else if (*type == kDoubleField) {
            const std::optional<double> value = reader.Number<double>();
            if (!value) return false;
            image.set(name->constData(), *value);
        } else if (*type == kStringField) {
            const std::optional<QByteArray> value = reader.Text(kMaxFieldBytes, &budget);
            if (!value) return false;
            image.set(name->constData(), value->constData());
        } else if (*type == kBlobField) {
            const std::optional<QByteArray> value = reader.Text(kMaxFieldBytes, &budget);
            if (!value) return false;
            void* copy = g_malloc(size_t(value->size()));
            std::memcpy(copy, value->constData(), size_t(value->size()));
            const VipsCallbackFn free = [](void* data, void*) {
                g_free(data);
                return 0;
            };
            image.set(name->constData(), free, copy, size_t(value->size()));
        } else {
            return false;
        }
    }
    return true;
}

struct PixelSink {
    Writer& writer;
    size_t rowBytes;
};

int TakeRows(VipsRegion* region, VipsRect* area, void* user) {
    auto& sink = *static_cast<PixelSink*>(user);
    for (int y = area->top; y < area->top + area->height; ++y)
        sink.writer.Bytes(VIPS_REGION_ADDR(region, 0, y), qint64(sink.rowBytes));
    return sink.writer.ok() ? 0 : -1;
}

bool WritePicture(Writer& writer, const vips::VImage& image) {
    writer.Number<int32_t>(image.width());
    writer.Number<int32_t>(image.height());
    writer.Number<int32_t>(image.bands());
    writer.Number<int32_t>(image.format());
    writer.Number<int32_t>(image.interpretation());
    writer.Number<double>(image.xres());
    writer.Number<double>(image.yres());
    if (!writer.ok()) return false;
    PixelSink sink{writer, VIPS_IMAGE_SIZEOF_LINE(image.get_image())};
    if (vips_sink_disc(image.get_image(), TakeRows, &sink) != 0) return false;
    WriteFields(writer, image);
    return writer.ok();
}

Answer ReadPicture(Reader& reader, const Limits& limits) {
    const auto width = reader.Number<int32_t>(), height = reader.Number<int32_t>(),
               bands = reader.Number<int32_t>(), format = reader.Number<int32_t>(),
               interpretation = reader.Number<int32_t>();
    const auto xres = reader.Number<double>(), yres = reader.Number<double>();
    if (!width || !height || !bands || !format || !interpretation || !xres || !yres)
        return Refusal{{res::Text::DecoderEndedEarly}};
    const bool knownFormat = *format == VIPS_FORMAT_UCHAR || *format == VIPS_FORMAT_USHORT ||
                             *format == VIPS_FORMAT_FLOAT;
    if (*width <= 0 || *height <= 0 || *bands < 1 || *bands > 5 || !knownFormat ||
        int64_t{*width} * *height > limits.maxPixels)
        return Refusal{{res::Text::DecoderPictureRefused}};
    const int64_t bytes = int64_t{*width} * *height * *bands *
                          vips_format_sizeof(static_cast<VipsBandFormat>(*format));
    if (bytes > limits.maxMemory)
        return Refusal{{res::Text::PictureOverBudget,
                        {QString::number(bytes >> 20), QString::number(limits.maxMemory >> 20)}}};
    void* pixels = g_try_malloc(size_t(bytes));
    if (!pixels) return Refusal{{res::Text::NoMemoryForPicture}};
    if (!reader.Bytes(pixels, bytes)) {
        g_free(pixels);
        return Refusal{{res::Text::DecoderEndedEarly}};
    }
    vips::VImage image = vips::VImage::new_from_memory_steal(
        pixels, size_t(bytes), *width, *height, *bands, static_cast<VipsBandFormat>(*format));
    image = image.copy(vips::VImage::option()
                           ->set("interpretation", *interpretation)
                           ->set("xres", *xres)
                           ->set("yres", *yres));
    if (!ReadFields(reader, image)) return Refusal{{res::Text::DecoderAnswerDamaged}};
    return image;
}

}  // namespace

QStringList Request::Arguments() const {
    static const char* kOperations[] = {"probe", "preview", "frame", "check"};
    return {QStringLiteral("kind=") + kind,
            QStringLiteral("operation=") + QString::fromLatin1(kOperations[int(operation)]),
            QStringLiteral("page=%1").arg(page),
            QStringLiteral("width=%1").arg(size.width()),
            QStringLiteral("height=%1").arg(size.height()),
            QStringLiteral("max-pixels=%1").arg(limits.maxPixels),
            QStringLiteral("max-memory=%1").arg(limits.maxMemory),
            QStringLiteral("seconds=%1").arg(seconds),
            QStringLiteral("strict=%1").arg(strict ? 1 : 0)};
}

std::optional<Request> Request::FromArguments(const QStringList& arguments) {
    QHash<QString, QString> values;
    for (const QString& argument : arguments) {
        const qsizetype equals = argument.indexOf(u'=');
        if (equals <= 0) return std::nullopt;
        values.insert(argument.left(equals), argument.mid(equals + 1));
    }
    const auto number = [&](const char* key, bool* ok) {
        return values.value(QString::fromLatin1(key)).toLongLong(ok);
    };
    Request request;
    request.kind = values.value(QStringLiteral("kind"));
    const QStringList operations{QStringLiteral("probe"), QStringLiteral("preview"),
                                 QStringLiteral("frame"), QStringLiteral("check")};
    const qsizetype operation = operations.indexOf(values.value(QStringLiteral("operation")));
    bool ok[7] = {};
    request.page = int(number("page", &ok[0]));
    request.size = QSize(int(number("width", &ok[1])), int(number("height", &ok[2])));
    request.limits.maxPixels = number("max-pixels", &ok[3]);
    request.limits.maxMemory = number("max-memory", &ok[4]);
    request.seconds = int(number("seconds", &ok[5]));
    request.strict = number("strict", &ok[6]) != 0;
    if (operation < 0 || !std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }) ||
        request.page < 0 || request.limits.maxPixels <= 0 || request.limits.maxMemory <= 0 ||
        request.seconds <= 0)
        return std::nullopt;
    request.operation = static_cast<Operation>(operation);
    return request;
}

bool WriteAnswer(QIODevice& out, const Answer& answer) {
    Writer writer(out);
    writer.Bytes(kMagic, sizeof kMagic);
    writer.Number<uint32_t>(kVersion);
    if (const auto* refusal = std::get_if<Refusal>(&answer)) {
        writer.Number<uint8_t>(kRefusal);
        writer.Number<uint8_t>(refusal->damage ? 1 : 0);
        // The reason goes by name, to be said in the language of the one who asked.
        const res::Saying& reason = refusal->reason;
        writer.Number<uint16_t>(uint16_t(reason.text));
        writer.Number<uint8_t>(uint8_t(std::min<qsizetype>(reason.args.size(), kMaxReasonArgs)));
        for (const QString& arg : reason.args.mid(0, kMaxReasonArgs))
            writer.Text(arg.toUtf8().left(kMaxReasonBytes));
    } else if (const auto* probe = std::get_if<Probe>(&answer)) {
        writer.Number<uint8_t>(kProbe);
        for (const int value : {probe->width, probe->height, probe->pages, probe->orientation})
            writer.Number<int32_t>(value);
    } else {
        writer.Number<uint8_t>(kPicture);
        return WritePicture(writer, std::get<vips::VImage>(answer));
    }
    return writer.ok();
}

Answer ReadAnswer(QIODevice& in, const Limits& limits, const std::function<bool()>& waitForData) {
    Reader reader(in, waitForData);
    char magic[sizeof kMagic];
    const bool framed = reader.Bytes(magic, sizeof magic) &&
                        std::memcmp(magic, kMagic, sizeof magic) == 0 &&
                        reader.Number<uint32_t>() == kVersion;
    const std::optional<uint8_t> type = framed ? reader.Number<uint8_t>() : std::nullopt;
    if (!type) return Refusal{{res::Text::DecoderNoAnswer}};
    if (*type == kRefusal) {
        const std::optional<uint8_t> damage = reader.Number<uint8_t>();
        const std::optional<uint16_t> text = reader.Number<uint16_t>();
        const std::optional<uint8_t> count = reader.Number<uint8_t>();
        if (!damage || !text || !count) return Refusal{{res::Text::DecoderEndedEarly}};
        if (*text >= res::kTextCount || *count > kMaxReasonArgs)
            return Refusal{{res::Text::DecoderAnswerDamaged}};
        res::Saying reason{res::Text(*text)};
        for (uint8_t i = 0; i < *count; ++i) {
            const std::optional<QByteArray> arg = reader.Text(kMaxReasonBytes);
            if (!arg) return Refusal{{res::Text::DecoderEndedEarly}};
            reason.args << QString::fromUtf8(*arg);
        }
        return Refusal{reason, *damage == 1};
    }
    if (*type == kProbe) {
        Probe probe;
        for (int* value : {&probe.width, &probe.height, &probe.pages, &probe.orientation}) {
            const std::optional<int32_t> read = reader.Number<int32_t>();
            if (!read) return Refusal{{res::Text::DecoderEndedEarly}};
            *value = *read;
        }
        if (probe.width <= 0 || probe.height <= 0 || probe.pages < 1 ||
            int64_t{probe.width} * probe.height > limits.maxPixels)
            return Refusal{{res::Text::DecoderAnswerRefused}};
        if (probe.orientation < 1 || probe.orientation > 8) probe.orientation = 1;
        return probe;
    }
    if (*type == kPicture) {
        try {
            return ReadPicture(reader, limits);
        } catch (const vips::VError&) {
            // The library's words are in a buffer other threads share: not ours to read here.
            return Refusal{{res::Text::DecoderPictureUnreadable}};
        }
    }
    return Refusal{{res::Text::DecoderAnswerDamaged}};
}

bool WriteSpentTime(QIODevice& out, int64_t milliseconds) {
    Writer writer(out);
    writer.Bytes(kSpentMagic, sizeof kSpentMagic);
    writer.Number<int64_t>(milliseconds);
    return writer.ok();
}

std::optional<int64_t> ReadSpentTime(const QByteArray& trailer) {
    if (trailer.size() != qsizetype(sizeof kSpentMagic + sizeof(int64_t)) ||
        std::memcmp(trailer.constData(), kSpentMagic, sizeof kSpentMagic) != 0)
        return std::nullopt;
    const auto spent = qFromLittleEndian<int64_t>(trailer.constData() + sizeof kSpentMagic);
    return spent >= 0 ? std::optional<int64_t>(spent) : std::nullopt;
}

}  // namespace decoder
