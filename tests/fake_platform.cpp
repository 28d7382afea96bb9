#include "fake_platform.h"

// GCC 12 takes a moved std::optional<QString> for uninitialised (a known false
// positive of its optimiser); nothing here reads an empty optional.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <QAction>
#include <QDialog>
#include <QMenu>

MsgResult FakePlatform::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                   MsgButtons buttons, MsgIcon icon) {
    messages.push_back({text, caption, buttons, icon, owner != nullptr});
    if (!answers.empty()) {
        const MsgResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

bool FakePlatform::OpenUrl(const QString& url) {
    openedUrls.push_back(url);
    return openUrlSucceeds;
}

static std::vector<MenuItemSnapshot> Snapshot(const QMenu& menu) {
    std::vector<MenuItemSnapshot> items;
    for (const QAction* action : menu.actions()) {
        MenuItemSnapshot item{
            action->text(), action->menu() ? -1 : action->data().toInt(), action->isChecked(), {}};
        if (action->menu()) item.submenu = Snapshot(*action->menu());
        items.push_back(std::move(item));
    }
    return items;
}

int FakePlatform::RunModal(QDialog& dialog) {
    modalDialogs.push_back(dialog.windowTitle());
    return QDialog::Rejected;
}

std::optional<QString> FakePlatform::GetOpenFileName(QWidget*, const QString& title,
                                                     const std::vector<FileFilter>& filters,
                                                     const QString& initialFolder) {
    openRequests.push_back({title, filters, initialFolder});
    if (openChoices.empty()) return std::nullopt;
    auto choice = openChoices.front();
    openChoices.pop_front();
    return choice;
}

int FakePlatform::TrackPopupMenu(QMenu& menu, const QPoint&) {
    shownMenus.push_back(Snapshot(menu));
    if (menuChoices.empty()) return 0;
    const int choice = menuChoices.front();
    menuChoices.pop_front();
    return choice;
}

std::optional<QString> FakePlatform::GetSaveFileName(QWidget*, const QString& title,
                                                     const std::vector<FileFilter>& filters,
                                                     const QString& initialFolder) {
    saveRequests.push_back({title, filters, initialFolder});
    if (saveChoices.empty()) return std::nullopt;
    auto choice = saveChoices.front();
    saveChoices.pop_front();
    return choice;
}

std::optional<FontChoice> FakePlatform::ChooseFont(QWidget*, const QFont& initial,
                                                   bool offerColours) {
    fontDialogStarts.push_back({initial, offerColours});
    if (fontChoices.empty()) return std::nullopt;
    auto choice = fontChoices.front();
    fontChoices.pop_front();
    return choice;
}

std::vector<QString> FakePlatform::texts() const {
    std::vector<QString> result;
    for (const auto& message : messages) result.push_back(message.text.section(u'\n', 0, 0));
    return result;
}

std::vector<QString> FakePlatform::reasons() const {
    std::vector<QString> result;
    for (const auto& message : messages) result.push_back(message.text.section(u'\n', 1));
    return result;
}
