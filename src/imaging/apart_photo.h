#pragma once

// Photos decoded by the decoder process: drawings, camera raw files, and
// pictures whose decoders hold them whole. The program only ever sees their
// answers; a decoder that crashes, loops or runs out of memory costs the photo.

#include <QString>
#include <atomic>
#include <memory>

#include "decoder/protocol.h"
#include "imaging/photo.h"
#include "imaging/photo_kind.h"

namespace imaging {

class OpenedFile;

/// The decoder program: $TESSIVA_DECODER, else tessiva-decode beside this
/// program or in its ../libexec/tessiva folder.
QString DecoderProgram();

/// Runs the decoder on @p file for @p request, allowing it the time a photo
/// of @p pixels takes, less what @p budget has spent already (and adds what
/// this call spends); gives up when @p stop is set. A decoder that fails
/// answers with a refusal saying how.
decoder::Answer RunDecoder(const OpenedFile& file, decoder::Request request, int64_t pixels,
                           const std::atomic<bool>* stop, DecoderBudget* budget = nullptr);

/// Why frame @p page of @p file, a photo of @p kind this process decodes
/// itself, does not decode (@p strict: with its first damage), in the words
/// of a decoder process that decodes nothing else; empty when it decodes
/// there. The imaging library keeps one buffer of failure reasons for the
/// whole process, which photos converted side by side would mix.
QString DecodingFailure(const OpenedFile& file, PhotoKind kind, int page, bool strict,
                        const Limits& limits, const std::atomic<bool>* stop);

/// Opens @p file, of @p kind, through the decoder.
std::unique_ptr<Photo> LoadApart(std::shared_ptr<const OpenedFile> file, PhotoKind kind,
                                 const OpenOptions& options);

}  // namespace imaging
