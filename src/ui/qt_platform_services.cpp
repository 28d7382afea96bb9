#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QOperatingSystemVersion>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "host/base_folder.h"
#include "ui/font_color_dialog.h"
#include "ui/platform_services.h"

namespace ui {

namespace {

/// File-dialog filters in Qt's "description (patterns);;..." form.
QString FilterList(const std::vector<FileFilter>& filters) {
    QStringList names;
    for (const FileFilter& filter : filters)
        names << filter.description + QStringLiteral(" (") + filter.patterns.join(u' ') + u')';
    return names.join(QStringLiteral(";;"));
}

/// A file dialog's answer: nothing when cancelled.
std::optional<QString> Chosen(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(path);
}

class QtServices final : public PlatformServices {
public:
    MsgResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                         MsgButtons buttons, MsgIcon icon) override {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setTextFormat(Qt::PlainText);  // language files hold plain text, never markup
        box.setText(text);
        box.setIcon(icon == MsgIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
        if (buttons == MsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        switch (box.exec()) {
            case QMessageBox::Yes:
                return MsgResult::Yes;
            case QMessageBox::No:
                return MsgResult::No;
            default:
                return MsgResult::Ok;
        }
    }

    std::optional<QString> PicturesFolder() override {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) return std::nullopt;
        return QDir::toNativeSeparators(QDir::cleanPath(folder));
    }

    QString FallbackFolder() override {
#ifdef Q_OS_WIN
        return QStringLiteral("c:\\");
#else
        return QDir::toNativeSeparators(QDir::homePath()) + host::PathSeparator();
#endif
    }

    bool OpenUrl(const QString& url) override {
        return QDesktopServices::openUrl(QUrl(url));
    }

    int RunModal(QDialog& dialog) override {
        return dialog.exec();
    }

    std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title,
                                           const std::vector<FileFilter>& filters,
                                           const QString& initialFolder) override {
        // The descriptions already name their patterns.
        return Chosen(QFileDialog::getOpenFileName(owner, title, initialFolder, FilterList(filters),
                                                   nullptr, QFileDialog::HideNameFilterDetails));
    }

    int TrackPopupMenu(QMenu& menu, const QPoint& globalPos) override {
        const QAction* chosen = menu.exec(globalPos);
        return chosen ? chosen->data().toInt() : 0;
    }

    std::optional<FontChoice> ChooseFont(QWidget* owner, const QFont& initial,
                                         bool offerColours) override {
        FontColorDialog dialog(initial, offerColours, owner);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return FontChoice{dialog.selectedFont(), dialog.selectedColour()};
    }

    std::optional<QString> GetSaveFileName(QWidget* owner, const QString& title,
                                           const std::vector<FileFilter>& filters,
                                           const QString& initialFolder) override {
        // Replacing an existing file is asked about when converting.
        return Chosen(QFileDialog::getSaveFileName(owner, title, initialFolder, FilterList(filters),
                                                   nullptr, QFileDialog::DontConfirmOverwrite));
    }

    void ShowHelpPage(const QString& path) override {
        if (QFileInfo::exists(path)) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
};

}  // namespace

PlatformServices& QtPlatformServices() {
    static QtServices services;
    return services;
}

}  // namespace ui
