#pragma once

#include <QString>
#include <memory>

namespace imaging {

class Photo;

/// True when @p path names a camera raw file (by its extension).
bool IsCameraRawFile(const QString& path);

/// Opens a camera raw file with LibRaw; an undecodable file gives a photo
/// without size.
std::unique_ptr<Photo> LoadCameraRaw(const QString& path);

}  // namespace imaging
