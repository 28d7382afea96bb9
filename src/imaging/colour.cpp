#include "imaging/colour.h"
#include "imaging/photo_internal.h"
#include "resources/texts.h"

#include <lcms2.h>
#include <QtEndian>

namespace imaging {
namespace {

using vips::VImage;

/// The colour bands of @p image, its alpha aside.
int ColourBands(const VImage& image) {
    return image.bands() - (image.has_alpha() ? 1 : 0);
}

bool IsCmyk(const VImage& image) {
    return image.interpretation() == VIPS_INTERPRETATION_CMYK && ColourBands(image) >= 4;
}

/// The profile colour space that suits @p image's stored values.
cmsColorSpaceSignature SpaceOf(const VImage& image) {
    if (IsCmyk(image)) return cmsSigCmykData;
    return ColourBands(image) < 3 ? cmsSigGrayData : cmsSigRgbData;
}

/// Adobe RGB (1998) as lcms makes it: its primaries, D65 and a gamma of 563/256.
const QByteArray& AdobeRgbProfile() {
    static const QByteArray bytes = [] {
        const cmsCIExyY white{0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
        cmsToneCurve* curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
        cmsToneCurve* curves[3] = {curve, curve, curve};
        cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsUInt32Number length = 0;
        cmsSaveProfileToMem(profile, nullptr, &length);
        QByteArray saved(qsizetype(length), '\0');
        if (!cmsSaveProfileToMem(profile, saved.data(), &length)) saved.clear();
        cmsCloseProfile(profile);
        cmsFreeToneCurve(curve);
        return saved;
    }();
    return bytes;
}

/// The start of EXIF field @p name as the imaging library read it; empty when absent.
QByteArray ExifField(const VImage& image, const char* name) {
    if (!image.get_typeof(name)) return {};
    try {
        return QByteArray(image.get_string(name));
    } catch (const vips::VError&) {
        return {};
    }
}

/// @p image with the Adobe RGB profile when it carries none but its camera
/// marked it Adobe RGB as the camera file standard does: colour space
/// "uncalibrated" and interoperability index R03.
VImage WithCameraProfile(VImage image) {
    if (image.get_typeof(VIPS_META_ICC_NAME) || SpaceOf(image) != cmsSigRgbData) return image;
    if (!ExifField(image, "exif-ifd2-ColorSpace").startsWith("65535") ||
        !ExifField(image, "exif-ifd4-InteroperabilityIndex").startsWith("R03"))
        return image;
    const QByteArray& profile = AdobeRgbProfile();
    image = image.copy();
    vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, profile.constData(),
                             size_t(profile.size()));
    return image;
}

/// The lcms pixel type of one 8-bit pixel in @p space.
cmsUInt32Number PixelTypeOf(cmsColorSpaceSignature space) {
    switch (space) {
        case cmsSigCmykData:
            return TYPE_CMYK_8;
        case cmsSigGrayData:
            return TYPE_GRAY_8;
        default:
            return TYPE_RGB_8;
    }
}

/// True when @p bytes form a profile of @p space that turns values into sRGB:
/// a damaged profile, or one of another kind, fails here.
bool TransformsToSrgb(const void* bytes, size_t length, cmsColorSpaceSignature space) {
    cmsHPROFILE profile = cmsOpenProfileFromMem(bytes, static_cast<cmsUInt32Number>(length));
    if (!profile) return false;
    bool usable = false;
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
    if (cmsGetColorSpace(profile) == space && kind != cmsSigLinkClass &&
        kind != cmsSigAbstractClass && kind != cmsSigNamedColorClass) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM transform =
            cmsCreateTransform(profile, PixelTypeOf(space), srgb, TYPE_RGB_8,
                               INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
        usable = transform != nullptr;
        if (transform) cmsDeleteTransform(transform);
        cmsCloseProfile(srgb);
    }
    cmsCloseProfile(profile);
    return usable;
}

/// @p colour as values for an image of @p bands colour bands.
std::vector<double> BackgroundFor(const QColor& colour, int bands) {
    if (bands < 3) return {double(qGray(colour.rgb()))};
    return {double(colour.red()), double(colour.green()), double(colour.blue())};
}

}  // namespace

const QByteArray& SrgbProfile() {
    static const QByteArray bytes = [] {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsUInt32Number length = 0;
        cmsSaveProfileToMem(srgb, nullptr, &length);
        QByteArray saved(qsizetype(length), '\0');
        if (!cmsSaveProfileToMem(srgb, saved.data(), &length)) saved.clear();
        cmsCloseProfile(srgb);
        return saved;
    }();
    return bytes;
}

void ConvertFromSrgb(QImage& layer, const QByteArray& profile) {
    cmsHPROFILE target =
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    if (!target) return;
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_RGBA_8, target, TYPE_RGBA_8,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_COPY_ALPHA);
    if (transform) {
        QImage straight = layer.convertToFormat(QImage::Format_RGBA8888);  // R, G, B, A bytes
        for (int y = 0; y < straight.height(); ++y)
            cmsDoTransform(transform, straight.constScanLine(y), straight.scanLine(y),
                           cmsUInt32Number(straight.width()));
        layer = straight.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        cmsDeleteTransform(transform);
    }
    cmsCloseProfile(srgb);
    cmsCloseProfile(target);
}

QByteArray UsableProfile(const VImage& image) {
    if (!image.get_typeof(VIPS_META_ICC_NAME)) return {};
    size_t length = 0;
    const void* bytes = image.get_blob(VIPS_META_ICC_NAME, &length);
    constexpr size_t kProfileHeaderBytes = 128;
    if (!bytes || length <= kProfileHeaderBytes || length > size_t(INT32_MAX)) return {};
    // A profile states its own length first; one that disagrees with its data is damaged.
    if (qFromBigEndian<quint32>(bytes) != length) return {};
    if (!TransformsToSrgb(bytes, length, SpaceOf(image))) return {};
    return QByteArray(static_cast<const char*>(bytes), static_cast<qsizetype>(length));
}

VImage ToRgb8(VImage image, ColourHandling handling, const QColor& background,
              QByteArray* carriedProfile) {
    if (carriedProfile) carriedProfile->clear();
    image = WithCameraProfile(image);
    const QByteArray profile = UsableProfile(image);
    const bool rgbSource = SpaceOf(image) == cmsSigRgbData;
    // An RGB file cannot carry a grey profile: grey goes through its own to sRGB.
    const bool profiledGrey = SpaceOf(image) == cmsSigGrayData && !profile.isEmpty();
    if (IsCmyk(image) || profiledGrey ||
        (handling == ColourHandling::ToSrgb && !profile.isEmpty())) {
        image = image.icc_transform("srgb", VImage::option()
                                                ->set("embedded", !profile.isEmpty())
                                                ->set("input_profile", "cmyk")
                                                ->set("depth", 8));
    } else {
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        if (carriedProfile && rgbSource) *carriedProfile = profile;
    }
    if (image.has_alpha())
        image = image.flatten(
            VImage::option()->set("background", BackgroundFor(background, ColourBands(image))));
    image = image.cast(VIPS_FORMAT_UCHAR);
    if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
    // (The list form of bandjoin is static: it joins only what it is given.)
    if (image.bands() == 1) image = VImage::bandjoin({image, image, image});
    if (image.bands() != 3) throw OwnFailure(res::Say(res::Text::ColoursNotRgb));
    return image;
}

}  // namespace imaging
