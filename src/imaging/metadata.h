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

/// A photo's metadata as its file holds it.
struct PhotoMetadata {
    QByteArray exif;      // a TIFF structure
    QByteArray xmp;       // an XMP packet
    QByteArray iptc;      // IPTC-IIM records
    int orientation = 1;  // the camera's, as the photo applies it; 1 for none
};

/// The metadata @p frame carries, as the imaging library read it (all but the orientation).
PhotoMetadata MetadataOf(const vips::VImage& frame);

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

/// One field of a TIFF directory, its value in little-endian bytes.
struct TiffField {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    QByteArray value;
};

/// The fields a TIFF gets beyond its pixels: in its own directory, in an EXIF
/// directory, and in a GPS directory (either written only when not empty).
struct TiffMetadata {
    std::vector<TiffField> image;
    std::vector<TiffField> exif;
    std::vector<TiffField> gps;
};

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
