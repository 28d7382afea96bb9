#include "ui/menu_templates.h"

#include <QAction>
#include <QMenu>

#include "resources/resource.h"

using namespace res;

namespace ui {
namespace {

QAction* AddCommand(QMenu& menu, const char* text, int id) {
    QAction* action = menu.addAction(QString::fromUtf8(text));
    action->setData(id);
    return action;
}

}  // namespace

std::unique_ptr<QMenu> LoadMenu(int id, QWidget* parent) {
    if (id != IDR_MENU_LANGUAGE_POPUP) return nullptr;
    auto root = std::make_unique<QMenu>(parent);
    QMenu* popup = root->addMenu(QStringLiteral("PopupMenu"));
    QMenu* language = popup->addMenu(QStringLiteral("Language"));
    AddCommand(*language, "", 0);  // placeholder, replaced by the installed languages
    AddCommand(*popup, "Font", IDM_POPUPMENU_FONT);
    AddCommand(*popup, "Convert to sRGB", IDM_CONVERT_TO_SRGB)->setCheckable(true);
    AddCommand(*popup, "Upright by camera orientation", IDM_AUTO_ORIENT)->setCheckable(true);
    AddCommand(*popup, "Text stays upright", IDM_TEXT_UPRIGHT)->setCheckable(true);
    AddCommand(*popup, "Show the result", IDM_SHOW_RESULT)->setCheckable(true);
    AddCommand(*popup, "About", IDM_ABOUT);
    return root;
}

}  // namespace ui
