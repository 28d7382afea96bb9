#pragma once

// Colour handling inside the imaging layer: which embedded profiles can be
// trusted, and how a frame of any kind becomes 8-bit RGB.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <vips/vips8>

#include "imaging/photo.h"

namespace imaging {

/// @p image as 8-bit RGB, three bands, transparency laid on @p background.
/// A CMYK image always becomes sRGB, through its own profile when it has a
/// usable one and the built-in CMYK profile otherwise, and so does a grey one
/// with a usable profile (an RGB file cannot carry it). Others keep their
/// stored values, or go through their usable profile to sRGB with
/// ColourHandling::ToSrgb. @p carriedProfile receives the profile that
/// describes the result's values (empty for sRGB and unknown): the photo's
/// own RGB profile when its values were kept. Throws vips::VError.
vips::VImage ToRgb8(vips::VImage image, ColourHandling handling, const QColor& background,
                    QByteArray* carriedProfile = nullptr);

/// An sRGB ICC profile, for pixels converted to sRGB to say so.
const QByteArray& SrgbProfile();

/// Turns the colours of @p layer (premultiplied ARGB, in sRGB) into those of
/// @p profile, keeping its alpha: ink laid on pixels whose values are the
/// profile's.
void ConvertFromSrgb(QImage& layer, const QByteArray& profile);

/// The embedded ICC profile of @p image when it is whole, usable as an input
/// profile and of the image's colour space (RGB, grey or CMYK); else empty.
QByteArray UsableProfile(const vips::VImage& image);

}  // namespace imaging
