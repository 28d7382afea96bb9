#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>
#include <vector>
#include <vips/vips8>

#include "imaging/plan.h"

class TempFolder;

/// Photos made at test time with the imaging library.
namespace fixtures {

/// A @p width x @p height photo of one colour saved as @p name (the extension
/// picks the format; "[...]" after it passes save options).
QString SolidPhoto(const TempFolder& folder, const QString& name, int width, int height,
                   QColor colour);
/// An animated GIF or multi-page TIFF whose frames have the given colours.
QString FramedPhoto(const TempFolder& folder, const QString& name, int width, int height,
                    const std::vector<QColor>& frames);
/// A multi-page TIFF whose pages have the given sizes, each of its own colour.
QString PagesOfSizes(const TempFolder& folder, const QString& name, const std::vector<QSize>& sizes,
                     const std::vector<QColor>& colours);
/// An icon file holding one square image per size, each of its own colour.
QString IconFile(const TempFolder& folder, const QString& name, const std::vector<int>& sizes,
                 const std::vector<QColor>& colours);
/// A valid PNG header claiming @p width x @p height, with almost no data.
QString PngClaimingSize(const TempFolder& folder, const QString& name, uint32_t width,
                        uint32_t height);
/// A square PNG of @p side pixels, one bit each and all zero: a whole picture
/// in as few bytes as the format allows.
QString BlankBilevelPng(const TempFolder& folder, const QString& name, int side);
/// A linear (demosaiced) DNG camera raw file: left half red, right half blue.
QString LinearDng(const TempFolder& folder, const QString& name, int width, int height);
/// An enhanced metafile of a red 100 x 50 rectangle.
QString RedEmf(const TempFolder& folder, const QString& name);
/// A placeable Windows metafile of a red 100 x 50 rectangle.
QString RedWmf(const TempFolder& folder, const QString& name);
/// The bytes of @p path.
QByteArray Bytes(const QString& path);
/// Converts the active frame of @p photo as @p request asks (the window's
/// defaults at @p size when only that is given) into @p out; the failure, if any.
std::optional<imaging::StepFailure> Convert(const imaging::Photo& photo,
                                            const imaging::ConversionRequest& request,
                                            const QString& out);
std::optional<imaging::StepFailure> Convert(const imaging::Photo& photo, QSize size,
                                            const QString& out);

/// The peak signal-to-noise ratio of @p a against @p b in 8-bit levels; 0
/// when their sizes differ, 99 when they are equal.
double Psnr(const vips::VImage& a, const vips::VImage& b);
/// The pixels of @p image (any format) as an 8-bit RGB picture of the imaging library.
vips::VImage FromImage(const QImage& image);
/// The largest difference of any sample of the pictures at @p a and @p b;
/// huge when their sizes differ.
double Difference(const QString& a, const QString& b);

/// While alive, the test itself may read fixtures with every loader of the
/// imaging library, which the program keeps to the few it decodes with.
class EveryLoader {
public:
    EveryLoader();
    ~EveryLoader();
    EveryLoader(const EveryLoader&) = delete;
    EveryLoader& operator=(const EveryLoader&) = delete;
};

}  // namespace fixtures
