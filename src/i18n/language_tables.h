#pragma once

#include <cstdint>
#include <span>

namespace i18n {

/// A translatable window or menu text: the template's id of its control or
/// command, and the key a language file holds it under.
struct LanguageKey {
    int32_t id;
    const char16_t* key;
};

/// The dialog and menu keys a language file may hold, in reading order (the
/// message keys, read after them, are the texts table's).
extern const std::span<const LanguageKey> g_LanguageKeys;

/// A locale a language file's name may stand for.
struct LocaleEntry {
    uint16_t languageId;  // primary language in the low 10 bits, sub-language above
    int32_t codePage;     // ANSI code page; 0: none of its own (the system's)
    const char16_t* name;
    const char16_t* abbreviation;  // three upper-case letters
};

/// All locales, in the order they are searched.
extern const std::span<const LocaleEntry> g_LocaleTable;

}  // namespace i18n
