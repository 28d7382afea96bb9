#pragma once

#include <QByteArrayView>
#include <QString>

namespace i18n {

/// Code page numbers with a meaning of their own.
inline constexpr int kCodePageSystem = 0;  // the system's ANSI code page: UTF-8 here
inline constexpr int kCodePageUtf8 = 65001;

/// Decodes @p bytes in Windows code page @p codePage. Bytes the code page
/// cannot decode become U+FFFD; an unknown code page decodes as the system's.
QString DecodeCodePage(QByteArrayView bytes, int codePage);

}  // namespace i18n
