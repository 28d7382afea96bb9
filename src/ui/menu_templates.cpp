#include "ui/menu_templates.h"

#include <QAction>
#include <QActionGroup>
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
    AddCommand(*popup, "Keep proportions while typing", IDM_KEEP_PROPORTIONS)->setCheckable(true);
    AddCommand(*popup, "Result at full size", IDM_SHOW_FULL_SIZE);
    QMenu* metadata = popup->addMenu(QStringLiteral("Metadata"));
    // One of three: shown as radio items.
    auto* metadataChoices = new QActionGroup(metadata);
    for (const auto& [text, command] :
         {std::pair{"Rights only (creator, copyright, caption, date)", IDM_METADATA_RIGHTS},
          std::pair{"All (EXIF, IPTC, XMP)", IDM_METADATA_ALL},
          std::pair{"None", IDM_METADATA_NONE}}) {
        QAction* choice = AddCommand(*metadata, text, command);
        choice->setCheckable(true);
        metadataChoices->addAction(choice);
    }
    AddCommand(*popup, "About", IDM_ABOUT);
    return root;
}

}  // namespace ui
