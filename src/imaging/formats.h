#pragma once

#include <QString>
#include <QStringList>
#include <span>

namespace imaging {

/// One file name extension the program opens, and what decodes it.
struct PhotoFormat {
    const char* extension;  // lower case, without the dot
    const char* mimeType;   // the desktop's name for the type; nullptr when it has none
    bool cameraRaw;         // decoded by the raw developer, not the imaging library
};

/// Every extension the program opens: the one list the loaders, the Open
/// dialog and the desktop entry are made from.
std::span<const PhotoFormat> PhotoFormats();

/// True when @p path's extension names a camera's raw format.
bool IsCameraRawFile(const QString& path);

/// "*.<extension>" for every format, in the list's order.
QStringList OpenDialogPatterns();

/// The MIME types of the formats, each once, in the list's order.
QStringList PhotoMimeTypes();

}  // namespace imaging
