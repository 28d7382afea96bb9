#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <clocale>

#include "dialog_fixture.h"
#include "ui/black_frame.h"
#include "ui/group_frame.h"

using namespace res;

namespace {

const int kGerman =
    45400 + 2;  // Chinese_Simplified, English, German, Japanese_unicode, Russian_utf-8

class LanguageDialogTest : public MainDialogTest {
protected:
    ~LanguageDialogTest() override { std::setlocale(LC_ALL, ""); }

    /// Right-clicks the dialog at @p point through its window, as a mouse would.
    void rightClick(QPoint point) {
        QTest::mouseClick(dialog->windowHandle(), Qt::RightButton, {}, point);
    }
    /// A point of the dialog's own surface, away from every control.
    QPoint surface() const { return {dialog->width() / 2, dialog->height() - 3}; }

    QString text(int id) const { return WithoutMnemonic(ControlText(item(id))); }
};

TEST_F(LanguageDialogTest, TheStoredLanguageLabelsTheDialogAtStart) {
    useShippedLanguages();
    seedStore("[Option]\nCurrentLanguage=German\n");
    start();
    EXPECT_EQ(dialog->windowTitle(), u"Tessiva"_s);
    EXPECT_EQ(text(IDC_BUTTON_OPEN_PHOTO), u"Foto öffnen"_s);
    EXPECT_EQ(text(IDC_STATIC_KEEP_RATIO_CALCULATOR), u"Seitenverhältnis-Rechner"_s);
    EXPECT_EQ(text(IDC_RADIO_FLIP_VERTICAL), u"Vertikal spiegeln"_s);
    // Radios without a key keep their template texts.
    EXPECT_EQ(text(IDC_RADIO_ROTATE_90), u"90"_s);
    // Translated controls and the dialog itself take the interface font.
    const QFont ui = *g_Language.GetUIFont();
    EXPECT_EQ(item(IDC_BUTTON_OPEN_PHOTO)->font().pixelSize(), ui.pixelSize());
    EXPECT_EQ(dialog->font().pixelSize(), ui.pixelSize());
    // Edits and untranslated controls keep the template font.
    EXPECT_EQ(item(IDC_EDIT_TEXT)->font(), item(IDC_RADIO_ROTATE_90)->font());
    EXPECT_NE(item(IDC_RADIO_ROTATE_90)->font().pixelSize(), ui.pixelSize());
}

TEST_F(LanguageDialogTest, ARightClickOnTheSurfaceShowsTheTranslatedMenu) {
    useShippedLanguages();
    seedStore("[Option]\nCurrentLanguage=german\n");
    start();
    rightClick(surface());
    ASSERT_EQ(platform.shownMenus.size(), 1u);
    const auto& menu = platform.shownMenus[0];
    ASSERT_EQ(menu.size(), 10u);
    EXPECT_EQ(menu[0].text, u"Sprache"_s);
    EXPECT_EQ(menu[1].text, u"Schriftart der Oberfläche"_s);
    EXPECT_EQ(menu[1].id, IDM_POPUPMENU_FONT);
    EXPECT_EQ(menu[2].text, u"In sRGB umwandeln"_s);
    EXPECT_EQ(menu[3].text, u"Nach Kameraausrichtung aufrichten"_s);
    EXPECT_EQ(menu[4].text, u"Text bleibt aufrecht"_s);
    EXPECT_EQ(menu[5].text, u"Ergebnis zeigen"_s);
    EXPECT_EQ(menu[6].text, u"Seitenverhältnis beim Tippen beibehalten"_s);
    EXPECT_FALSE(menu[6].checked);
    EXPECT_EQ(menu[7].text, u"Ergebnis in voller Größe"_s);
    EXPECT_EQ(menu[8].text, u"Metadaten"_s);
    ASSERT_EQ(menu[8].submenu.size(), 3u);
    EXPECT_EQ(menu[8].submenu[2].text, u"Keine"_s);
    EXPECT_TRUE(menu[8].submenu[0].checked);  // rights travel unless told otherwise
    EXPECT_EQ(menu[9].text, u"Über Tessiva"_s);
    EXPECT_EQ(menu[9].id, IDM_ABOUT);

    const auto& languages = menu[0].submenu;
    ASSERT_EQ(languages.size(), 5u);
    // Each language by its own name, not its file's.
    const QStringList expected{"简体中文", "English", "Deutsch", "日本語", "Русский"};
    for (size_t i = 0; i < languages.size(); ++i) {
        EXPECT_EQ(languages[i].text, expected[static_cast<qsizetype>(i)]);
        EXPECT_EQ(languages[i].id, 45400 + static_cast<int>(i));
        // The stored name differs in case from the file: still checked.
        EXPECT_EQ(languages[i].checked, i == 2) << i;
    }
}

TEST_F(LanguageDialogTest, RightClicksOnControlsThatTakeTheMouseShowNoMenu) {
    start();
    const auto centreOf = [&](int id) { return item(id)->geometry().center(); };
    rightClick(centreOf(IDC_BUTTON_EXIT));
    rightClick(centreOf(IDC_EDIT_TEXT));
    rightClick(centreOf(IDC_RADIO_FLIP_NO));
    EXPECT_TRUE(platform.shownMenus.empty());
    // Labels, group boxes and the picture frame are part of the surface.
    rightClick(centreOf(IDC_STATIC_ADD_TEXT));
    rightClick(centreOf(IDC_STATIC_PICTURE));
    rightClick(QPoint(item(IDC_STATIC_FLIP)->geometry().left() + 3, centreOf(IDC_STATIC_FLIP).y()));
    EXPECT_EQ(platform.shownMenus.size(), 3u);
}

TEST_F(LanguageDialogTest, WithoutLanguageFilesTheLanguageListIsEmpty) {
    start();
    rightClick(surface());
    ASSERT_EQ(platform.shownMenus.size(), 1u);
    EXPECT_EQ(platform.shownMenus[0][0].text, u"Language"_s);
    EXPECT_TRUE(platform.shownMenus[0][0].submenu.empty());
    EXPECT_EQ(platform.shownMenus[0][1].text, u"Font"_s);
    EXPECT_EQ(platform.shownMenus[0][9].text, u"About"_s);
}

TEST_F(LanguageDialogTest, TheColourAndOrientationChoicesAreTickedAndKept) {
    seedStore("[Option]\nnAutoOrient=1\nnMetadata=9\n");
    start();
    platform.menuChoices = {IDM_CONVERT_TO_SRGB, IDM_METADATA_NONE};
    rightClick(surface());
    rightClick(surface());
    rightClick(surface());
    ASSERT_EQ(platform.shownMenus.size(), 3u);
    // An unknown stored choice reads as the default; the new one is ticked.
    EXPECT_TRUE(platform.shownMenus[0][8].submenu[0].checked);
    EXPECT_TRUE(platform.shownMenus[2][8].submenu[2].checked);
    EXPECT_FALSE(platform.shownMenus[2][8].submenu[0].checked);
    EXPECT_EQ(storedInt(u"Option"_s, u"nMetadata"_s), 2);
    EXPECT_FALSE(platform.shownMenus[0][2].checked);
    EXPECT_TRUE(platform.shownMenus[0][3].checked);
    EXPECT_TRUE(platform.shownMenus[1][2].checked);
    EXPECT_TRUE(dialog->ConvertsToSrgb());
    EXPECT_TRUE(dialog->OpensUpright());
    // Stored at once, as a folder chosen with Browse is.
    EXPECT_EQ(storedInt(u"Option"_s, u"nConvertToSrgb"_s), 1);
}

TEST_F(LanguageDialogTest, ChoosingALanguageRelabelsAtOnceAndIsKeptByExit) {
    useShippedLanguages();
    start();
    EXPECT_EQ(text(IDC_BUTTON_EXIT), u"Exit"_s);
    platform.menuChoices = {kGerman};
    rightClick(surface());
    EXPECT_EQ(g_Language.GetCurrentLanguage(), u"German"_s);
    EXPECT_EQ(text(IDC_BUTTON_EXIT), u"Beenden"_s);
    EXPECT_EQ(text(IDC_STATIC_OUTPUT_FILENAME), u"Ausgabedatei:"_s);

    // Message boxes follow the language too.
    platform.openUrlSucceeds = false;
    click(IDC_BUTTON_HOMEPAGE);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].caption, u"Unbekannter Fehler"_s);

    // Every other shipped language relabels with its own script.
    const std::pair<int, QString> others[] = {{45400, u"退出"_s},
                                              {45403, u"終了"_s},
                                              {45404, u"Выход"_s},
                                              {45401, u"Exit"_s},
                                              {kGerman, u"Beenden"_s}};
    for (const auto& [command, exitText] : others) {
        platform.menuChoices = {command};
        rightClick(surface());
        EXPECT_EQ(text(IDC_BUTTON_EXIT), exitText) << command;
    }

    click(IDC_BUTTON_EXIT);
    EXPECT_EQ(settings::Store(iniPath).GetProfileString(u"Option"_s, u"CurrentLanguage"_s, {}),
              u"German"_s);
    start();
    EXPECT_EQ(text(IDC_BUTTON_OPEN_PHOTO), u"Foto öffnen"_s);
}

TEST_F(LanguageDialogTest, ScreenReadersNameEveryFieldGroupAndThePreviewInTheLanguage) {
    useShippedLanguages();
    start();
    const auto name = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    const auto expectAllNamed = [&] {
        QList<QWidget*> named;
        for (QWidget* widget : dialog->findChildren<QWidget*>())
            if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                qobject_cast<ui::GroupFrame*>(widget) || qobject_cast<ui::BlackFrame*>(widget))
                named << widget;
        EXPECT_EQ(named.size(), 12);  // 7 fields, the frame list, 3 groups, the preview
        for (QWidget* widget : named)
            EXPECT_FALSE(name(widget).isEmpty()) << widget->metaObject()->className();
    };
    expectAllNamed();
    EXPECT_EQ(name(item(IDC_EDIT_OUTPUT_FILE)), u"Output file"_s);
    platform.menuChoices = {kGerman};
    rightClick(surface());
    expectAllNamed();
    EXPECT_EQ(name(item(IDC_EDIT_OUTPUT_FILE)), u"Ausgabedatei"_s);
    EXPECT_EQ(name(item(IDC_STATIC_PICTURE)), u"Vorschau"_s);
}

TEST_F(LanguageDialogTest, ASwitchEndedWithEscapeIsForgotten) {
    useShippedLanguages();
    start();
    platform.menuChoices = {kGerman};
    rightClick(surface());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    start();
    EXPECT_EQ(g_Language.GetCurrentLanguage(), u"english"_s);
}

TEST_F(LanguageDialogTest, TheFontCommandChangesTheCurrentLanguagesInterfaceFontOnly) {
    useShippedLanguages();
    seedStore("[Option]\nCurrentLanguage=German\n");
    start();
    QFont chosen(u"DejaVu Serif"_s);
    chosen.setPixelSize(14);
    platform.fontChoices = {FontChoice{chosen, Qt::red}};
    platform.menuChoices = {IDM_POPUPMENU_FONT};
    rightClick(surface());
    ASSERT_EQ(platform.fontDialogStarts.size(), 1u);
    EXPECT_EQ(item(IDC_BUTTON_EXIT)->font().family(), u"DejaVu Serif"_s);
    EXPECT_EQ(item(IDC_BUTTON_EXIT)->font().pixelSize(), 14);

    settings::Store reread(iniPath);
    EXPECT_EQ(reread.GetProfileString(u"German"_s, u"lfFaceName"_s, {}), u"DejaVu Serif"_s);
    EXPECT_EQ(reread.GetProfileInt(u"German"_s, u"lfHeight"_s, 0), -14);
    EXPECT_EQ(reread.GetProfileString(u"English"_s, u"lfFaceName"_s, {}), QString());

    // Cancelling the font dialog changes nothing.
    platform.menuChoices = {IDM_POPUPMENU_FONT};
    rightClick(surface());
    EXPECT_EQ(platform.fontDialogStarts.size(), 2u);
    EXPECT_EQ(platform.fontDialogStarts[1].initial.family(), u"DejaVu Serif"_s);
    EXPECT_FALSE(platform.fontDialogStarts[1].offerColours);
    EXPECT_EQ(item(IDC_BUTTON_EXIT)->font().pixelSize(), 14);

    // Another language has its own font.
    platform.menuChoices = {45404};
    rightClick(surface());
    EXPECT_NE(item(IDC_BUTTON_EXIT)->font().family(), u"DejaVu Serif"_s);
}

TEST_F(LanguageDialogTest, AboutFromTheMenuOpensTheAboutBox) {
    start();
    platform.menuChoices = {IDM_ABOUT};
    rightClick(surface());
    EXPECT_EQ(platform.modalDialogs, std::vector<QString>{u"About Tessiva"_s});
}

TEST_F(LanguageDialogTest, ALanguageCommandOutsideTheRangeDoesNothing) {
    useShippedLanguages();
    start();
    dialog->OnCommand(46400);
    dialog->OnCommand(45399);
    EXPECT_EQ(g_Language.GetCurrentLanguage(), u"english"_s);
    EXPECT_EQ(text(IDC_BUTTON_EXIT), u"Exit"_s);
}

TEST(ApplyToDialog, FillsComboBoxesFromLinesAndSkipsEdits) {
    TempFolder temp;
    temp.write(u"language/German.ini"_s,
               "[DIALOG]\nIDD_PROGRAM_TIF_CAPTION=\nIDC_BUTTON_OPEN_PHOTO=a\\nb\\n\\n\n"
               "IDC_BUTTON_EXIT=Beenden\n");
    i18n::Language language;
    language.Initialize(temp.path(), u"German"_s);

    QDialog dialog;
    dialog.setWindowTitle(u"Template caption"_s);
    const QFont before = dialog.font();
    auto* combo = new QComboBox(&dialog);
    combo->setObjectName(u"1001"_s);
    combo->addItem(u"old"_s);
    auto* edit = new QLineEdit(u"typed"_s, &dialog);
    edit->setObjectName(u"1037"_s);
    auto* nameless = new QPushButton(u"keep"_s, &dialog);
    nameless->setObjectName(u"-1"_s);
    ApplyLanguageToDialog(language, dialog, IDD_PROGRAM_TIF);

    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0), u"a"_s);
    EXPECT_EQ(combo->itemText(1), u"b"_s);
    EXPECT_EQ(combo->itemText(2), QString());
    EXPECT_EQ(combo->itemText(3), QString());
    EXPECT_EQ(edit->text(), u"typed"_s);
    EXPECT_EQ(nameless->text(), u"keep"_s);
    // An empty caption keeps the caption and the dialog's font.
    EXPECT_EQ(dialog.windowTitle(), u"Template caption"_s);
    EXPECT_EQ(dialog.font(), before);
    std::setlocale(LC_ALL, "");
}

}  // namespace
