#pragma once

// The gate every photo passes: what a file holds is told from its content,
// against the list of formats the program opens, whatever its name says.

#include <QLatin1StringView>
#include <QString>
#include <cstdint>
#include <memory>
#include <variant>
#include <vips/vips8>

namespace imaging {

class OpenedFile;

/// The kinds of photo the program opens.
enum class PhotoKind {
    Jpeg,
    Png,
    Gif,
    Tiff,
    Webp,
    Bmp,
    Icon,
    Heif,  // HEIC and AVIF
    JpegXl,
    Jpeg2000,
    Svg,
    Wmf,
    Emf,
    CameraRaw,
};

/// A file the gate turned away, and why ("not a photo format (PDF)").
struct Refusal {
    QString reason;
};

/// What @p file holds, or why it is not opened. The content decides; the
/// name counts only for camera raw files, told apart by the raw developer
/// (CameraRaw is never answered here).
std::variant<PhotoKind, Refusal> KindOfContent(const std::shared_ptr<const OpenedFile>& file);

/// Who decodes a kind of photo.
enum class DecodedBy {
    Library,  // the imaging library, in this process, streaming where it can
    Qt,       // Qt's readers, in this process, whole
    Apart,    // the decoder process: drawings, and decoders that hold whole pictures
};

/// What the program knows of one kind of photo.
struct KindFacts {
    PhotoKind kind;
    QLatin1StringView name;         // as users know it, for messages ("SVG")
    QLatin1StringView decoderWord;  // the kind's word on the decoder protocol
    DecodedBy decodedBy;
    /// The most pixels a file of the kind can describe per byte: beyond it the
    /// file lies about its size; 0 for no bound.
    int64_t maxPixelsPerByte;
    /// The library's loader (DecodedBy::Library only).
    vips::VImage (*load)(vips::VSource source, vips::VOption* options);
    /// The bytes the loader holds at once for a frame it cannot stream, from
    /// the first frame's header; null when it always streams.
    int64_t (*wholeDecodeBytes)(const vips::VImage& first);
    /// True when the loader tells a stored resolution by a resolution unit.
    bool resolutionUnit;
};

/// The facts of @p kind.
const KindFacts& FactsOf(PhotoKind kind);

}  // namespace imaging
