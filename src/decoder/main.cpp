// tessiva-decode: decodes one photo for Tessiva, in a process of its own.
// Drawings and pictures decoded whole go through libraries that may crash,
// loop or exhaust memory on a hostile file; here that costs this process
// only, held to the photo's budgets.

#include <QFile>
#include <QStringList>
#include <cstdio>

#include "decoder/decoding.h"
#include "decoder/process_limits.h"
#include "decoder/protocol.h"

namespace {

/// Memory the decoder needs beyond the picture: its libraries and the photo's bytes.
constexpr int64_t kBaseMemory = int64_t{256} << 20;
/// The most a photo given to the decoder may hold.
constexpr qint64 kMaxPhotoBytes = qint64{1} << 30;

}  // namespace

int main(int argc, char* argv[]) {
    decoder::Confine();
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLatin1(argv[i]);
    const std::optional<decoder::Request> request = decoder::Request::FromArguments(arguments);
    if (!request) {
        std::fprintf(stderr, "tessiva-decode: a decoder for Tessiva, not to be run by hand\n");
        return 2;
    }
    decoder::LimitThisProcess(request->limits.maxMemory + kBaseMemory + kMaxPhotoBytes,
                              request->seconds);
    if (VIPS_INIT(argv[0])) return 3;
    vips_cache_set_max(0);
    vips_concurrency_set(1);
    // Only the loader this photo needs may run.
    vips_operation_block_set("VipsForeignLoad", TRUE);
    if (const char* loader = decoder::LoaderClassFor(request->kind))
        vips_operation_block_set(loader, FALSE);

    QFile in;
    QFile out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly)) return 3;
    QByteArray bytes;
    for (QByteArray chunk; bytes.size() <= kMaxPhotoBytes && !(chunk = in.read(1 << 20)).isEmpty();)
        bytes += chunk;
    // Now that the photo is here, only what its picture may take is left.
    decoder::LimitThisProcess(request->limits.maxMemory + kBaseMemory + bytes.size(),
                              request->seconds);
    const decoder::Answer answer =
        bytes.size() > kMaxPhotoBytes
            ? decoder::Answer(decoder::Refusal{
                  {res::Text::FileOverGigabytes, {QString::number(kMaxPhotoBytes >> 30)}}})
            : decoder::Decode(*request, bytes);
    const bool written = decoder::WriteAnswer(out, answer) &&
                         decoder::WriteSpentTime(out, decoder::ProcessorMilliseconds()) &&
                         out.flush();
    if (!written) std::fprintf(stderr, "%s", vips_error_buffer());
    return written ? 0 : 4;
}
