#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <memory>
#include <vector>

namespace imaging {

/// Kinds of frames a photo may hold, named as the platform names them.
inline const QUuid kFrameDimensionTime{QStringLiteral("{6AEDBD6D-3FB5-418A-83A6-7F45229DC872}")};
inline const QUuid kFrameDimensionResolution{
    QStringLiteral("{84236F7B-3BD3-428F-8DAB-4EA1439CA315}")};
inline const QUuid kFrameDimensionPage{QStringLiteral("{7462DC86-6180-4C7E-8E3F-EE7333A7A483}")};

/// The name the frame list shows for dimension @p index of a photo.
QString FrameDimensionName(const QUuid& dimension, int index);

struct FrameData;

/// How stored colours reach the output.
enum class ColourHandling {
    KeepStored,  // stored values, the photo's RGB profile carried into the file
    ToSrgb,      // converted through the embedded profile to sRGB
};

/// Choices made when a photo is opened.
struct OpenOptions {
    /// Turn the photo upright by the camera's orientation tag, so that its
    /// size, preview and frames are upright from the start.
    bool autoOrient = false;
};

/// A decoded photo: its frames, the active frame's size and a preview.
class Photo {
public:
    virtual ~Photo() = default;

    /// Width and height of the active frame in pixels; 0 when not decoded.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    /// The photo's frame dimensions, in the library's order.
    virtual std::vector<QUuid> FrameDimensions() const = 0;
    /// Frames along @p dimension; 0 for a dimension the photo lacks.
    virtual uint32_t FrameCount(const QUuid& dimension) const = 0;
    /// Makes frame @p index of @p dimension the active frame; false (and the
    /// active frame unchanged) when there is no such frame.
    virtual bool SelectActiveFrame(const QUuid& dimension, uint32_t index) = 0;
    /// The active frame scaled to exactly @p size, ignoring its proportions;
    /// a null image when it cannot be made.
    virtual QImage Preview(const QSize& size) = 0;
    /// Horizontal resolution in dots per inch; 96 when the file stores none.
    virtual double HorizontalResolution() const = 0;
    /// The active frame's pixels, for the imaging layer to scale to @p target:
    /// the full frame, but a vector picture rendered at a size suited to the
    /// target; nothing when they cannot be had. With @p strict, decoding
    /// stops at the first damage the decoder notices.
    virtual std::shared_ptr<FrameData> ActiveFrameData(const QSize& target, bool strict) const {
        (void)target;
        (void)strict;
        return nullptr;
    }
    /// Why the photo could not be opened, in the system's or the decoder's
    /// words; empty when it was.
    virtual QString LoadFailure() const { return {}; }
};

/// Opens the photo at @p path. Never null: a file that cannot be decoded gives
/// a photo whose width and height are 0, and says why in LoadFailure().
std::unique_ptr<Photo> LoadPhoto(const QString& path, const OpenOptions& options = {});

/// The most pixels a photo may have; larger ones are refused as undecodable
/// before any pixel is read.
inline constexpr int64_t kMaxPhotoPixels = int64_t{1} << 29;

}  // namespace imaging
