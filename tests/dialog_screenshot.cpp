// Renders the main dialog to a PNG for a person to look at: optionally in a
// language and with a photo opened, through the same code paths the program
// uses, with the desktop's dialogs answered by a script.
//
//   dialog_screenshot OUT.png [PHOTO] [LANGUAGE] [CONVERTED.tif]
//
// With CONVERTED.tif it also converts the photo at 800 x 600, turned 90 degrees
// and mirrored, with "Tessiva" in red bold 24-pixel type at (10, 10).

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <string_view>

#include "fake_platform.h"
#include "i18n/language.h"
#include "imaging/imaging_library.h"
#include "resources/resource.h"
#include "settings/store.h"
#include "ui/about_dialog.h"
#include "ui/apply_language.h"
#include "ui/main_dialog.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [PHOTO] [LANGUAGE]\n       %s --about OUT.png\n",
                     argv[0], argv[0]);
        return 2;
    }
    if (std::string_view(argv[1]) == "--about" && argc > 2) {
        AboutDialog about;
        about.show();
        QApplication::processEvents();
        return about.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    QTemporaryDir home;
    FakePlatform platform;
    platform.picturesFolder = home.path();
    settings::Store store(home.filePath(u"tessiva.conf"_s));
    if (argc > 3)
        store.WriteProfileString(u"Option"_s, u"CurrentLanguage"_s,
                                 QString::fromLocal8Bit(argv[3]));
    StartLanguage(store, platform, QStringLiteral(TESSIVA_SOURCE_DIR));
    {
        MainDialog dialog(store, platform);
        dialog.Create();
        dialog.show();
        if (argc > 2) {
            platform.openChoices = {QString::fromLocal8Bit(argv[2])};
            qobject_cast<QPushButton*>(dialog.ControlById(res::IDC_BUTTON_OPEN_PHOTO))->click();
        }
        if (argc > 4) {
            const auto setText = [&](int id, const QString& text) {
                qobject_cast<QLineEdit*>(dialog.ControlById(id))->setText(text);
            };
            setText(res::IDC_EDIT_OUTPUT_WIDTH, u"800"_s);
            setText(res::IDC_EDIT_OUTPUT_HEIGHT, u"600"_s);
            qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_RADIO_ROTATE_90))->click();
            qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_RADIO_FLIP_HORIZONTAL))
                ->click();
            QFont font(u"DejaVu Sans"_s);
            font.setPixelSize(24);
            font.setBold(true);
            platform.fontChoices = {FontChoice{font, QColor(Qt::red)}};
            qobject_cast<QPushButton*>(dialog.ControlById(res::IDC_BUTTON_FONT))->click();
            setText(res::IDC_EDIT_TEXT, u"Tessiva"_s);
            setText(res::IDC_EDIT_TEXT_X, u"10"_s);
            setText(res::IDC_EDIT_TEXT_Y, u"10"_s);
            setText(res::IDC_EDIT_OUTPUT_FILE, QString::fromLocal8Bit(argv[4]));
            platform.answers = {MsgResult::Yes};
            qobject_cast<QPushButton*>(dialog.ControlById(res::IDC_BUTTON_CONVERT))->click();
        }
        QApplication::processEvents();
        const bool saved = dialog.grab().save(QString::fromLocal8Bit(argv[1]));
        for (const auto& message : platform.messages)
            std::printf("message: %s | %s\n", qPrintable(message.caption),
                        qPrintable(message.text));
        if (!saved) return 1;
    }
    StopLanguage();
    imaging::ShutdownLibrary();
    return 0;
}
