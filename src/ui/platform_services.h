#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

class QDialog;
class QMenu;
class QPoint;
class QWidget;

namespace ui {

/// Buttons of a message box.
enum class MsgButtons { Ok, YesNo };
/// Icon of a message box.
enum class MsgIcon { None, Exclamation };
/// The button that closed a message box.
enum class MsgResult { Ok, Yes, No };

/// One entry of a file dialog's type list: what the user reads and the
/// patterns it stands for.
struct FileFilter {
    QString description;
    QStringList patterns;
};

/// A font chosen in the font dialog, with the colour picked in its list.
struct FontChoice {
    QFont font;
    QColor colour;
};

/// What the dialogs ask of the desktop: message boxes, the shell, folders.
/// The program uses the Qt implementation; tests use a recording fake.
class PlatformServices {
public:
    virtual ~PlatformServices() = default;

    /// Shows a modal message box owned by @p owner (none when null).
    virtual MsgResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                 MsgButtons buttons = MsgButtons::Ok,
                                 MsgIcon icon = MsgIcon::None) = 0;
    /// The user's pictures folder without a trailing separator, or nothing
    /// when the folder does not exist.
    virtual std::optional<QString> PicturesFolder() = 0;
    /// The folder used when no other is known, with a trailing separator.
    virtual QString FallbackFolder() = 0;
    /// Opens @p url in the user's browser; false when that could not start.
    virtual bool OpenUrl(const QString& url) = 0;
    /// Asks for an existing file to open; nothing when cancelled.
    virtual std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title,
                                                   const std::vector<FileFilter>& filters,
                                                   const QString& initialFolder) = 0;
    /// Runs @p dialog modally; its result code.
    virtual int RunModal(QDialog& dialog) = 0;
    /// Shows @p menu at @p globalPos until the user closes it; the command id
    /// (the action's data) of the item chosen, or 0 for none.
    virtual int TrackPopupMenu(QMenu& menu, const QPoint& globalPos) = 0;
    /// Lets the user choose a font, starting from @p initial, with underline
    /// and strike-out; with @p offerColours also a colour from the sixteen
    /// standard colours, starting at black. Nothing when cancelled.
    virtual std::optional<FontChoice> ChooseFont(QWidget* owner, const QFont& initial,
                                                 bool offerColours) = 0;
    /// Asks for a file to save to; nothing when cancelled.
    virtual std::optional<QString> GetSaveFileName(QWidget* owner, const QString& title,
                                                   const std::vector<FileFilter>& filters,
                                                   const QString& initialFolder) = 0;
    /// Shows the help page at @p path in the user's browser. Failures are not
    /// reported.
    virtual void ShowHelpPage(const QString& path) = 0;
};

/// The platform services of the running program.
PlatformServices& QtPlatformServices();

}  // namespace ui
