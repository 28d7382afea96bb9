// The language-file reader on arbitrary bytes, in each kind of encoding.
#include <cstddef>
#include <cstdint>

#include "i18n/code_page.h"
#include "i18n/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr int kCodePages[] = {1252, 936, 932, 949, 950, 1251, 65001, 0};
    const int codePage = kCodePages[data[0] % 8];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    const i18n::IniFile ini = i18n::IniFile::Parse(
        bytes, [codePage](QByteArrayView value) { return i18n::DecodeCodePage(value, codePage); });
    for (const char* section : {"DIALOG", "MENU", "STRING", "dialog"})
        for (const char* key : {"IDC_BUTTON_EXIT", "IDS_STRING108", "IDM_ABOUT", "k", ""})
            (void)ini.value(QString::fromLatin1(section), QString::fromLatin1(key));
    return 0;
}
