// The dialog's integer rule and the proportional side on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/size_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const int32_t a = imaging::ParseIntField(text, imaging::kSizeFieldBuffer);
    const int32_t b = imaging::ParseIntField(text, imaging::kPositionFieldBuffer);
    (void)imaging::ProportionalSide(a, b, a ^ b);
    (void)imaging::ProportionalSide(b, a, a);
    (void)imaging::WithTifExtension(text);
    (void)imaging::DefaultOutputFile(QStringLiteral("/out/"), text);
    return 0;
}
