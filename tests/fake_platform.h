#pragma once

#include <QFont>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "test_support.h"
#include "ui/platform_services.h"

/// A message box as the program asked for it.
struct RecordedMessage {
    QString text;
    QString caption;
    MsgButtons buttons;
    MsgIcon icon;
    bool owned;
};

/// One item of a menu as it was shown.
struct MenuItemSnapshot {
    QString text;
    int id;
    bool checked;
    std::vector<MenuItemSnapshot> submenu;
};

/// Platform services that record what the program asks and answer from a
/// script, so dialogs run without modal loops.
class FakePlatform final : public PlatformServices {
public:
    std::vector<RecordedMessage> messages;
    std::deque<MsgResult> answers;  // next answers; Ok or No when empty
    std::optional<QString> picturesFolder;
    QString fallbackFolder = u"/fallback/home/"_s;
    bool openUrlSucceeds = true;
    std::vector<QString> openedUrls;
    std::vector<QString> helpPages;
    struct OpenRequest {
        QString title;
        std::vector<FileFilter> filters;
        QString initialFolder;
    };
    std::vector<std::vector<MenuItemSnapshot>> shownMenus;
    std::deque<int> menuChoices;                        // next commands chosen; 0 when empty
    std::deque<std::optional<FontChoice>> fontChoices;  // next fonts chosen; cancel when empty
    struct FontRequest {
        QFont initial;
        bool offerColours;
    };
    std::vector<FontRequest> fontDialogStarts;
    std::deque<std::optional<QString>> saveChoices;  // next save paths; cancel when empty
    std::vector<OpenRequest> saveRequests;
    std::vector<QString> modalDialogs;               // captions of the dialogs run
    std::deque<std::optional<QString>> openChoices;  // next files chosen; cancel when empty
    std::vector<OpenRequest> openRequests;

    MsgResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                         MsgButtons buttons, MsgIcon icon) override;
    std::optional<QString> PicturesFolder() override { return picturesFolder; }
    QString FallbackFolder() override { return fallbackFolder; }
    bool OpenUrl(const QString& url) override;
    void ShowHelpPage(const QString& path) override { helpPages.push_back(path); }
    int RunModal(QDialog& dialog) override;
    std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title,
                                           const std::vector<FileFilter>& filters,
                                           const QString& initialFolder) override;
    int TrackPopupMenu(QMenu& menu, const QPoint& globalPos) override;
    std::optional<FontChoice> ChooseFont(QWidget* owner, const QFont& initial,
                                         bool offerColours) override;
    std::optional<QString> GetSaveFileName(QWidget* owner, const QString& title,
                                           const std::vector<FileFilter>& filters,
                                           const QString& initialFolder) override;

    /// The designed texts of the recorded messages (their first lines), in order.
    std::vector<QString> texts() const;
    /// The reasons the recorded messages add on their later lines, in order.
    std::vector<QString> reasons() const;
};
