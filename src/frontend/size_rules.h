#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace frontend {

/// Characters the size fields are read with (one less is seen).
inline constexpr int kSizeFieldBuffer = 256;
/// Characters the position fields are read with (one less is seen).
inline constexpr int kPositionFieldBuffer = 64;

/// Reads an edit field's text the way the dialog reads numbers: the first
/// bufferSize - 1 characters, leading white space skipped, an optional sign,
/// decimal digits up to the first other character; no digits give 0; values
/// beyond 32 bits are clamped.
int32_t ParseIntField(const QString& text, int bufferSize);

/// The side that keeps a photo's proportions: (photoTo / photoFrom) * typed in
/// double precision, truncated toward zero and clamped to 32 bits, and at
/// least 1 for a positive @p typed. Nothing when either side of the photo is
/// not positive.
std::optional<int32_t> ProportionalSide(int32_t photoFrom, int32_t photoTo, int32_t typed);

/// The name a photo is shown by: the file name with its extension, or the
/// whole path when it looks like a URL (a colon as 4th or 5th character).
QString PhotoFileName(const QString& path);

/// The output file proposed for a photo: @p folder, then the photo's file name
/// without its last extension, then "_out.tif".
QString DefaultOutputFile(const QString& folder, const QString& photoPath);

/// @p path with its file name's last extension replaced by ".tif" (added when
/// the name has none); dots in folder names are not extensions.
QString WithTifExtension(const QString& path);

/// The folder the save dialog starts in for @p outputFile: its folder without
/// the last separator, or "." when it has none.
QString SaveDialogFolder(const QString& outputFile);

}  // namespace frontend
