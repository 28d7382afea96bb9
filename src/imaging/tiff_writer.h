#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/metadata.h"

class QIODevice;

namespace imaging {

/// LZW-compresses @p size bytes the way TIFF readers expect (codes of 9 to 12
/// bits, most significant bit first, a clear code at the start and when the
/// table is full, the end-of-information code last).
std::vector<uint8_t> LzwEncode(const uint8_t* data, size_t size);

/// Writes 8-bit RGB pixels to a little-endian strip TIFF as they come, top to
/// bottom: LZW with the horizontal predictor, a resolution in dots per inch,
/// an ICC profile (when not empty) describing the pixels' colours, and the
/// photo's metadata that travels with it.
/// Strips compress on a pool of threads while the caller makes the next ones.
class TiffStripWriter {
public:
    /// How the file reaches the device.
    enum class Delivery {
        Streamed,      // each strip as soon as it is compressed (a seekable device)
        WhenComplete,  // nothing before the last strip is compressed (a pipe will do)
    };

    TiffStripWriter(QIODevice& out, int width, int height, double dpi, QByteArray iccProfile,
                    Delivery delivery, int threads, TiffMetadata metadata = {});
    ~TiffStripWriter();
    TiffStripWriter(const TiffStripWriter&) = delete;
    TiffStripWriter& operator=(const TiffStripWriter&) = delete;

    int RowsPerStrip() const { return m_rowsPerStrip; }
    /// An empty buffer for the next strip's rows, one handed back if there is.
    std::vector<uint8_t> TakeStripBuffer();
    /// Hands over the next strip: RowsPerStrip() rows of width * 3 bytes (the
    /// last strip may be shorter). Waits while enough strips are in hand;
    /// false once writing has failed.
    bool AddStrip(std::vector<uint8_t> rows);
    /// Waits for the strips and ends the file; false when the device failed,
    /// strips are missing, or the file would pass 4 GiB.
    bool Finish();
    /// Why writing failed, in the system's words.
    QString Error();

private:
    bool Fail(QString reason);  // with m_lock held, or no thread running
    void Compress();
    bool WriteReadyStrips();  // with m_lock held
    bool Write(const void* data, size_t size);

    QIODevice& m_out;
    const int m_width, m_height;
    const double m_dpi;
    const QByteArray m_iccProfile;
    const TiffMetadata m_metadata;
    const Delivery m_delivery;
    int m_rowsPerStrip = 1;
    int m_stripCount = 0;
    size_t m_inHandLimit = 1;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::pair<int, std::vector<uint8_t>>> m_waiting;        // rows yet to compress
    std::map<int, std::vector<uint8_t>> m_compressed;                  // not yet written, by strip
    std::vector<uint32_t> m_stripSizes;                                // of the strips written
    std::vector<std::vector<uint8_t>> m_spareRows, m_spareCompressed;  // to use again
    int m_added = 0;
    size_t m_done = 0;       // strips compressed
    qint64 m_start = 0;      // where the file starts on the device
    uint64_t m_written = 0;  // bytes of the file on the device
    bool m_failed = false;
    QString m_error;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

}  // namespace imaging
