// The dialog's integer rule and the proportional side on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frontend/size_rules.h"

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const int32_t a = frontend::ParseIntField(text, frontend::kSizeFieldBuffer);
    const int32_t b = frontend::ParseIntField(text, frontend::kPositionFieldBuffer);
    (void)frontend::ProportionalSide(a, b, a ^ b);
    (void)frontend::ProportionalSide(b, a, a);
    (void)frontend::WithTifExtension(text);
    (void)frontend::DefaultOutputFile(u"/out/"_s, text);
    return 0;
}
