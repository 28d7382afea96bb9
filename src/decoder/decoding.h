#pragma once

#include <QByteArray>

#include "decoder/protocol.h"

namespace decoder {

/// Bytes a picture decoded whole is taken to hold per pixel, with the
/// decoder's own buffers: what the memory budget is checked against.
inline constexpr int64_t kWholeDecodeBytesPerPixel = 16;

/// Carries out @p request on the photo @p bytes. Runs in the decoder process
/// only: its libraries may crash, loop or exhaust memory on hostile input.
Answer Decode(const Request& request, const QByteArray& bytes);

/// The libvips loaders the decoder uses for @p kind, by class name; every
/// other loader stays blocked.
const char* LoaderClassFor(const QString& kind);

}  // namespace decoder
