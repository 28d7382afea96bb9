#include "imaging/formats.h"

#include <QFileInfo>
#include <array>

namespace imaging {
namespace {

// Vector drawings (SVG, WMF, EMF) are also recognised by their content.
constexpr std::array kFormats{
    PhotoFormat{"bmp", "image/bmp", false},
    PhotoFormat{"dib", "image/bmp", false},
    PhotoFormat{"gif", "image/gif", false},
    PhotoFormat{"png", "image/png", false},
    PhotoFormat{"tif", "image/tiff", false},
    PhotoFormat{"tiff", "image/tiff", false},
    PhotoFormat{"jpg", "image/jpeg", false},
    PhotoFormat{"jpeg", "image/jpeg", false},
    PhotoFormat{"jpe", "image/jpeg", false},
    PhotoFormat{"exif", "image/jpeg", false},
    PhotoFormat{"ico", "image/vnd.microsoft.icon", false},
    PhotoFormat{"wmf", "image/wmf", false},
    PhotoFormat{"emf", "image/emf", false},
    PhotoFormat{"svg", "image/svg+xml", false},
    PhotoFormat{"webp", "image/webp", false},
    PhotoFormat{"heic", "image/heif", false},
    PhotoFormat{"heif", "image/heif", false},
    PhotoFormat{"avif", "image/avif", false},
    PhotoFormat{"jxl", "image/jxl", false},
    PhotoFormat{"jp2", "image/jp2", false},
    PhotoFormat{"j2k", "image/x-jp2-codestream", false},
    PhotoFormat{"jpf", "image/jpx", false},
    PhotoFormat{"jpx", "image/jpx", false},
    PhotoFormat{"3fr", nullptr, true},
    PhotoFormat{"ari", nullptr, true},
    PhotoFormat{"arw", "image/x-sony-arw", true},
    PhotoFormat{"bay", nullptr, true},
    PhotoFormat{"cr2", "image/x-canon-cr2", true},
    PhotoFormat{"cr3", "image/x-canon-cr3", true},
    PhotoFormat{"crw", "image/x-canon-crw", true},
    PhotoFormat{"dcr", "image/x-kodak-dcr", true},
    PhotoFormat{"dng", "image/x-adobe-dng", true},
    PhotoFormat{"erf", nullptr, true},
    PhotoFormat{"iiq", nullptr, true},
    PhotoFormat{"k25", "image/x-kodak-k25", true},
    PhotoFormat{"kdc", "image/x-kodak-kdc", true},
    PhotoFormat{"mef", nullptr, true},
    PhotoFormat{"mos", nullptr, true},
    PhotoFormat{"mrw", "image/x-minolta-mrw", true},
    PhotoFormat{"nef", "image/x-nikon-nef", true},
    PhotoFormat{"nrw", "image/x-nikon-nrw", true},
    PhotoFormat{"orf", "image/x-olympus-orf", true},
    PhotoFormat{"pef", "image/x-pentax-pef", true},
    PhotoFormat{"raf", "image/x-fuji-raf", true},
    PhotoFormat{"raw", "image/x-panasonic-rw", true},
    PhotoFormat{"rw2", "image/x-panasonic-rw2", true},
    PhotoFormat{"rwl", nullptr, true},
    PhotoFormat{"sr2", "image/x-sony-sr2", true},
    PhotoFormat{"srf", "image/x-sony-srf", true},
    PhotoFormat{"srw", nullptr, true},
    PhotoFormat{"x3f", "image/x-sigma-x3f", true},
};

}  // namespace

std::span<const PhotoFormat> PhotoFormats() {
    return kFormats;
}

bool IsCameraRawFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const PhotoFormat& format : kFormats)
        if (format.cameraRaw && suffix == QLatin1StringView(format.extension)) return true;
    return false;
}

QStringList OpenDialogPatterns() {
    QStringList patterns;
    for (const PhotoFormat& format : kFormats)
        patterns << QStringLiteral("*.") + QLatin1StringView(format.extension);
    return patterns;
}

QStringList PhotoMimeTypes() {
    QStringList types;
    for (const PhotoFormat& format : kFormats)
        if (format.mimeType && !types.contains(QLatin1StringView(format.mimeType)))
            types << QString::fromLatin1(format.mimeType);
    return types;
}

}  // namespace imaging
