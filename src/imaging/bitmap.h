#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "decoder/limits.h"
#include "imaging/metadata.h"

class QIODevice;

namespace imaging {

class Photo;
struct TextBlock;
struct DecoderBudget;

enum class ColourHandling;
using Limits = decoder::Limits;

/// How a photo's frame is laid onto a bitmap.
struct DrawOptions {
    ColourHandling colours{};                 // KeepStored
    QColor background = Qt::black;            // under transparent parts
    bool strict = false;                      // fail at the first damage the decoder notices
    Limits limits;                            // for what is held whole
    const std::atomic<bool>* stop = nullptr;  // set to give up
    std::atomic<int>* progress = nullptr;     // set to the share done, in percent
    MetadataChoice metadata = MetadataChoice::Rights;  // what of the photo's metadata travels
    int threads = 0;  // for computing and compressing the pixels; 0: one per core
    std::shared_ptr<DecoderBudget> budget;  // the decoder's processor time, shared
};

/// Rotations and flips as the platform numbers them: rotate clockwise first,
/// then flip (X mirrors left and right, Y top and bottom).
enum RotateFlipType : int {
    RotateNoneFlipNone = 0,
    Rotate90FlipNone = 1,
    Rotate180FlipNone = 2,
    Rotate270FlipNone = 3,
    RotateNoneFlipX = 4,
    Rotate90FlipX = 5,
    Rotate180FlipX = 6,
    Rotate270FlipX = 7,
    RotateNoneFlipY = 6,
    Rotate90FlipY = 7,
    Rotate180FlipY = 4,
    Rotate270FlipY = 5,
};

/// True for the angles the program turns by: 0, 90, 180 and 270 degrees.
bool IsKnownAngle(int angle);

/// The rotate-flip type of @p angle degrees and @p flipType (0 none,
/// 1 horizontal, 2 vertical); nothing when either is not one of those.
std::optional<int> RotateFlipFor(int angle, int flipType);

/// The output picture of one conversion: 24-bit RGB of a fixed size, drawn on,
/// turned, and saved. Pixels are computed when saved, strip by strip as the
/// file is written; only a turn holds them whole.
class Bitmap {
public:
    /// The largest pixel buffer a bitmap may need (3 bytes per pixel).
    static constexpr int64_t kMaxBytes = int64_t{2} << 30;

    /// A black bitmap of @p width x @p height; nullptr when either side is not
    /// positive or the pixels would need more than kMaxBytes.
    static std::unique_ptr<Bitmap> Create(int width, int height);
    ~Bitmap();

    int Width() const;
    int Height() const;
    /// Sets both resolutions in dots per inch; false for a non-positive value.
    bool SetResolution(double dpi);
    /// Draws the active frame of @p photo stretched over the whole bitmap with
    /// a bicubic filter, upright as the photo was opened; false when the frame
    /// cannot be opened. Damage found while decoding fails the writing, with
    /// PixelsFailed().
    bool DrawScaled(const Photo& photo, const DrawOptions& options = {});
    /// Writes @p block in @p colour with its box's top-left corner at @p topLeft;
    /// false, with Error(), when its layer would hold more than the memory budget.
    bool DrawText(const TextBlock& block, const QColor& colour, QPoint topLeft);
    /// Turns and mirrors the bitmap; false for a type outside 0 to 7.
    bool RotateFlip(int type);
    /// Writes the bitmap to @p path as a 24-bit RGB TIFF. The file at @p path
    /// is replaced only once the new one is complete; on failure it is
    /// untouched and no partial file is left.
    bool SaveTiff(const QString& path, bool mayReplace = true);
    /// Writes the same TIFF to @p out, front to back (a pipe will do); nothing
    /// reaches @p out before the last strip is compressed.
    bool WriteTiff(QIODevice& out);
    /// Why the last step that failed did, in the library's or the system's words.
    const QString& Error() const { return m_error; }
    /// True when the last writing failed because the pixels could not be
    /// computed (the frame would not decode), not because of the output.
    bool PixelsFailed() const { return m_pixelsFailed; }
    /// True when the last failure was damage found by a strict reading, which
    /// a lenient one may get past.
    bool Damaged() const { return m_damaged; }

private:
    struct Impl;
    bool Fail(QString reason);
    bool Write(QIODevice& out, bool streamed);
    QString m_error;
    bool m_pixelsFailed = false;
    bool m_damaged = false;
    explicit Bitmap(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
    double m_dpi = 96.0;
};

}  // namespace imaging
