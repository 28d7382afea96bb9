#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <optional>

#include "fake_platform.h"
#include "i18n/language.h"
#include "resources/resource.h"
#include "settings/store.h"
#include "ui/apply_language.h"
#include "ui/dialog_builder.h"
#include "ui/main_dialog.h"

/// @p text as it shows: without the ampersand that marks its mnemonic.
inline QString WithoutMnemonic(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'&') text.remove(i, 1);  // "&&" keeps one
    return text;
}

/// A main dialog on a private settings file and a recording platform, shown and
/// active so that focus and keys behave as on a desktop.
class MainDialogTest : public ::testing::Test {
protected:
    TempFolder temp;
    QString iniPath = temp.file(u"config/VELTRIX/tessiva.conf"_s);
    FakePlatform platform;
    std::unique_ptr<settings::Store> store;
    std::unique_ptr<MainDialog> dialog;

    QString baseFolder = temp.mkdir(u"program"_s);  // no language folder

    MainDialogTest() { platform.picturesFolder = temp.mkdir(u"Pictures"_s); }
    ~MainDialogTest() override {
        dialog.reset();
        // Leave the shared language manager as a program without languages has it.
        StopLanguage();
        g_Language.Initialize(temp.file(u"none"_s), u"english"_s);
    }

    /// Uses the language files shipped with the program.
    void useShippedLanguages() { baseFolder = QStringLiteral(TESSIVA_SOURCE_DIR); }

    /// Stores INI text before the dialog starts.
    void seedStore(const QByteArray& text) { temp.write(u"config/VELTRIX/tessiva.conf"_s, text); }

    /// Starts (or restarts) the dialog the way the program does, with
    /// @p photoAtStart named on the command line when given.
    MainDialog& start(const QString& photoAtStart = {}) {
        dialog.reset();
        store = std::make_unique<settings::Store>(iniPath);
        StartLanguage(*store, platform, baseFolder);
        dialog = std::make_unique<MainDialog>(*store, platform);
        dialog->Create();
        if (!photoAtStart.isEmpty()) dialog->OpenAtStart(photoAtStart);
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return *dialog;
    }

    QWidget* item(int id) const { return dialog->ControlById(id); }
    void click(int id) const { QTest::mouseClick(button(id), Qt::LeftButton); }
    /// Opens @p path through Open Photo.
    void openPhoto(const QString& path) {
        platform.openChoices = {path};
        click(IDC_BUTTON_OPEN_PHOTO);
    }
    /// How Convert is set in the window; what is left empty stays as it is.
    struct WindowSettings {
        QString width;            // typed; the calculator gives the height
        std::vector<int> clicks;  // radio buttons
        std::optional<FontChoice> font;
        QString text;
        QPoint position;
    };
    /// The font dialog's answer: @p family (the default when empty) at @p pixels.
    static FontChoice Font(int pixels, const QColor& colour, const QString& family = {},
                           bool bold = false) {
        QFont font = family.isEmpty() ? QFont() : QFont(family);
        font.setPixelSize(pixels);
        font.setBold(bold);
        return {font, colour};
    }
    /// Opens @p photo (unless empty: the one open stays), sets the window as @p how
    /// says and converts it into @p output.
    void convertInWindow(const QString& photo, const QString& output,
                         const WindowSettings& how = {}) {
        if (!photo.isEmpty()) openPhoto(photo);
        if (!how.width.isEmpty()) {
            edit(IDC_EDIT_OUTPUT_WIDTH)->setText(how.width);
            click(IDC_BUTTON_BASE_WIDTH);
        }
        for (const int id : how.clicks) click(id);
        if (how.font) {
            platform.fontChoices = {*how.font};
            click(IDC_BUTTON_FONT);
        }
        if (!how.text.isEmpty()) {
            edit(IDC_EDIT_TEXT)->setText(how.text);
            edit(IDC_EDIT_TEXT_X)->setText(QString::number(how.position.x()));
            edit(IDC_EDIT_TEXT_Y)->setText(QString::number(how.position.y()));
        }
        edit(IDC_EDIT_OUTPUT_FILE)->setText(output);
        click(IDC_BUTTON_CONVERT);
    }
    QLineEdit* edit(int id) const { return qobject_cast<QLineEdit*>(item(id)); }
    QAbstractButton* button(int id) const { return qobject_cast<QAbstractButton*>(item(id)); }
    QLabel* label(int id) const { return qobject_cast<QLabel*>(item(id)); }

    /// The stored value of @p key in section Option, as the program reads it.
    int storedInt(const QString& section, const QString& key, int def = -999) const {
        return settings::Store(iniPath).GetProfileInt(section, key, def);
    }
};
