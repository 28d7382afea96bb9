#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QProgressDialog>
#include <QTimer>
#include <vips/vips8>

#include "dialog_fixture.h"
#include "host/base_folder.h"
#include "imaging/photo.h"
#include "photo_fixtures.h"
#include "ui/font_color_dialog.h"
#include "ui/result_view.h"

using namespace res;

namespace {

class ConvertDialogTest : public MainDialogTest {
protected:
    QString photo;
    QString output;

    /// Starts the dialog with a 400 x 300 photo (left half red, right half
    /// blue) open, and the output path @p outputName in the temporary folder.
    void startWithPhoto(const QString& outputName = u"out.tif"_s) {
        start();
        vips::VImage left =
            (vips::VImage::black(200, 300, vips::VImage::option()->set("bands", 3)) +
             std::vector<double>{255, 0, 0})
                .cast(VIPS_FORMAT_UCHAR);
        vips::VImage right =
            (vips::VImage::black(200, 300, vips::VImage::option()->set("bands", 3)) +
             std::vector<double>{0, 0, 255})
                .cast(VIPS_FORMAT_UCHAR);
        photo = temp.file(u"photo.png"_s);
        left.join(right, VIPS_DIRECTION_HORIZONTAL)
            .write_to_file(QFile::encodeName(photo).constData());
        openPhoto(photo);
        output = temp.file(outputName);
        edit(IDC_EDIT_OUTPUT_FILE)->setText(output);
    }
    void convert() { click(IDC_BUTTON_CONVERT); }
    vips::VImage result() const {
        return vips::VImage::new_from_file(QFile::encodeName(output).constData());
    }
    static QColor At(const vips::VImage& image, int x, int y) {
        const auto p = image.getpoint(x, y);
        return QColor(int(p[0]), int(p[1]), int(p[2]));
    }
};

TEST_F(ConvertDialogTest, ConvertBeforeAnyPhotoSaysSoAndWritesNothing) {
    start();
    convert();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Please open a photo file first!"_s});
    EXPECT_EQ(platform.messages[0].caption, u"Error"_s);
}

TEST_F(ConvertDialogTest, TheSizeRotationFlipAndTextOfTheDialogReachTheTiff) {
    startWithPhoto();
    convertInWindow({}, output,
                    {u"800"_s,
                     {IDC_RADIO_ROTATE_90, IDC_RADIO_FLIP_HORIZONTAL},
                     Font(24, Qt::green, u"DejaVu Sans"_s, true),
                     QString(3, QChar(0x2588)),  // solid blocks
                     {10, 10}});
    ASSERT_TRUE(platform.fontDialogStarts.back().offerColours);
    EXPECT_EQ(label(IDC_STATIC_FONT_FACE)->text(), u"DejaVu Sans"_s);
    EXPECT_EQ(dialog->TextColor(), 0x00FF00u);
    EXPECT_TRUE(platform.messages.empty());
    const vips::VImage image = result();
    ASSERT_EQ(image.width(), 600);
    ASSERT_EQ(image.height(), 800);
    // Turned clockwise then mirrored: the source's left (red) half is on top.
    EXPECT_EQ(At(image, 300, 200), QColor(Qt::red));
    EXPECT_EQ(At(image, 300, 600), QColor(Qt::blue));
    // The text at the source's (10..~80, 10..~34) lands at the top-left, turned.
    EXPECT_EQ(At(image, 20, 25), QColor(Qt::green));
    EXPECT_NEAR(image.xres() * 25.4, dialog->GetPhoto()->HorizontalResolution(), 0.01);
}

TEST_F(ConvertDialogTest, TheResultAtFullSizeIsWhatConvertWrites) {
    startWithPhoto();
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"1600"_s);
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(u"1200"_s);
    click(IDC_RADIO_ROTATE_90);
    edit(IDC_EDIT_TEXT)->setText(u"Tessiva"_s);
    edit(IDC_EDIT_TEXT_X)->setText(u"700"_s);
    edit(IDC_EDIT_TEXT_Y)->setText(u"500"_s);
    // Shown at 1:1 once the window is up, compared with the TIFF, then closed.
    QRect area;
    QImage shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ResultView* view = dialog->ShownResultView();
        if (!view) return;
        watch.stop();
        QObject::connect(&view->Canvas(), &ResultCanvas::AreaShown, view, [&, view] {
            area = view->Canvas().ShownArea();
            shown = view->Canvas().ShownPixels();
            view->accept();
        });
        view->Canvas().SetActualSize(true);
    });
    watch.start(10);
    dialog->OnCommand(IDM_SHOW_FULL_SIZE);
    convert();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), area.size());
    EXPECT_TRUE(area.contains(QRect(400, 600, 200, 200)));  // about the middle of 1200 x 1600
    const vips::VImage written = result();
    ASSERT_EQ(QSize(written.width(), written.height()), QSize(1200, 1600));
    const vips::VImage pixels = fixtures::FromImage(shown);
    EXPECT_EQ((pixels - written.crop(area.x(), area.y(), area.width(), area.height())).abs().max(),
              0.0);
}

TEST_F(ConvertDialogTest, AnExistingFileIsAskedAboutAndNoKeepsIt) {
    startWithPhoto();
    temp.write(u"out.tif"_s, "precious");
    convert();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, output + u" exists. Do you want to replace it?"_s);
    EXPECT_EQ(platform.messages[0].caption, u"Warning"_s);
    EXPECT_EQ(platform.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(platform.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(fixtures::Bytes(output), QByteArray("precious"));

    platform.answers = {MsgResult::Yes};
    convert();
    EXPECT_EQ(result().width(), 400);
}

TEST_F(ConvertDialogTest, YesFollowedByAFailureKeepsTheOldFile) {
    startWithPhoto();
    temp.write(u"out.tif"_s, "precious");
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"abc"_s);
    platform.answers = {MsgResult::Yes};
    convert();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, u"The output width is invalid!"_s);
    EXPECT_EQ(fixtures::Bytes(output), QByteArray("precious"));
}

TEST_F(ConvertDialogTest, SizeFailures) {
    startWithPhoto();
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"5"_s);
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(QString());
    convert();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"The output hight is invalid!"_s});
    EXPECT_FALSE(QFile::exists(output));

    // A bitmap too large to make is said once, with the size refused.
    platform.messages.clear();
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"40000"_s);
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(u"40000"_s);
    convert();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Failed to convert photo!"_s});
    EXPECT_TRUE(platform.reasons()[0].startsWith(u"40000 x 40000 pixels"_s));
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(ConvertDialogTest, SavingIntoAMissingFolderNamesThePath) {
    startWithPhoto(u"missing/out.tif"_s);
    convert();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.texts()[0], u"Failed to save the file!"_s);
    EXPECT_EQ(platform.reasons()[0], u"No such file or directory"_s);
    EXPECT_EQ(platform.messages[0].caption, output);
}

TEST_F(ConvertDialogTest, AnUndecodablePhotoFailsToConvert) {
    startWithPhoto();
    // A drawing whose renderer gives up on it (its decoder crashes).
    openPhoto(temp.write(u"crash.svg"_s,
                         R"(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="60">)"
                         R"(<text x="10" y="50" font-size="1e9">A</text></svg>)"));
    edit(IDC_EDIT_OUTPUT_FILE)->setText(output);
    convert();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Failed to convert photo!"_s});
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(ConvertDialogTest, ThePhotoConvertedIsTheOneOpenedWhateverBecomesOfItsFile) {
    startWithPhoto();
    vips_cache_set_max(0);  // outputs are read back after being replaced
    const auto convertsAsOpened = [&](const char* what) {
        QFile::remove(output);
        convert();
        EXPECT_TRUE(platform.messages.empty()) << what;
        const vips::VImage out = vips::VImage::new_from_file(QFile::encodeName(output).constData());
        EXPECT_GT(out.getpoint(10, 10)[0], 200) << what;   // the red left half
        EXPECT_GT(out.getpoint(390, 10)[2], 200) << what;  // the blue right half
    };
    // Rewritten in place (as cp does), moved away, deleted.
    temp.write(u"photo.png"_s,
               fixtures::Bytes(fixtures::SolidPhoto(temp, u"g.png"_s, 50, 50, Qt::green)));
    convertsAsOpened("rewritten");
    QFile::rename(photo, temp.file(u"moved.png"_s));
    convertsAsOpened("moved");
    QFile::remove(temp.file(u"moved.png"_s));
    convertsAsOpened("deleted");
    // A multi-page TIFF converted onto itself still has its other pages.
    const QString pages = fixtures::PagesOfSizes(
        temp, u"pages.tif"_s, {QSize(40, 30), QSize(20, 60)}, {Qt::red, Qt::blue});
    openPhoto(pages);
    edit(IDC_EDIT_OUTPUT_FILE)->setText(pages);
    platform.answers = {MsgResult::Yes};
    convert();
    edit(IDC_EDIT_FRAME_NUMBER)->setText(u"1"_s);
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"pages.tif 20 * 60"_s);
    edit(IDC_EDIT_OUTPUT_FILE)->setText(output);
    QFile::remove(output);
    convert();
    EXPECT_EQ(platform.texts(),
              std::vector<QString>{u"%1 exists. Do you want to replace it?"_s.arg(pages)});
    EXPECT_TRUE(QFile::exists(output));
}

TEST_F(ConvertDialogTest, AConversionThatTakesAWhileShowsItsProgressAndStops) {
    startWithPhoto();
    temp.write(u"out.tif"_s, "the older output");
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"15000"_s);
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(u"15000"_s);
    // A click meant for the busy window, made once the work runs, is dropped,
    // not kept for later; the work is stopped once the progress shows,
    // however long that takes.
    bool clicked = false;
    bool shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!std::exchange(clicked, true)) click(IDC_BUTTON_CONVERT);
        auto* progress = dialog->findChild<QProgressDialog*>();
        if (!progress || !progress->isVisible()) return;
        shown = true;
        watch.stop();
        progress->cancel();
    });
    watch.start(10);
    platform.answers = {MsgResult::Yes};
    convert();
    EXPECT_TRUE(shown);
    EXPECT_EQ(platform.messages.size(), 1u);  // the question, once
    EXPECT_EQ(fixtures::Bytes(output), QByteArray("the older output"));
    EXPECT_EQ(QDir(temp.path()).entryList({u"*.tif*"_s}, QDir::Files | QDir::Hidden),
              QStringList{u"out.tif"_s});
}

TEST_F(ConvertDialogTest, AnUnknownStoredAngleConvertsUnturned) {
    seedStore("[Option]\nnRotateAngel=45\nnFlipType=1\n");
    startWithPhoto();
    platform.messages.clear();
    convert();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Unknown rotate angle!"_s});
    EXPECT_EQ(At(result(), 10, 10), QColor(Qt::red));  // neither turned nor mirrored
}

TEST_F(ConvertDialogTest, AnUnknownStoredFlipConvertsUnturnedWithoutAWord) {
    seedStore("[Option]\nnRotateAngel=90\nnFlipType=7\n");
    startWithPhoto();
    platform.messages.clear();
    convert();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(result().width(), 400);
    EXPECT_EQ(At(result(), 10, 10), QColor(Qt::red));
}

TEST_F(ConvertDialogTest, ATextPositionOutsideTheOutputIsResetWhenConverting) {
    startWithPhoto();
    edit(IDC_EDIT_TEXT)->setText(u"x"_s);
    edit(IDC_EDIT_TEXT_X)->setText(u"400"_s);
    edit(IDC_EDIT_TEXT_Y)->setText(u"-1"_s);
    convert();
    EXPECT_EQ(platform.texts(),
              (std::vector<QString>{
                  u"The text position X is out of range! The program set it to 0 now."_s,
                  u"The text position Y is out of range! The program set it to 0 now."_s}));
    EXPECT_EQ(edit(IDC_EDIT_TEXT_X)->text(), u"0"_s);
    EXPECT_EQ(edit(IDC_EDIT_TEXT_Y)->text(), u"0"_s);
    EXPECT_TRUE(QFile::exists(output));

    // Without text nothing is checked.
    platform.messages.clear();
    platform.answers = {MsgResult::Yes};
    edit(IDC_EDIT_TEXT)->clear();
    edit(IDC_EDIT_TEXT_X)->setText(u"5000"_s);
    convert();
    EXPECT_EQ(platform.messages.size(), 1u);  // only the question about the existing file
    EXPECT_EQ(edit(IDC_EDIT_TEXT_X)->text(), u"5000"_s);
}

TEST_F(ConvertDialogTest, LeavingAPositionFieldWarnsWithoutChangingIt) {
    start();
    edit(IDC_EDIT_TEXT_X)->setFocus();
    edit(IDC_EDIT_TEXT)->setFocus();
    EXPECT_TRUE(platform.messages.empty());  // no photo yet

    startWithPhoto();
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"800"_s);
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(u"600"_s);
    const std::tuple<int, const char*, const char*> cases[] = {
        {IDC_EDIT_TEXT_X, "800", "The text position X is out of range!"},
        {IDC_EDIT_TEXT_X, "799", nullptr},
        {IDC_EDIT_TEXT_X, "-5", "The text position X is out of range!"},
        {IDC_EDIT_TEXT_Y, "-1", "The text position Y is out of range!"},
        {IDC_EDIT_TEXT_Y, "abc", nullptr},
    };
    for (const auto& [id, value, message] : cases) {
        platform.messages.clear();
        edit(id)->setText(QString::fromLatin1(value));
        edit(id)->setFocus();
        edit(IDC_EDIT_TEXT)->setFocus();
        EXPECT_EQ(platform.texts(), message ? std::vector<QString>{QString::fromLatin1(message)}
                                            : std::vector<QString>{})
            << value;
        EXPECT_EQ(edit(id)->text(), QString::fromLatin1(value));
    }
    platform.messages.clear();
    edit(IDC_EDIT_OUTPUT_HEIGHT)->clear();
    edit(IDC_EDIT_TEXT_X)->setFocus();
    edit(IDC_EDIT_TEXT)->setFocus();
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"The output hight is invalid!"_s});

    // The message box taking the focus from the next field is not leaving it.
    platform.messages.clear();
    QFocusEvent takenByBox(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(edit(IDC_EDIT_TEXT_Y), &takenByBox);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ConvertDialogTest, BrowseForcesTheTifExtensionAndRemembersTheFolder) {
    start();
    const QString start = edit(IDC_EDIT_OUTPUT_FILE)->text();
    const std::pair<const char*, const char*> cases[] = {
        {"/d/pics/out.jpg", "/d/pics/out.tif"},
        {"/d/pics/out", "/d/pics/out.tif"},
        {"/d/pics/photo.tif.bak", "/d/pics/photo.tif.tif"},
        {"/d/my.pics/out", "/d/my.pics/out.tif"},
    };
    for (const auto& [chosen, expected] : cases) {
        platform.saveChoices = {QString::fromLatin1(chosen)};
        click(IDC_BUTTON_OUTPUT_FILE_BROWSE);
        EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), QString::fromLatin1(expected));
        EXPECT_EQ(dialog->OutputFile(), QString::fromLatin1(expected));
        EXPECT_EQ(
            settings::Store(iniPath).GetProfileString(u"Option"_s, u"last_output_folder"_s, {}),
            FolderOf(QString::fromLatin1(expected)));
    }
    ASSERT_EQ(platform.saveRequests.size(), 4u);
    EXPECT_EQ(platform.saveRequests[0].title, u"Select Output"_s);
    EXPECT_EQ(platform.saveRequests[0].initialFolder, start.chopped(1));
    EXPECT_EQ(platform.saveRequests[0].filters[0].description, u"TIF file"_s);
    EXPECT_EQ(platform.saveRequests[1].initialFolder, u"/d/pics"_s);

    click(IDC_BUTTON_OUTPUT_FILE_BROWSE);  // cancelled
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), u"/d/my.pics/out.tif"_s);
}

TEST_F(ConvertDialogTest, TheOverlayFontAndColourPersist) {
    start();
    QFont font(u"DejaVu Serif"_s);
    font.setPixelSize(27);
    font.setBold(true);
    font.setUnderline(true);
    platform.fontChoices = {FontChoice{font, QColor(Qt::red)}};
    click(IDC_BUTTON_FONT);
    click(IDC_BUTTON_FONT);  // cancelled: unchanged
    click(IDC_BUTTON_EXIT);

    start();
    EXPECT_EQ(label(IDC_STATIC_FONT_FACE)->text(), u"DejaVu Serif"_s);
    EXPECT_EQ(dialog->TextFont().pixelSize(), 27);
    EXPECT_EQ(dialog->TextFont().weight(), QFont::Bold);
    EXPECT_TRUE(dialog->TextFont().underline());
    EXPECT_EQ(dialog->TextColor(), QColor(Qt::red));
    EXPECT_EQ(settings::Store(iniPath).GetProfileInt(u"CurrentFont"_s, u"nCurrentColor"_s, 0), 255);
}

TEST(FontColorDialogTest, StartsAtBlackWithTheSixteenStandardColours) {
    FontColorDialog dialog(QFont(u"DejaVu Sans"_s), true);
    EXPECT_EQ(dialog.selectedColour(), QColor(Qt::black));
    EXPECT_EQ(FontColorDialog::StandardColours().size(), 16u);
    EXPECT_EQ(FontColorDialog::StandardColours().front().first, QColor(Qt::black));
    FontColorDialog plain(QFont(), false);
    EXPECT_EQ(plain.selectedColour(), QColor(Qt::black));
}

}  // namespace

namespace {

TEST(FontColorDialogTest, OkWithoutChangesGivesBackTheStartingFont) {
    for (const bool bold : {false, true}) {
        for (const bool italic : {false, true}) {
            QFont initial(u"DejaVu Sans"_s);
            initial.setPixelSize(13);
            initial.setBold(bold);
            initial.setItalic(italic);
            initial.setUnderline(italic);
            const QFont chosen = FontColorDialog(initial, true).selectedFont();
            EXPECT_EQ(chosen.family(), initial.family()) << bold << italic;
            EXPECT_EQ(chosen.bold(), bold) << "bold " << bold << " italic " << italic;
            EXPECT_EQ(chosen.italic(), italic) << "bold " << bold << " italic " << italic;
            EXPECT_EQ(chosen.underline(), italic);
            EXPECT_EQ(QFontInfo(chosen).pixelSize(), 13) << bold << italic;
        }
    }
}

}  // namespace
