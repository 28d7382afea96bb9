// Putting a language onto live windows and menus.

#include "ui/apply_language.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include "i18n/language.h"
#include "settings/keys.h"
#include "settings/store.h"
#include "ui/dialog_builder.h"
#include "ui/platform_services.h"

namespace ui {
namespace {

/// Submenus take their captions from consecutive menu ids, counted from the
/// resource's top-level id.
void ApplyToItems(const i18n::Language& language, QMenu& menu, int menuId, bool topLevel,
                  int& popupCounter) {
    const QList<QAction*> items = menu.actions();
    for (qsizetype position = 0; position < items.size(); ++position) {
        QAction* item = items[position];
        QMenu* submenu = item->menu();
        const int itemId = submenu ? -1 : item->data().toInt();
        if (itemId == 0) continue;  // separators and items without an id

        QString text;
        if (topLevel)
            text = language.GetTopLevelCaption(menuId, static_cast<int>(position));
        else if (!submenu)
            text = language.GetMenuText(itemId);
        else
            text = language.GetMenuText(popupCounter++);

        if (!text.isEmpty()) item->setText(text);
        if (submenu) ApplyToItems(language, *submenu, -1, false, popupCounter);
    }
}

}  // namespace

void StartLanguage(settings::Store& store, PlatformServices& platform, const QString& baseFolder) {
    const QString language = store.Get(settings::kCurrentLanguage);
    i18n::g_Language.SetStore(&store);
    i18n::g_Language.SetWarningHandler([&platform](const QString& text, const QString& caption) {
        platform.MessageBox(nullptr, text, caption);
    });
    i18n::g_Language.Initialize(baseFolder, language);
}

void StopLanguage() {
    i18n::g_Language.SetStore(nullptr);
    i18n::g_Language.SetWarningHandler({});
}

void ApplyLanguageToDialog(const i18n::Language& language, QWidget& dialog, int templateId) {
    const std::optional<QFont>& font = language.GetUIFont();
    const QString caption = language.GetDialogText(templateId);
    if (!caption.isEmpty()) {
        if (font) dialog.setFont(*font);
        dialog.setWindowTitle(caption);
    }
    for (QObject* object : dialog.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isWindow() || qobject_cast<QLineEdit*>(child)) continue;
        const int id = static_cast<int16_t>(ControlId(child));
        if (id <= 0) continue;
        const QString text = language.GetDialogText(id);
        if (text.isEmpty()) continue;
        if (auto* combo = qobject_cast<QComboBox*>(child)) {
            combo->clear();
            combo->addItems(text.split(u'\n'));
            continue;
        }
        SetControlText(child, text);
        if (font) child->setFont(*font);
    }
}

void ApplyLanguageToMenu(const i18n::Language& language, QMenu& menu, int menuId) {
    int popupCounter = (menuId & 0xFFFF) * 65536;
    ApplyToItems(language, menu, menuId, true, popupCounter);
}

}  // namespace ui
