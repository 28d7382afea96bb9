// The checks an untrusted file meets before any decoder reads it: the gate
// that tells its kind from its content, the walk over a metafile's records,
// and the budgets of SVG text.
#include <cstddef>
#include <cstdint>

#include "decoder/drawing.h"
#include "imaging/opened_file.h"
#include "imaging/photo_kind.h"

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)imaging::KindOfContent(imaging::OpenedFile::FromBytes(u"f"_s, bytes));
    (void)decoder::MetafileProblem(u"wmf"_s, bytes);
    (void)decoder::MetafileProblem(u"emf"_s, bytes);
    (void)decoder::SvgTextProblem(bytes, decoder::Limits{});
    return 0;
}
