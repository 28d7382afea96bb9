#pragma once

#include <QString>
#include <memory>

namespace imaging {

class Photo;

/// Opens a camera raw file with LibRaw; an undecodable file gives a photo
/// without size.
std::unique_ptr<Photo> LoadCameraRaw(const QString& path);

}  // namespace imaging
