#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/limits.h"
#include "imaging/metadata.h"

namespace imaging {

/// Kinds of frames a photo may hold: the frames of an animation, the sizes
/// of an icon, the pages of a document.
enum class FrameKind { Time, Resolution, Page };

/// The name the frame list shows for dimension @p index of a photo.
QString FrameDimensionName(FrameKind dimension, int index);

struct FrameData;

/// How stored colours reach the output.
enum class ColourHandling {
    KeepStored,  // stored values, the photo's RGB profile carried into the file
    ToSrgb,      // converted through the embedded profile to sRGB
};

/// The budgets a photo may spend: pixels, and memory for what is held whole.
using Limits = decoder::Limits;

/// The processor time the decoder calls of one photo spend together: its
/// probe, its frame and a lenient retry draw on one budget, not one each.
struct DecoderBudget {
    std::atomic<int64_t> spentMs{0};
};

/// Choices made when a photo is opened.
struct OpenOptions {
    /// Turn the photo upright by the camera's orientation tag, so that its
    /// size, preview and frames are upright from the start.
    bool autoOrient = false;
    Limits limits;
    /// Keep the file's bytes, up to this many, so that nothing done to the file
    /// afterwards reaches the photo (a file not kept is read again, and a
    /// change to it noticed).
    qint64 keepBytes = 0;
    /// Set to give up opening.
    const std::atomic<bool>* stop = nullptr;
    /// Shared with the photo's later uses; the opening has one of its own when null.
    std::shared_ptr<DecoderBudget> budget;
};

/// What one use of a frame asks for.
struct FrameUse {
    QSize target;                             // the size the frame is scaled to
    bool strict = false;                      // fail at the first damage the decoder notices
    const std::atomic<bool>* stop = nullptr;  // set to give up
    std::shared_ptr<DecoderBudget> budget;    // shared with other uses; null: one of its own
};

/// A decoded photo: its frames, the active frame's size and a preview.
class Photo {
public:
    virtual ~Photo() = default;

    /// Width and height of the active frame in pixels; 0 when not decoded.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    /// The photo's frame dimensions, in the library's order.
    virtual std::vector<FrameKind> FrameDimensions() const = 0;
    /// Frames along @p dimension; 0 for a dimension the photo lacks.
    virtual uint32_t FrameCount(FrameKind dimension) const = 0;
    /// Makes frame @p index of @p dimension the active frame; false (and the
    /// active frame unchanged) when there is no such frame.
    virtual bool SelectActiveFrame(FrameKind dimension, uint32_t index) = 0;
    /// The active frame scaled to exactly @p size, ignoring its proportions;
    /// a null image when it cannot be made.
    virtual QImage Preview(const QSize& size) = 0;
    /// Sets the photo upright by the camera's orientation tag, or back as
    /// stored; its size, preview and frames follow.
    virtual void SetUpright(bool upright) { (void)upright; }
    /// The camera's orientation tag (1 to 8; 1 for none), whether or not it is applied.
    virtual int CameraOrientation() const { return 1; }
    /// True when the photo is shown and converted as stored while its camera
    /// recorded it turned: it comes out sideways or mirrored.
    bool TurnedByCamera() const { return CameraOrientation() != 1 && !IsUpright(); }
    /// True when the camera's orientation is applied.
    virtual bool IsUpright() const { return false; }
    /// Horizontal resolution in dots per inch; 96 when the file stores none.
    virtual double HorizontalResolution() const = 0;
    /// The active frame's pixels, for the imaging layer to scale to the use's
    /// target: the full frame, but a drawing rendered at a size suited to the
    /// target; nothing, or a frame that says why not, when they cannot be had.
    virtual std::shared_ptr<FrameData> ActiveFrameData(const FrameUse& use) const {
        (void)use;
        return nullptr;
    }
    /// Why the photo could not be opened, in the system's or the decoder's
    /// words; empty when it was.
    virtual QString LoadFailure() const { return {}; }
    /// Why the active frame's last preview found it damaged, in the decoder's
    /// words (it shows what could be read, if anything); empty when it read
    /// whole or when the photo cannot tell.
    virtual QString Damage() const { return {}; }
    /// What the file keeps of metadata where the imaging library does not read
    /// it (see MetadataInFile).
    virtual PhotoMetadata FileMetadata() const { return {}; }
};

/// Opens the photo at @p path. Never null: a file that cannot be decoded gives
/// a photo whose width and height are 0, and says why in LoadFailure().
std::unique_ptr<Photo> LoadPhoto(const QString& path, const OpenOptions& options = {});

/// The most pixels a photo may have unless the limits say otherwise; larger
/// ones are refused as undecodable before any pixel is read.
inline constexpr int64_t kMaxPhotoPixels = Limits{}.maxPixels;

}  // namespace imaging
