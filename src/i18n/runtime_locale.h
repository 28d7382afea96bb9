#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

namespace i18n {

/// The Qt locale that platform language identifier @p languageId stands for.
QLocale LocaleForLanguageId(uint16_t languageId);

/// Sets the runtime library's locale (every category but numbers, which stay
/// "C") and Qt's default locale to those of @p languageId, using the closest
/// locale installed here; the user's default when none is or when
/// @p languageId is 0. Returns the runtime locale name now in force.
QString ApplyRuntimeLocale(uint16_t languageId);

}  // namespace i18n
