#pragma once

// What a photo says about itself (EXIF, IPTC, XMP) and what of it travels
// into the TIFF: the rights by default, all of it on request, or nothing.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include <vips/vips8>

namespace imaging {

/// What of a photo's metadata a conversion carries.
enum class MetadataChoice {
    Rights,  // creator, copyright, description and capture date; no location, no serials
    All,     // EXIF, IPTC and XMP whole, the orientation matching the written pixels
    None,    // nothing
};

/// The choice named @p name ("rights", "all", "none"), or nothing.
std::optional<MetadataChoice> MetadataChoiceNamed(const QString& name);

/// One field of a TIFF directory, its value in little-endian bytes.
struct TiffField {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    QByteArray value;
};

/// The fields of a TIFF structure: its own directory, its EXIF directory and
/// its GPS directory. A TIFF written gets these beyond its pixels (the EXIF and
/// GPS directories only when not empty).
struct TiffMetadata {
    std::vector<TiffField> image;
    std::vector<TiffField> exif;
    std::vector<TiffField> gps;
};

/// A photo's metadata as its file holds it.
struct PhotoMetadata {
    TiffMetadata exif;    // the camera's: EXIF, or the file's own directories
    QByteArray xmp;       // an XMP packet
    QByteArray iptc;      // IPTC-IIM records
    int orientation = 1;  // the camera's, as the photo applies it; 1 for none
};

/// The metadata @p frame carries, as the imaging library read it (all but the orientation).
PhotoMetadata MetadataOf(const vips::VImage& frame);

class OpenedFile;
/// What @p file keeps where the imaging library does not read it: the
/// directories of a file that is a TIFF structure (TIFF, most camera raw
/// files) with the XMP and IPTC they hold, and the Exif and XMP boxes of a
/// JPEG XL container. Empty where the file keeps nothing of the kind.
PhotoMetadata MetadataInFile(const OpenedFile& file);

/// @p metadata with what it lacks (EXIF, XMP, IPTC) taken from @p file's.
void Complete(PhotoMetadata& metadata, const PhotoMetadata& file);

/// The resolution a photo's own directory states, in dots per inch; nothing
/// when it states none.
std::optional<double> ResolutionOf(const TiffMetadata& exif);

/// The rights a photo states, from its XMP, else its IPTC, else its EXIF.
struct Rights {
    QString creator;
    QString copyright;
    QString description;
    QString captured;  // "YYYY:MM:DD HH:MM:SS", or empty
    /// The capture date as precisely as known, as XMP writes it: from the year
    /// alone ("2021") to fractions and zone ("2021-05-06T07:08:09.123+05:30").
    QString capturedIso;
    QString subSeconds;  // the fraction's digits ("123"), or empty
    QString offset;      // the zone ("+05:30"), or empty
};
Rights RightsOf(const PhotoMetadata& metadata);

/// What of @p metadata @p choice carries into a TIFF whose pixels are stored
/// as the photo's were (@p asStored: the camera's orientation still applies)
/// or were turned (then they are written upright, orientation 1). The TIFF's
/// own date is @p written ("YYYY:MM:DD HH:MM:SS"), when it is written.
TiffMetadata MetadataToWrite(const PhotoMetadata& metadata, MetadataChoice choice, bool asStored,
                             const QString& written);

/// When a TIFF written now says it was written: SOURCE_DATE_EPOCH when the
/// surroundings set it (for outputs made alike again), else the local time.
QString WritingTime();

}  // namespace imaging
