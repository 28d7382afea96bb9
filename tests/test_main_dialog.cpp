#include <QComboBox>
#include <QSet>
#include <QSignalSpy>

#include "dialog_fixture.h"
#include "host/base_folder.h"
#include "settings/stored_font.h"
#include "ui/black_frame.h"

using namespace res;

namespace {

const QString kOption = u"Option"_s;
const QString kFont = u"CurrentFont"_s;

TEST_F(MainDialogTest, FirstRunShowsTheDefaults) {
    start();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(button(IDC_RADIO_ROTATE_0)->isChecked());
    for (int id : {IDC_RADIO_ROTATE_90, IDC_RADIO_ROTATE_180, IDC_RADIO_ROTATE_270,
                   IDC_RADIO_FLIP_HORIZONTAL, IDC_RADIO_FLIP_VERTICAL})
        EXPECT_FALSE(button(id)->isChecked()) << id;
    EXPECT_TRUE(button(IDC_RADIO_FLIP_NO)->isChecked());

    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), *platform.picturesFolder + u'/');
    EXPECT_EQ(dialog->OutputFile(), *platform.picturesFolder + u'/');
    for (int id : {IDC_EDIT_OUTPUT_FILE, IDC_EDIT_OUTPUT_WIDTH, IDC_EDIT_OUTPUT_HEIGHT})
        EXPECT_FALSE(item(id)->isEnabled()) << id;
    EXPECT_TRUE(edit(IDC_EDIT_OUTPUT_WIDTH)->text().isEmpty());
    EXPECT_TRUE(edit(IDC_EDIT_OUTPUT_HEIGHT)->text().isEmpty());
    for (int id : {IDC_COMBO_FRAME_DIMENSION, IDC_STATIC_FRAME_RANGE, IDC_EDIT_FRAME_NUMBER})
        EXPECT_TRUE(item(id)->isHidden()) << id;
    EXPECT_EQ(edit(IDC_EDIT_TEXT_X)->text(), u"0"_s);
    EXPECT_EQ(edit(IDC_EDIT_TEXT_Y)->text(), u"0"_s);
    EXPECT_TRUE(edit(IDC_EDIT_TEXT)->text().isEmpty());
    EXPECT_TRUE(edit(IDC_EDIT_TEXT)->isEnabled());

    const QString dialogFace = QFontInfo(dialog->font()).family();
    EXPECT_EQ(label(IDC_STATIC_FONT_FACE)->text(), dialogFace);
    EXPECT_EQ(dialog->TextFont().family(), dialogFace);
    EXPECT_GT(dialog->TextFont().pixelSize(), 0);
    EXPECT_EQ(dialog->TextColor(), QColor(Qt::black));
    EXPECT_EQ(dialog->windowTitle(), u"Tessiva"_s);
    EXPECT_EQ(QApplication::focusWidget(), item(IDC_BUTTON_OPEN_PHOTO));
}

TEST_F(MainDialogTest, ExitWritesEverySettingInItsOrder) {
    start();
    QStringList writes;
    store->setWriteObserver(
        [&](const QString& section, const QString& key) { writes << section + u'/' + key; });
    click(IDC_BUTTON_EXIT);

    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    const QStringList expected{
        "Option/nRotateAngel",          "Option/nFlipType",           "Option/CurrentLanguage",
        "Option/last_output_folder",    "CurrentFont/lfHeight",       "CurrentFont/lfWidth",
        "CurrentFont/lfEscapement",     "CurrentFont/lfOrientation",  "CurrentFont/lfWeight",
        "CurrentFont/lfItalic",         "CurrentFont/lfUnderline",    "CurrentFont/lfStrikeOut",
        "CurrentFont/lfCharSet",        "CurrentFont/lfOutPrecision", "CurrentFont/lfClipPrecision",
        "CurrentFont/lfPitchAndFamily", "CurrentFont/lfFaceName",     "CurrentFont/nCurrentColor"};
    EXPECT_EQ(writes, expected);

    settings::Store reread(iniPath);
    EXPECT_EQ(reread.GetProfileString(kOption, u"CurrentLanguage"_s, {}), u"english"_s);
    EXPECT_EQ(reread.GetProfileString(kOption, u"last_output_folder"_s, {}),
              *platform.picturesFolder + u'/');
    EXPECT_EQ(reread.GetProfileString(kFont, u"lfFaceName"_s, {}), dialog->TextFont().family());
}

TEST_F(MainDialogTest, ChoicesMadeBeforeExitComeBackAtTheNextStart) {
    start();
    click(IDC_RADIO_ROTATE_270);
    click(IDC_RADIO_FLIP_VERTICAL);
    EXPECT_EQ(dialog->RotateAngle(), 270);
    EXPECT_EQ(dialog->FlipType(), 2);
    click(IDC_BUTTON_EXIT);
    const QFont firstFont = dialog->TextFont();

    start();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(button(IDC_RADIO_ROTATE_270)->isChecked());
    EXPECT_FALSE(button(IDC_RADIO_ROTATE_0)->isChecked());
    EXPECT_TRUE(button(IDC_RADIO_FLIP_VERTICAL)->isChecked());
    EXPECT_EQ(dialog->RotateAngle(), 270);
    EXPECT_EQ(dialog->FlipType(), 2);
    // Remembered, the turn is marked on the picture frame from the start.
    EXPECT_EQ(static_cast<BlackFrame*>(item(IDC_STATIC_PICTURE))->badge(), u"270\u00B0 \u21C5"_s);
    EXPECT_EQ(dialog->TextFont().family(), firstFont.family());
    EXPECT_EQ(dialog->TextFont().pixelSize(), firstFont.pixelSize());
}

TEST_F(MainDialogTest, AnUnknownStoredAngleIsReportedKeptAndWrittenBack) {
    seedStore("[Option]\nnRotateAngel=45\nnFlipType=1\n");
    start();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, u"Unknown rotate angle!"_s);
    EXPECT_EQ(platform.messages[0].caption, u"Error"_s);
    EXPECT_EQ(platform.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(platform.messages[0].icon, MsgIcon::None);
    EXPECT_TRUE(platform.messages[0].owned);
    for (int id :
         {IDC_RADIO_ROTATE_0, IDC_RADIO_ROTATE_90, IDC_RADIO_ROTATE_180, IDC_RADIO_ROTATE_270})
        EXPECT_FALSE(button(id)->isChecked()) << id;
    EXPECT_TRUE(button(IDC_RADIO_FLIP_HORIZONTAL)->isChecked());
    EXPECT_EQ(dialog->RotateAngle(), 45);

    click(IDC_BUTTON_EXIT);
    EXPECT_EQ(storedInt(kOption, u"nRotateAngel"_s), 45);
}

TEST_F(MainDialogTest, AnUnknownStoredFlipIsReported) {
    seedStore("[Option]\nnFlipType=3\n");
    start();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Unknown flip type!"_s});
    for (int id : {IDC_RADIO_FLIP_NO, IDC_RADIO_FLIP_HORIZONTAL, IDC_RADIO_FLIP_VERTICAL})
        EXPECT_FALSE(button(id)->isChecked()) << id;
    EXPECT_TRUE(button(IDC_RADIO_ROTATE_0)->isChecked());
    EXPECT_EQ(dialog->FlipType(), 3);
}

TEST_F(MainDialogTest, EscapeEndsWithoutSaving) {
    seedStore("[Option]\nnFlipType=0\n");
    start();
    click(IDC_RADIO_FLIP_HORIZONTAL);
    EXPECT_EQ(dialog->FlipType(), 1);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());

    EXPECT_EQ(storedInt(kOption, u"nFlipType"_s), 0);
    start();
    EXPECT_TRUE(button(IDC_RADIO_FLIP_NO)->isChecked());
}

TEST_F(MainDialogTest, ACloseRequestSavesAndEnds) {
    start();
    click(IDC_RADIO_ROTATE_90);
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(storedInt(kOption, u"nRotateAngel"_s), 90);
}

TEST_F(MainDialogTest, EnterOutsideAPushButtonIsOkWithoutSaving) {
    start();
    click(IDC_RADIO_ROTATE_180);
    edit(IDC_EDIT_TEXT)->setFocus();
    QTest::keyClicks(edit(IDC_EDIT_TEXT), u"hello"_s);
    QTest::keyClick(edit(IDC_EDIT_TEXT), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(storedInt(kOption, u"nRotateAngel"_s), -999);
}

TEST_F(MainDialogTest, EnterOnAFocusedButtonClicksIt) {
    start();
    item(IDC_BUTTON_EXIT)->setFocus();
    QTest::keyClick(item(IDC_BUTTON_EXIT), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(storedInt(kOption, u"nRotateAngel"_s), 0);
}

TEST_F(MainDialogTest, EveryButtonAndLabelledFieldHasALetterOfItsOwnForAlt) {
    start();
    QSet<QChar> letters;
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(control);
        if (!qobject_cast<QAbstractButton*>(control) && !(label && label->buddy())) continue;
        const QString text = ControlText(control);
        const qsizetype at = text.indexOf(u'&');
        ASSERT_GE(at, 0) << text.toStdString();
        EXPECT_FALSE(letters.contains(text[at + 1].toLower())) << text.toStdString();
        letters.insert(text[at + 1].toLower());
    }
    EXPECT_GE(letters.size(), 20);
    EXPECT_EQ(button(IDC_BUTTON_CONVERT)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
}

TEST_F(MainDialogTest, TabWalksTheEnabledStopsInTemplateOrderAndWrapsAround) {
    start();
    // Before a photo is open the size and frame fields are disabled; of each
    // radio group only the checked button is a stop.
    const std::vector<int> expected{IDC_BUTTON_OPEN_PHOTO, IDC_BUTTON_EXIT,
                                    IDC_BUTTON_CONVERT,    IDC_BUTTON_OUTPUT_FILE_BROWSE,
                                    IDC_BUTTON_BASE_WIDTH, IDC_BUTTON_BASE_HEIGHT,
                                    IDC_RADIO_ROTATE_0,    IDC_RADIO_FLIP_NO,
                                    IDC_BUTTON_HOMEPAGE,   IDC_BUTTON_HELP,
                                    IDC_BUTTON_FONT,       IDC_EDIT_TEXT_X,
                                    IDC_EDIT_TEXT_Y,       IDC_EDIT_TEXT,
                                    IDC_BUTTON_OPEN_PHOTO};
    std::vector<int> stops;
    for (size_t i = 0; i < expected.size(); ++i) {
        stops.push_back(ControlId(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(stops, expected);
}

TEST_F(MainDialogTest, WithoutAPicturesFolderTheStoredFolderStillWins) {
    platform.picturesFolder.reset();
    seedStore("[Option]\nlast_output_folder=/data/out/\n");
    start();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Can not get My Picture directory!"_s});
    EXPECT_EQ(platform.messages[0].caption, u"Error"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), u"/data/out/"_s);
}

TEST_F(MainDialogTest, WithoutAPicturesFolderOrStoredFolderTheFallbackIsUsed) {
    platform.picturesFolder.reset();
    start();
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), platform.fallbackFolder);
}

TEST_F(MainDialogTest, AnOutputPathOverTheLimitIsReportedAtClosingAndSavingGoesOn) {
    start();
    QLineEdit* output = edit(IDC_EDIT_OUTPUT_FILE);
    output->setText(QString(300, u'a'));  // the program may put in more than a user can type
    EXPECT_EQ(output->text().size(), 300);
    click(IDC_RADIO_ROTATE_90);
    click(IDC_BUTTON_EXIT);

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, u"Enter no more than 256 characters."_s);
    EXPECT_EQ(platform.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(dialog->OutputFile().size(), 300);  // taken before the check failed
    EXPECT_EQ(storedInt(kOption, u"nRotateAngel"_s), 90);
}

TEST_F(MainDialogTest, TypingStopsAtTheOutputPathLimit) {
    start();
    QLineEdit* output = edit(IDC_EDIT_OUTPUT_FILE);
    output->setEnabled(true);
    output->setText(QString(255, u'a'));
    output->setFocus();
    output->end(false);
    QTest::keyClicks(output, u"bcd"_s);
    EXPECT_EQ(output->text(), QString(255, u'a') + u'b');

    output->setText(QString(300, u'a'));
    output->end(false);
    QTest::keyClick(output, Qt::Key_Backspace);
    EXPECT_EQ(output->text().size(), 299);  // shortening an over-long text still works
    QTest::keyClicks(output, u"x"_s);
    EXPECT_EQ(output->text().size(), 299);
}

TEST_F(MainDialogTest, EnterWithAnOverLongOutputPathStaysOpen) {
    start();
    edit(IDC_EDIT_OUTPUT_FILE)->setEnabled(true);  // as once a photo is open
    edit(IDC_EDIT_OUTPUT_FILE)->setText(QString(257, u'a'));
    edit(IDC_EDIT_TEXT)->setFocus();
    QTest::keyClick(edit(IDC_EDIT_TEXT), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), item(IDC_EDIT_OUTPUT_FILE));
}

TEST_F(MainDialogTest, AStoredOverlayFaceKeepsItsOwnFieldsAndColour) {
    seedStore("[CurrentFont]\nlfFaceName=DejaVu Serif\nlfHeight=-20\nnCurrentColor=255\n");
    start();
    EXPECT_EQ(label(IDC_STATIC_FONT_FACE)->text(), u"DejaVu Serif"_s);
    EXPECT_EQ(dialog->TextFont().pixelSize(), 20);
    EXPECT_EQ(dialog->TextFont().weight(), QFont::Normal);
    EXPECT_EQ(dialog->TextColor(), QColor(Qt::red));
}

TEST_F(MainDialogTest, WithoutAStoredFaceTheDialogFontReplacesTheOtherFields) {
    seedStore("[CurrentFont]\nlfHeight=-40\nlfItalic=1\nnCurrentColor=65280\n");
    start();
    EXPECT_EQ(dialog->TextFont(), settings::ResolvedFont(dialog->font()));
    EXPECT_FALSE(dialog->TextFont().italic());
    EXPECT_EQ(dialog->TextColor(), QColor(Qt::green));
}

TEST_F(MainDialogTest, HelpShowsTheIntroductionBesideTheLanguageFolder) {
    start();
    click(IDC_BUTTON_HELP);
    ASSERT_EQ(platform.helpPages.size(), 1u);
    EXPECT_EQ(platform.helpPages[0], GetBaseFolder() + u"/help/Introduction.htm"_s);
    EXPECT_TRUE(QFileInfo::exists(platform.helpPages[0]));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(MainDialogTest, HomepageOpensTheSiteAndExplainsWhenItCannot) {
    start();
    click(IDC_BUTTON_HOMEPAGE);
    ASSERT_EQ(platform.openedUrls.size(), 1u);
    EXPECT_TRUE(platform.openedUrls[0].startsWith(u"https://"_s));
    EXPECT_TRUE(platform.messages.empty());

    platform.openUrlSucceeds = false;
    click(IDC_BUTTON_HOMEPAGE);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].caption, u"Unknown error"_s);
    EXPECT_TRUE(platform.messages[0].text.contains(platform.openedUrls[0]));
    EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
