#include "imaging/tiff_writer.h"
#include "resources/texts.h"

#include <QIODevice>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

namespace imaging {
namespace {

/// The tags this writer uses, by their numbers in the TIFF standard.
enum class TiffTag : uint16_t {
    ImageWidth = 256,
    ImageLength = 257,
    BitsPerSample = 258,
    Compression = 259,
    Photometric = 262,
    StripOffsets = 273,
    SamplesPerPixel = 277,
    RowsPerStrip = 278,
    StripByteCounts = 279,
    XResolution = 282,
    YResolution = 283,
    PlanarConfiguration = 284,
    ResolutionUnit = 296,
    Predictor = 317,
    IccProfile = 34675,
    ExifDirectory = 34665,
    GpsDirectory = 34853,
};

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstCode = 258;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
// The table is cleared before its last codes, as libtiff does, so readers
// never see a code that needs more than 12 bits.
constexpr int kResetAt = (1 << kMaxBits) - 2;

/// Packs codes of a varying width into bytes, most significant bit first.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : m_out(out) {}
    void put(uint32_t code, int bits) {
        m_buffer = (m_buffer << bits) | code;
        m_count += bits;
        while (m_count >= 8) {
            m_count -= 8;
            *m_out++ = static_cast<uint8_t>(m_buffer >> m_count);
        }
    }
    /// Pads the last byte; returns the end of what was written.
    uint8_t* flush() {
        if (m_count > 0) *m_out++ = static_cast<uint8_t>(m_buffer << (8 - m_count));
        m_count = 0;
        return m_out;
    }

private:
    uint8_t* m_out;
    uint64_t m_buffer = 0;
    int m_count = 0;
};

/// The string table: (prefix code, next byte) -> code, open addressing. A
/// slot packs the 20-bit key above the 12-bit code, so the table (32 KiB)
/// stays in the first-level cache; it is never more than half full.
class CodeTable {
public:
    CodeTable() { clear(); }
    void clear() { m_slots.fill(kEmpty); }
    int find(uint32_t key) const {
        for (uint32_t i = hash(key);; i = (i + 1) & kMask) {
            const uint32_t slot = m_slots[i];
            if (slot == kEmpty) return -1;
            if (slot >> 12 == key) return static_cast<int>(slot & 0xFFF);
        }
    }
    void add(uint32_t key, int code) {
        uint32_t i = hash(key);
        while (m_slots[i] != kEmpty) i = (i + 1) & kMask;
        m_slots[i] = (key << 12) | static_cast<uint32_t>(code);
    }

private:
    static constexpr int kBits = 13;
    static constexpr uint32_t kMask = (1u << kBits) - 1;
    // No key is all ones: codes stop short of 4095.
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    static uint32_t hash(uint32_t key) { return (key * 2654435761u) >> (32 - kBits); }

    std::array<uint32_t, 1u << kBits> m_slots;
};

void AppendShort(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void AppendLong(std::vector<uint8_t>& out, uint32_t v) {
    AppendShort(out, static_cast<uint16_t>(v));
    AppendShort(out, static_cast<uint16_t>(v >> 16));
}

/// Applies the horizontal predictor to @p rows of RGB pixels @p width wide, in place.
void Difference(std::vector<uint8_t>& rows, int width) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (size_t start = 0; start + rowBytes <= rows.size(); start += rowBytes) {
        uint8_t* row = rows.data() + start;
        for (size_t i = rowBytes - 1; i >= 3; --i)
            row[i] = static_cast<uint8_t>(row[i] - row[i - 3]);
    }
}

/// The most bytes LZW makes of @p size bytes: a code of at most 12 bits per
/// byte, a clear code per table, and the ends.
size_t LzwBound(size_t size) {
    return (size + size / 3000 + 8) * 3 / 2 + 8;
}

/// LZW of @p size bytes at @p data into @p out (LzwBound(size) bytes); the bytes written.
size_t LzwEncodeInto(const uint8_t* data, size_t size, uint8_t* out);

/// The image's directory at @p directory with @p metadata's fields, and the
/// EXIF and GPS directories after it.
void AppendDirectories(std::vector<uint8_t>& out, uint64_t directory, int width, int height,
                       int rowsPerStrip, const std::vector<uint32_t>& stripSizes, double dpi,
                       const QByteArray& iccProfile, const TiffMetadata& metadata);

/// The 4 GiB a classic TIFF's offsets reach.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

}  // namespace

std::vector<uint8_t> LzwEncode(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out(LzwBound(size));
    out.resize(LzwEncodeInto(data, size, out.data()));
    return out;
}

namespace {

size_t LzwEncodeInto(const uint8_t* data, size_t size, uint8_t* out) {
    BitWriter bits(out);
    CodeTable table;
    int bitCount = kMinBits;
    int nextCode = kFirstCode;
    bits.put(kClearCode, bitCount);
    if (size > 0) {
        uint32_t prefix = data[0];
        for (size_t i = 1; i < size; ++i) {
            const uint8_t byte = data[i];
            const uint32_t key = (prefix << 8) | byte;
            const int found = table.find(key);
            if (found >= 0) {
                prefix = static_cast<uint32_t>(found);
                continue;
            }
            bits.put(prefix, bitCount);
            table.add(key, nextCode++);
            if (nextCode == kResetAt) {
                bits.put(kClearCode, bitCount);
                table.clear();
                nextCode = kFirstCode;
                bitCount = kMinBits;
            } else if (nextCode > (1 << bitCount) - 1) {
                ++bitCount;
            }
            prefix = byte;
        }
        bits.put(prefix, bitCount);
        // The reader adds one more code after the last one: follow its width.
        if (++nextCode == kResetAt) {
            bits.put(kClearCode, bitCount);
            bitCount = kMinBits;
        } else if (nextCode > (1 << bitCount) - 1) {
            ++bitCount;
        }
    }
    bits.put(kEndCode, bitCount);
    return static_cast<size_t>(bits.flush() - out);
}

}  // namespace

TiffStripWriter::TiffStripWriter(QIODevice& out, int width, int height, double dpi,
                                 QByteArray iccProfile, Delivery delivery, int threads,
                                 TiffMetadata metadata)
    : m_out(out),
      m_width(width),
      m_height(height),
      m_dpi(dpi),
      m_iccProfile(std::move(iccProfile)),
      m_metadata(std::move(metadata)),
      m_delivery(delivery) {
    if (width <= 0 || height <= 0) {
        m_failed = true;
        return;
    }
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    // Strips of about 256 KiB: small enough to share out, large enough to compress well.
    m_rowsPerStrip =
        static_cast<int>(std::clamp<size_t>((256 * 1024) / rowBytes, 1, size_t(height)));
    m_stripCount = (height + m_rowsPerStrip - 1) / m_rowsPerStrip;
    const int workers = std::clamp(threads, 1, m_stripCount);
    // Enough in hand to keep every thread busy while one strip holds up the writing.
    m_inHandLimit = size_t(2) * size_t(workers) + 2;
    if (delivery == Delivery::Streamed) {
        // The directory's place is known at the end; its link is mended then.
        m_start = out.pos();
        const uint8_t head[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
        if (!Write(head, sizeof head)) return;
    }
    for (int t = 0; t < workers; ++t) m_threads.emplace_back([this] { Compress(); });
}

TiffStripWriter::~TiffStripWriter() {
    {
        const std::lock_guard lock(m_lock);
        m_closing = true;
        m_failed = m_failed || m_added < m_stripCount;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.join();
}

bool TiffStripWriter::AddStrip(std::vector<uint8_t> rows) {
    std::unique_lock lock(m_lock);
    // Rows in hand: not yet written, or (delivered at the end) not yet compressed.
    const auto inHand = [&] {
        const size_t done = m_delivery == Delivery::Streamed ? m_stripSizes.size() : m_done;
        return size_t(m_added) - done;
    };
    m_changed.wait(lock, [&] { return m_failed || inHand() < m_inHandLimit; });
    if (m_failed) return false;
    if (m_added >= m_stripCount) return Fail(QStringLiteral("more strips than rows"));
    const int first = m_added * m_rowsPerStrip;
    const size_t expected =
        static_cast<size_t>(std::min(m_rowsPerStrip, m_height - first)) * size_t(m_width) * 3;
    if (rows.size() != expected) return Fail(QStringLiteral("a strip of the wrong size"));
    m_waiting.emplace_back(m_added++, std::move(rows));
    lock.unlock();
    m_changed.notify_all();
    return true;
}

std::vector<uint8_t> TiffStripWriter::TakeStripBuffer() {
    // Buffers go round: fresh ones cost a page fault for every 4 KiB.
    const std::lock_guard lock(m_lock);
    if (m_spareRows.empty()) return {};
    std::vector<uint8_t> rows = std::move(m_spareRows.back());
    m_spareRows.pop_back();
    rows.clear();
    return rows;
}

void TiffStripWriter::Compress() {
    const size_t stripBytes = size_t(m_width) * 3 * size_t(m_rowsPerStrip);
    const std::unique_ptr<uint8_t[]> scratch(new uint8_t[LzwBound(stripBytes)]);
    std::unique_lock lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [&] { return m_closing || m_failed || !m_waiting.empty(); });
        if (m_failed || m_waiting.empty()) return;  // failed, or closing with nothing left
        // Oldest first: the writing waits on it.
        auto [index, rows] = std::move(m_waiting.front());
        m_waiting.pop_front();
        std::vector<uint8_t> compressed;
        if (!m_spareCompressed.empty()) {
            compressed = std::move(m_spareCompressed.back());
            m_spareCompressed.pop_back();
        }
        lock.unlock();
        Difference(rows, m_width);
        compressed.assign(scratch.get(),
                          scratch.get() + LzwEncodeInto(rows.data(), rows.size(), scratch.get()));
        lock.lock();
        m_spareRows.push_back(std::move(rows));
        m_compressed.emplace(index, std::move(compressed));
        ++m_done;
        if (m_delivery == Delivery::Streamed) WriteReadyStrips();
        m_changed.notify_all();
    }
}

bool TiffStripWriter::WriteReadyStrips() {
    for (auto next = m_compressed.find(int(m_stripSizes.size())); next != m_compressed.end();
         next = m_compressed.find(int(m_stripSizes.size()))) {
        const std::vector<uint8_t>& strip = next->second;
        if (!Write(strip.data(), strip.size())) return false;
        m_stripSizes.push_back(static_cast<uint32_t>(strip.size()));
        m_spareCompressed.push_back(std::move(next->second));
        m_compressed.erase(next);
    }
    return true;
}

bool TiffStripWriter::Write(const void* data, size_t size) {
    if (m_written + size > kMaxFileBytes) return Fail(res::Say(res::Text::TiffOver4GiB));
    errno = 0;
    if (m_out.write(static_cast<const char*>(data), qint64(size)) != qint64(size)) {
        // The device's own account of a failed write is often "Unknown error".
        const int cause = errno;
        return Fail(cause != 0 ? QString::fromLocal8Bit(std::strerror(cause))
                               : m_out.errorString());
    }
    m_written += size;
    return true;
}

bool TiffStripWriter::Fail(QString reason) {
    if (!m_failed || m_error.isEmpty()) m_error = std::move(reason);
    m_failed = true;
    return false;
}

QString TiffStripWriter::Error() {
    const std::lock_guard lock(m_lock);
    return m_error.isEmpty() ? res::Say(res::Text::TiffNotWritten) : m_error;
}

bool TiffStripWriter::Finish() {
    {
        const std::lock_guard lock(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) thread.join();
    m_threads.clear();
    if (m_failed || m_done != size_t(m_stripCount))
        return Fail(QStringLiteral("the TIFF's strips are incomplete"));

    if (m_delivery == Delivery::WhenComplete) {
        uint64_t end = 8;
        for (const auto& [index, strip] : m_compressed) end += strip.size();
        if (end > kMaxFileBytes) return Fail(res::Say(res::Text::TiffOver4GiB));
        const uint64_t directory = end + end % 2;
        std::vector<uint8_t> head{'I', 'I', 42, 0};
        AppendLong(head, static_cast<uint32_t>(directory));
        if (!Write(head.data(), head.size()) || !WriteReadyStrips()) return false;
    }

    const bool pad = m_written % 2 != 0;
    const uint64_t directory = m_written + (pad ? 1 : 0);
    std::vector<uint8_t> ifd;
    if (pad) ifd.push_back(0);
    AppendDirectories(ifd, directory, m_width, m_height, m_rowsPerStrip, m_stripSizes, m_dpi,
                      m_iccProfile, m_metadata);
    if (!Write(ifd.data(), ifd.size())) return false;
    if (m_delivery == Delivery::Streamed) {
        // Mend the header's link to the directory.
        std::vector<uint8_t> link;
        AppendLong(link, static_cast<uint32_t>(directory));
        const qint64 end = m_out.pos();
        if (!m_out.seek(m_start + 4) ||
            m_out.write(reinterpret_cast<const char*>(link.data()), 4) != 4 || !m_out.seek(end))
            return Fail(m_out.errorString());
    }
    return true;
}

namespace {

enum FieldType : uint16_t { kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

TiffField Numbers(TiffTag tag, uint16_t type, const std::vector<uint32_t>& values) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : values)
        type == kShort ? AppendShort(bytes, uint16_t(v)) : AppendLong(bytes, v);
    return {uint16_t(tag), type, uint32_t(type == kRational ? values.size() / 2 : values.size()),
            QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))};
}

uint64_t ValueBytes(const TiffField& field) {
    const uint64_t size = uint64_t(field.value.size());
    return size <= 4 ? 0 : size + size % 2;
}

uint64_t DirectoryBytes(const std::vector<TiffField>& fields) {
    uint64_t size = 2 + 12 * uint64_t(fields.size()) + 4;
    for (const TiffField& field : fields) size += ValueBytes(field);
    return size;
}

/// A directory of @p fields, in tag order, at @p at: its entries, then the
/// values too large for them.
void AppendDirectory(std::vector<uint8_t>& out, uint64_t at, std::vector<TiffField> fields) {
    std::sort(fields.begin(), fields.end(),
              [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; });
    AppendShort(out, uint16_t(fields.size()));
    uint64_t valueAt = at + 2 + 12 * uint64_t(fields.size()) + 4;
    for (const TiffField& field : fields) {
        AppendShort(out, field.tag);
        AppendShort(out, field.type);
        AppendLong(out, field.count);
        if (ValueBytes(field) == 0) {
            QByteArray inline4 = field.value;
            inline4.resize(4, '\0');
            out.insert(out.end(), inline4.begin(), inline4.end());
        } else {
            AppendLong(out, uint32_t(valueAt));
            valueAt += ValueBytes(field);
        }
    }
    AppendLong(out, 0);  // no next directory
    for (const TiffField& field : fields) {
        if (ValueBytes(field) == 0) continue;
        out.insert(out.end(), field.value.begin(), field.value.end());
        if (field.value.size() % 2) out.push_back(0);
    }
}

void AppendDirectories(std::vector<uint8_t>& out, uint64_t directory, int width, int height,
                       int rowsPerStrip, const std::vector<uint32_t>& stripSizes, double dpi,
                       const QByteArray& iccProfile, const TiffMetadata& metadata) {
    std::vector<uint32_t> stripOffsets;
    uint64_t offset = 8;
    for (uint32_t size : stripSizes) {
        stripOffsets.push_back(static_cast<uint32_t>(offset));
        offset += size;
    }
    const uint32_t denominator = 10000;
    const auto numerator =
        static_cast<uint32_t>(std::clamp(std::lround(dpi * denominator), 1L, 0x7FFFFFFFL));
    std::vector<TiffField> fields = metadata.image;
    const std::pair<TiffTag, std::vector<uint32_t>> shorts[] = {
        {TiffTag::BitsPerSample, {8, 8, 8}},
        {TiffTag::Compression, {5}},  // LZW
        {TiffTag::Photometric, {2}},  // RGB
        {TiffTag::SamplesPerPixel, {3}},
        {TiffTag::PlanarConfiguration, {1}},  // chunky
        {TiffTag::ResolutionUnit, {2}},       // inch
        {TiffTag::Predictor, {2}}};           // horizontal differencing
    for (const auto& [tag, values] : shorts) fields.push_back(Numbers(tag, kShort, values));
    fields.push_back(Numbers(TiffTag::ImageWidth, kLong, {uint32_t(width)}));
    fields.push_back(Numbers(TiffTag::ImageLength, kLong, {uint32_t(height)}));
    fields.push_back(Numbers(TiffTag::RowsPerStrip, kLong, {uint32_t(rowsPerStrip)}));
    fields.push_back(Numbers(TiffTag::StripOffsets, kLong, stripOffsets));
    fields.push_back(Numbers(TiffTag::StripByteCounts, kLong, stripSizes));
    fields.push_back(Numbers(TiffTag::XResolution, kRational, {numerator, denominator}));
    fields.push_back(Numbers(TiffTag::YResolution, kRational, {numerator, denominator}));
    if (!iccProfile.isEmpty())
        fields.push_back(
            {uint16_t(TiffTag::IccProfile), kUndefined, uint32_t(iccProfile.size()), iccProfile});
    // The metadata's own directories follow the image's; its links to them
    // take a place of their own, so the sizes are known beforehand.
    const std::pair<TiffTag, const std::vector<TiffField>*> subdirectories[] = {
        {TiffTag::ExifDirectory, &metadata.exif}, {TiffTag::GpsDirectory, &metadata.gps}};
    std::vector<std::pair<uint64_t, const std::vector<TiffField>*>> placed;
    uint64_t next =
        directory + DirectoryBytes(fields) +
        12 * uint64_t(std::count_if(std::begin(subdirectories), std::end(subdirectories),
                                    [](const auto& sub) { return !sub.second->empty(); }));
    for (const auto& [tag, sub] : subdirectories) {
        if (sub->empty()) continue;
        fields.push_back(Numbers(tag, kLong, {uint32_t(next)}));
        placed.emplace_back(next, sub);
        next += DirectoryBytes(*sub);
    }
    AppendDirectory(out, directory, fields);
    for (const auto& [at, sub] : placed) AppendDirectory(out, at, *sub);
}

}  // namespace

}  // namespace imaging
