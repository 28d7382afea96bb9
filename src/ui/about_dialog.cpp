#include "ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "i18n/language.h"
#include "resources/resource.h"
#include "ui/app_icon.h"
#include "ui/apply_language.h"
#include "ui/dialog_builder.h"

namespace ui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const auto& tmpl = res::AboutDialogTemplate();
    const BuiltDialog built = BuildDialog(*this, tmpl, DialogFont(tmpl.fontPointSize));
    if (auto* icon = qobject_cast<QLabel*>(built.item(res::IDC_ABOUT_ICON))) {
        const int side = std::min(icon->width(), icon->height());
        icon->setPixmap(LoadAppIcon().pixmap(side, side));
    }
    if (auto* ok = qobject_cast<QPushButton*>(built.item(res::IDOK))) {
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    ApplyLanguageToDialog(i18n::g_Language, *this, res::IDD_ABOUTBOX);
}

}  // namespace ui
