#pragma once

#include <QString>

class QMenu;
class QWidget;
namespace settings {
class Store;
}  // namespace settings
namespace i18n {
class Language;
}  // namespace i18n

namespace ui {

class PlatformServices;

/// Loads the language the user chose last time (or English) from the language
/// folder under @p baseFolder into the program's language manager, which keeps
/// its fonts in @p store and shows its warnings through @p platform.
void StartLanguage(settings::Store& store, PlatformServices& platform, const QString& baseFolder);
/// Leaves the program's language manager without store and warnings again.
void StopLanguage();

/// Puts @p language's texts and interface font on @p dialog, built from
/// template @p templateId.
void ApplyLanguageToDialog(const i18n::Language& language, QWidget& dialog, int templateId);
/// Puts @p language's texts on @p menu, loaded from menu resource @p menuId,
/// whose top-level items take the resource's captions.
void ApplyLanguageToMenu(const i18n::Language& language, QMenu& menu, int menuId);

}  // namespace ui
