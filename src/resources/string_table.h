#pragma once

#include <QString>

namespace res {

/// The built-in English text of string resource @p id, or an empty string when
/// the program has no string with that id.
QString LoadBuiltinString(int id);

}  // namespace res
