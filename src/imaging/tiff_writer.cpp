#include "imaging/tiff_writer.h"

#include "imaging/imaging_library.h"

#include <QIODevice>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

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
};

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstCode = 258;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 12;
// The table is cleared before its last codes, as libtiff does, so readers
// never see a code that needs more than 12 bits.
constexpr int kResetAt = (1 << kMaxBits) - 2;

/// Appends codes of a varying width to a byte buffer, most significant bit first.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void put(int code, int bits) {
        m_buffer = (m_buffer << bits) | static_cast<uint32_t>(code);
        m_count += bits;
        while (m_count >= 8) {
            m_count -= 8;
            m_out.push_back(static_cast<uint8_t>(m_buffer >> m_count));
        }
    }
    void flush() {
        if (m_count > 0) m_out.push_back(static_cast<uint8_t>(m_buffer << (8 - m_count)));
        m_count = 0;
    }

private:
    std::vector<uint8_t>& m_out;
    uint32_t m_buffer = 0;
    int m_count = 0;
};

/// The string table: (prefix code, next byte) -> code, open addressing; a
/// generation number empties it without clearing memory.
class CodeTable {
public:
    CodeTable() : m_slots(kSize) {}
    void clear() { ++m_generation; }
    int find(uint32_t key) const {
        for (uint32_t i = hash(key);; i = (i + 1) & (kSize - 1)) {
            const Slot& slot = m_slots[i];
            if (slot.generation != m_generation) return -1;
            if (slot.key == key) return slot.code;
        }
    }
    void add(uint32_t key, int code) {
        uint32_t i = hash(key);
        while (m_slots[i].generation == m_generation) i = (i + 1) & (kSize - 1);
        m_slots[i] = {key, static_cast<uint16_t>(code), m_generation};
    }

private:
    static constexpr uint32_t kSize = 1u << 14;  // four times the codes: short probes
    struct Slot {
        uint32_t key = 0;
        uint16_t code = 0;
        uint32_t generation = 0;
    };
    static uint32_t hash(uint32_t key) { return (key * 2654435761u) >> (32 - 14); }

    std::vector<Slot> m_slots;
    uint32_t m_generation = 1;
};

void AppendShort(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void AppendLong(std::vector<uint8_t>& out, uint32_t v) {
    AppendShort(out, static_cast<uint16_t>(v));
    AppendShort(out, static_cast<uint16_t>(v >> 16));
}

/// One strip: its rows with the horizontal predictor applied, compressed.
std::vector<uint8_t> EncodeStrip(const uint8_t* rows, int width, int rowCount) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> differenced(rows, rows + rowBytes * static_cast<size_t>(rowCount));
    for (int y = 0; y < rowCount; ++y) {
        uint8_t* row = differenced.data() + rowBytes * static_cast<size_t>(y);
        for (size_t i = rowBytes - 1; i >= 3; --i)
            row[i] = static_cast<uint8_t>(row[i] - row[i - 3]);
    }
    return LzwEncode(differenced.data(), differenced.size());
}

}  // namespace

std::vector<uint8_t> LzwEncode(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 16);
    BitWriter bits(out);
    CodeTable table;
    int bitCount = kMinBits;
    int nextCode = kFirstCode;
    bits.put(kClearCode, bitCount);
    if (size > 0) {
        int prefix = data[0];
        for (size_t i = 1; i < size; ++i) {
            const uint8_t byte = data[i];
            const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | byte;
            const int found = table.find(key);
            if (found >= 0) {
                prefix = found;
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
    bits.flush();
    return out;
}

bool WriteRgbTiff(QIODevice& out, const uint8_t* pixels, int width, int height, double dpi,
                  const QByteArray& iccProfile) {
    if (width <= 0 || height <= 0) return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    // Strips of about 256 KiB: small enough to share out, large enough to compress well.
    const int rowsPerStrip =
        static_cast<int>(std::clamp<size_t>((256 * 1024) / rowBytes, 1, size_t(height)));
    const int stripCount = (height + rowsPerStrip - 1) / rowsPerStrip;

    std::vector<std::vector<uint8_t>> strips(static_cast<size_t>(stripCount));
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int s = next++; s < stripCount; s = next++) {
            const int first = s * rowsPerStrip;
            strips[static_cast<size_t>(s)] =
                EncodeStrip(pixels + rowBytes * static_cast<size_t>(first), width,
                            std::min(rowsPerStrip, height - first));
        }
    };
    const unsigned threads =
        std::max(1u, std::min(unsigned(ThreadsPerConversion()), unsigned(stripCount)));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();

    // Layout: header, strips, directory (word aligned), then the directory's values.
    uint64_t offset = 8;
    std::vector<uint32_t> stripOffsets, stripSizes;
    for (const auto& strip : strips) {
        stripOffsets.push_back(static_cast<uint32_t>(offset));
        stripSizes.push_back(static_cast<uint32_t>(strip.size()));
        offset += strip.size();
    }
    const bool pad = offset % 2 != 0;
    const uint64_t directory = offset + (pad ? 1 : 0);
    const int entries = iccProfile.isEmpty() ? 14 : 15;
    const uint64_t values = directory + 2 + 12 * uint64_t(entries) + 4;
    const uint64_t bitsAt = values, xresAt = bitsAt + 6, yresAt = xresAt + 8,
                   offsetsAt = yresAt + 8;
    const uint64_t sizesAt = offsetsAt + 4 * uint64_t(stripCount);
    const uint64_t iccAt = sizesAt + 4 * uint64_t(stripCount);
    if (iccAt + uint64_t(iccProfile.size()) > 0xFFFFFFFFull) return false;

    std::vector<uint8_t> head{'I', 'I', 42, 0};
    AppendLong(head, static_cast<uint32_t>(directory));
    if (out.write(reinterpret_cast<const char*>(head.data()), qint64(head.size())) !=
        qint64(head.size()))
        return false;
    for (auto& strip : strips) {
        if (out.write(reinterpret_cast<const char*>(strip.data()), qint64(strip.size())) !=
            qint64(strip.size()))
            return false;
        std::vector<uint8_t>().swap(strip);  // written: let it go
    }

    std::vector<uint8_t> ifd;
    if (pad) ifd.push_back(0);
    const auto entry = [&](TiffTag tag, uint16_t type, uint32_t count, uint32_t value) {
        AppendShort(ifd, static_cast<uint16_t>(tag));
        AppendShort(ifd, type);
        AppendLong(ifd, count);
        AppendLong(ifd, value);
    };
    constexpr uint16_t kShort = 3, kLong = 4, kRational = 5, kUndefined = 7;
    const bool oneStrip = stripCount == 1;
    AppendShort(ifd, static_cast<uint16_t>(entries));
    // Entries in ascending tag order, as readers require.
    entry(TiffTag::ImageWidth, kLong, 1, static_cast<uint32_t>(width));
    entry(TiffTag::ImageLength, kLong, 1, static_cast<uint32_t>(height));
    entry(TiffTag::BitsPerSample, kShort, 3, static_cast<uint32_t>(bitsAt));
    entry(TiffTag::Compression, kShort, 1, 5);  // LZW
    entry(TiffTag::Photometric, kShort, 1, 2);  // RGB
    entry(TiffTag::StripOffsets, kLong, static_cast<uint32_t>(stripCount),
          oneStrip ? stripOffsets[0] : static_cast<uint32_t>(offsetsAt));
    entry(TiffTag::SamplesPerPixel, kShort, 1, 3);
    entry(TiffTag::RowsPerStrip, kLong, 1, static_cast<uint32_t>(rowsPerStrip));
    entry(TiffTag::StripByteCounts, kLong, static_cast<uint32_t>(stripCount),
          oneStrip ? stripSizes[0] : static_cast<uint32_t>(sizesAt));
    entry(TiffTag::XResolution, kRational, 1, static_cast<uint32_t>(xresAt));
    entry(TiffTag::YResolution, kRational, 1, static_cast<uint32_t>(yresAt));
    entry(TiffTag::PlanarConfiguration, kShort, 1, 1);  // chunky
    entry(TiffTag::ResolutionUnit, kShort, 1, 2);       // inch
    entry(TiffTag::Predictor, kShort, 1, 2);            // horizontal differencing
    if (!iccProfile.isEmpty())
        entry(TiffTag::IccProfile, kUndefined, static_cast<uint32_t>(iccProfile.size()),
              static_cast<uint32_t>(iccAt));
    AppendLong(ifd, 0);
    for (int i = 0; i < 3; ++i) AppendShort(ifd, 8);
    const uint32_t denominator = 10000;
    const auto numerator =
        static_cast<uint32_t>(std::clamp(std::lround(dpi * denominator), 1L, 0x7FFFFFFFL));
    for (int i = 0; i < 2; ++i) {
        AppendLong(ifd, numerator);
        AppendLong(ifd, denominator);
    }
    for (uint32_t v : stripOffsets) AppendLong(ifd, v);
    for (uint32_t v : stripSizes) AppendLong(ifd, v);
    ifd.insert(ifd.end(), iccProfile.begin(), iccProfile.end());
    return out.write(reinterpret_cast<const char*>(ifd.data()), qint64(ifd.size())) ==
           qint64(ifd.size());
}

}  // namespace imaging
