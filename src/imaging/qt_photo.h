#pragma once

// Bitmaps and icons, decoded by Qt's image readers: formats whose readers in
// the imaging library would bring in a toolkit that runs other programs.

#include <memory>

#include "imaging/photo.h"
#include "imaging/photo_kind.h"

namespace imaging {

class OpenedFile;

/// Opens @p file, a BMP or ICO as @p kind says.
std::unique_ptr<Photo> LoadQtPhoto(std::shared_ptr<const OpenedFile> file, PhotoKind kind,
                                   const OpenOptions& options);

}  // namespace imaging
