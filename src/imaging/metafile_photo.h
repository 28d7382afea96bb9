#pragma once

#include <QString>
#include <memory>

namespace imaging {

class Photo;

/// True when @p path holds an enhanced metafile (EMF), by its header.
bool IsEnhancedMetafile(const QString& path);

/// Renders an enhanced metafile; an undecodable one gives a photo without size.
std::unique_ptr<Photo> LoadEnhancedMetafile(const QString& path);

/// True when @p path holds a Windows metafile (WMF), by its header.
bool IsWindowsMetafile(const QString& path);

/// Renders a Windows metafile; an undecodable one gives a photo without size.
std::unique_ptr<Photo> LoadWindowsMetafile(const QString& path);

/// Renders SVG text only as large as each use needs; one without a size in
/// pixels, or beyond the pixel limit, gives a photo without size.
std::unique_ptr<Photo> LoadScalableVectorGraphics(const QString& path);

}  // namespace imaging
