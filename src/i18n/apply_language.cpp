// Putting the current language onto live windows and menus.

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include "app/settings_store.h"
#include "i18n/language.h"
#include "ui/dialog_builder.h"

bool CLanguage::ApplyToDialog(QWidget& dialog, int templateId) {
    const QString caption = GetDialogText(templateId);
    if (!caption.isEmpty()) {
        if (m_fontUI) dialog.setFont(*m_fontUI);
        dialog.setWindowTitle(caption);
    }
    for (QObject* object : dialog.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isWindow() || qobject_cast<QLineEdit*>(child)) continue;
        const int id = static_cast<int16_t>(ControlId(child));
        if (id <= 0) continue;
        const QString text = id < 100 ? GetString(id) : GetDialogText(id);
        if (text.isEmpty()) continue;
        if (auto* combo = qobject_cast<QComboBox*>(child)) {
            combo->clear();
            combo->addItems(text.split(u'\n'));
            continue;
        }
        SetControlText(child, text);
        if (m_fontUI) child->setFont(*m_fontUI);
    }
    return true;
}

bool CLanguage::ApplyToMenu(QMenu& menu, int menuId, bool topLevel) {
    if (topLevel) m_nPopupCounter = (menuId & 0xFFFF) * 65536;
    const QList<QAction*> items = menu.actions();
    for (qsizetype position = 0; position < items.size(); ++position) {
        QAction* item = items[position];
        QMenu* submenu = item->menu();
        const int itemId = submenu ? -1 : item->data().toInt();
        if (itemId == 0) continue;  // separators and items without an id

        QString text;
        if (topLevel)
            text = GetTopLevelCaption(menuId, static_cast<int>(position));
        else if (!submenu)
            text = GetMenuText(itemId);
        else
            text = GetMenuText(m_nPopupCounter++);

        if (!text.isEmpty()) item->setText(text);
        if (submenu) ApplyToMenu(*submenu, -1, false);
    }
    return true;
}

QString CLanguage::GetTopLevelCaption(int menuId, int position) const {
    const QString value = GetMenuText(menuId);
    const QStringList pieces = value.split(u',');
    return position >= 0 && position < pieces.size() ? pieces[position] : value;
}

bool CLanguage::SaveUIFont(const QFont& font) {
    if (m_store) WriteLogFont(*m_store, m_strCurrentLanguage, LogFontFromQFont(font));
    return true;
}
