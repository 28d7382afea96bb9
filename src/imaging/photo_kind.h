#pragma once

// The gate every photo passes: what a file holds is told from its content,
// against the list of formats the program opens, whatever its name says.

#include <QString>
#include <memory>
#include <variant>

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

/// The name users know @p kind by, for messages ("SVG").
QString KindName(PhotoKind kind);

/// True for kinds decoded by the decoder process, away from the program:
/// drawings, and decoders that hold whole pictures.
bool DecodedApart(PhotoKind kind);

}  // namespace imaging
