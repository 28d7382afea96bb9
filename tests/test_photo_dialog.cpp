#include <QComboBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "dialog_fixture.h"
#include "imaging/photo.h"
#include "photo_fixtures.h"
#include "ui/black_frame.h"

using namespace res;
using imaging::FrameKind;

namespace {

/// A photo with chosen sizes and frames; frame n of any dimension previews in
/// the grey level n * 10, so tests can tell which frame is shown.
class FakePhoto final : public imaging::Photo {
public:
    FakePhoto(int width, int height,
              std::vector<std::pair<FrameKind, uint32_t>> dimensions = {{FrameKind::Page, 1}})
        : m_width(width), m_height(height), m_dimensions(std::move(dimensions)) {}

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    std::vector<FrameKind> FrameDimensions() const override {
        std::vector<FrameKind> ids;
        for (const auto& [id, count] : m_dimensions) ids.push_back(id);
        return ids;
    }
    uint32_t FrameCount(FrameKind dimension) const override {
        for (const auto& [id, count] : m_dimensions)
            if (id == dimension) return count;
        return 0;
    }
    bool SelectActiveFrame(FrameKind dimension, uint32_t index) override {
        if (index >= FrameCount(dimension)) return false;
        active = {dimension, index};
        return true;
    }
    QImage Preview(const QSize& size) override {
        QImage image(size, QImage::Format_RGB888);
        const int grey = static_cast<int>(active.second) * 10;
        image.fill(QColor(grey, grey, grey));
        return image;
    }
    double HorizontalResolution() const override { return 96.0; }

    std::pair<FrameKind, uint32_t> active{FrameKind::Page, 0};

private:
    int m_width, m_height;
    std::vector<std::pair<FrameKind, uint32_t>> m_dimensions;
};

class PhotoDialogTest : public MainDialogTest {
protected:
    FakePhoto* fake = nullptr;  // owned by the dialog once opened

    /// Opens a fake photo at @p path through the Open Photo button.
    void openFake(const QString& path, std::unique_ptr<FakePhoto> photo) {
        fake = photo.get();
        auto holder = std::make_shared<std::unique_ptr<FakePhoto>>(std::move(photo));
        dialog->SetPhotoLoader([holder](const QString&) -> std::unique_ptr<imaging::Photo> {
            return std::move(*holder);
        });
        openPhoto(path);
    }
    QColor previewCentre() const {
        const QImage& image = static_cast<BlackFrame*>(item(IDC_STATIC_PICTURE))->image();
        return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
    }
    /// Opens a photo whose decoding waits until Ctrl+Q has been pressed, on the
    /// window or, once it shows, on the progress box: the window's own events run
    /// meanwhile, the photo open before stays, and then the window leaves.
    void quitWhileDecoding(bool onTheProgressBox) {
        std::atomic<bool> decoding{false};
        std::atomic<bool> release{false};
        dialog->SetPhotoLoader([&](const QString&) -> std::unique_ptr<imaging::Photo> {
            decoding = true;
            while (!release) QThread::msleep(1);
            return std::make_unique<FakePhoto>(99, 99);
        });
        bool answered = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = dialog->findChild<QProgressDialog*>();
            if (!decoding || (onTheProgressBox && !(box && box->isVisible()))) return;
            watch.stop();
            answered = true;
            QTest::keyClick(onTheProgressBox ? static_cast<QWidget*>(box) : dialog.get(), Qt::Key_Q,
                            Qt::ControlModifier);
            release = true;
        });
        watch.start(0);
        openPhoto(u"/x/b.jpg"_s);
        EXPECT_TRUE(answered);
        EXPECT_EQ(dialog->GetPhoto()->Width(), 30);
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog->GetPhoto(), nullptr);
    }
    QComboBox* combo() const { return qobject_cast<QComboBox*>(item(IDC_COMBO_FRAME_DIMENSION)); }
    void typeFrame(const QString& text) {
        QLineEdit* frame = edit(IDC_EDIT_FRAME_NUMBER);
        frame->setFocus();
        frame->selectAll();
        if (text.isEmpty())
            QTest::keyClick(frame, Qt::Key_Delete);
        else
            QTest::keyClicks(frame, text);
    }
};

TEST_F(PhotoDialogTest, TheOpenDialogOffersEveryPhotoFormatAndRemembersItsFolder) {
    start();
    click(IDC_BUTTON_OPEN_PHOTO);  // cancelled
    ASSERT_EQ(platform.openRequests.size(), 1u);
    const auto& request = platform.openRequests[0];
    EXPECT_EQ(request.title, u"Select a Photo file..."_s);
    EXPECT_EQ(request.initialFolder, QString());
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_TRUE(request.filters[0].description.startsWith(QStringLiteral(
        "Photo Files (*.bmp;*.gif;*.png;*.tif;*.jpg;*.jpeg;*.ico;*.exif;*.wmf;*.emf;*.dib")));
    for (const char* pattern : {"*.raw", "*.nef", "*.cr3", "*.dng", "*.tiff", "*.webp", "*.heic",
                                "*.avif", "*.jxl", "*.jp2"})
        EXPECT_TRUE(request.filters[0].patterns.contains(QString::fromLatin1(pattern))) << pattern;
    EXPECT_EQ(request.filters[1].description, u"Any Files (*.*)"_s);
    EXPECT_FALSE(edit(IDC_EDIT_OUTPUT_FILE)->isEnabled());

    const QString photo = fixtures::SolidPhoto(temp, u"in/holiday.2007.jpg"_s, 64, 40, Qt::red);
    openPhoto(photo);
    EXPECT_EQ(settings::Store(iniPath).GetProfileString(u"Option"_s, u"LastPhotoFolder"_s, {}),
              temp.file(u"in/"_s));
    click(IDC_BUTTON_OPEN_PHOTO);
    EXPECT_EQ(platform.openRequests.back().initialFolder, temp.file(u"in/"_s));
}

TEST_F(PhotoDialogTest, OpeningAPhotoFillsTheDialog) {
    start();
    const QString photo = fixtures::SolidPhoto(temp, u"in/holiday.2007.jpg"_s, 64, 40, Qt::red);
    openPhoto(photo);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"holiday.2007.jpg 64 * 40"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"64"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_HEIGHT)->text(), u"40"_s);
    EXPECT_TRUE(edit(IDC_EDIT_OUTPUT_WIDTH)->isEnabled());
    EXPECT_TRUE(edit(IDC_EDIT_OUTPUT_HEIGHT)->isEnabled());
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(),
              *platform.picturesFolder + u"/holiday.2007_out.tif"_s);
    EXPECT_TRUE(edit(IDC_EDIT_OUTPUT_FILE)->isEnabled());
    for (int id : {IDC_COMBO_FRAME_DIMENSION, IDC_STATIC_FRAME_RANGE, IDC_EDIT_FRAME_NUMBER})
        EXPECT_TRUE(item(id)->isHidden()) << id;
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"0"_s);
    EXPECT_EQ(combo()->itemText(0), u"FrameDimensionPage"_s);
    // The whole photo stretched into the frame.
    const QImage& preview = static_cast<BlackFrame*>(item(IDC_STATIC_PICTURE))->image();
    EXPECT_EQ(preview.size(),
              item(IDC_STATIC_PICTURE)->size() * item(IDC_STATIC_PICTURE)->devicePixelRatio());
    EXPECT_GT(previewCentre().red(), 200);

    // Cancelling the next open keeps everything.
    click(IDC_BUTTON_OPEN_PHOTO);
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"holiday.2007.jpg 64 * 40"_s);
    EXPECT_NE(dialog->GetPhoto(), nullptr);
}

TEST_F(PhotoDialogTest, TheResultPreviewFollowsTheFieldsAtOnce) {
    start();
    dialog->OnCommand(IDM_SHOW_RESULT);
    openPhoto(fixtures::SolidPhoto(temp, u"a.png"_s, 400, 200, Qt::green));
    const auto drawnSize = [&] {  // the picture drawn on the dialog's background
        const QImage& image = static_cast<BlackFrame*>(item(IDC_STATIC_PICTURE))->image();
        const QColor background = dialog->palette().color(QPalette::Window);
        QRect drawn;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != background) drawn |= QRect(x, y, 1, 1);
        return drawn.size();
    };
    const QSize wide = drawnSize();
    EXPECT_NEAR(double(wide.width()) / wide.height(), 2.0, 0.05);  // not stretched to the frame
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"100"_s);                // typed, not calculated
    const QSize narrow = drawnSize();
    EXPECT_NEAR(double(narrow.width()) / narrow.height(), 0.5, 0.05);
    click(IDC_RADIO_ROTATE_90);
    const QSize turned = drawnSize();
    EXPECT_NEAR(double(turned.width()) / turned.height(), 2.0, 0.05);
    EXPECT_EQ(storedInt(u"Option"_s, u"nShowResult"_s), 1);
}

TEST_F(PhotoDialogTest, AFileThatIsNoPhotoSaysSoAndKeepsTheOldSize) {
    start();
    openPhoto(fixtures::SolidPhoto(temp, u"a.png"_s, 30, 20, Qt::green));
    const QString text = temp.write(u"notes.txt"_s, "not a photo");
    openPhoto(text);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.texts()[0], u"Can not get the width of the photo!"_s);
    EXPECT_EQ(platform.reasons()[0], u"Not a photo format (text)"_s);
    EXPECT_EQ(platform.messages[0].caption, text);
    // Nothing changed: the photo before stays whole, and converts.
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"30"_s);
    EXPECT_EQ(label(IDC_STATIC_PHOTO_INFO)->text(), u"a.png 30 * 20"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), *platform.picturesFolder + u"/a_out.tif"_s);
    EXPECT_GT(previewCentre().green(), 200);

    for (const QString& bad : {temp.write(u"zero.jpg"_s), temp.mkdir(u"dir.jpg"_s),
                               fixtures::PngClaimingSize(temp, u"bomb.png"_s, 100000, 100000)}) {
        platform.messages.clear();
        openPhoto(bad);
        ASSERT_EQ(platform.messages.size(), 1u) << bad.toStdString();
        EXPECT_EQ(platform.texts()[0], u"Can not get the width of the photo!"_s);
    }
}

TEST_F(PhotoDialogTest, APhotoWithoutHeightSaysSo) {
    start();
    openFake(u"/x/flat.png"_s, std::make_unique<FakePhoto>(10, 0));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, u"Can not get the height of the photo!"_s);
    EXPECT_EQ(platform.messages[0].caption, u"/x/flat.png"_s);
}

TEST_F(PhotoDialogTest, AnAnimatedGifShowsItsFramesAndTheEditPicksThem) {
    start();
    std::vector<QColor> colours;
    for (int i = 0; i < 5; ++i) colours.push_back(QColor(i * 60, 0, 0));
    openPhoto(fixtures::FramedPhoto(temp, u"anim.gif"_s, 20, 10, colours));
    EXPECT_TRUE(item(IDC_COMBO_FRAME_DIMENSION)->isHidden());
    EXPECT_EQ(combo()->itemText(0), u"FrameDimensionTime"_s);
    EXPECT_FALSE(item(IDC_STATIC_FRAME_RANGE)->isHidden());
    EXPECT_FALSE(item(IDC_EDIT_FRAME_NUMBER)->isHidden());
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(), u"Set frame from 0 to 4"_s);

    typeFrame(u"5"_s);  // one past the last
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"4"_s);
    EXPECT_NEAR(previewCentre().red(), 240, 8);
    typeFrame(u"2"_s);
    EXPECT_NEAR(previewCentre().red(), 120, 8);
    typeFrame(u"-"_s);
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"-"_s);
    EXPECT_NEAR(previewCentre().red(), 0, 8);
    typeFrame(u"-2"_s);
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"0"_s);
}

TEST_F(PhotoDialogTest, TextAndEmptyFrameNumbers) {
    start();
    openFake(u"/x/a.gif"_s,
             std::make_unique<FakePhoto>(
                 10, 10, std::vector<std::pair<FrameKind, uint32_t>>{{FrameKind::Time, 5}}));
    typeFrame(u"3"_s);
    EXPECT_EQ(fake->active.second, 3u);
    typeFrame(u"abc"_s);
    EXPECT_EQ(fake->active.second, 0u);
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"abc"_s);
    typeFrame(u"3"_s);
    typeFrame(QString());
    EXPECT_EQ(fake->active.second, 3u);
    edit(IDC_EDIT_TEXT)->setFocus();  // leave the empty edit
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(PhotoDialogTest, ANumberLeftInvalidByAnotherDimensionIsReportedOnLeaving) {
    start();
    openFake(u"/x/multi.tif"_s,
             std::make_unique<FakePhoto>(10, 10,
                                         std::vector<std::pair<FrameKind, uint32_t>>{
                                             {FrameKind::Page, 5}, {FrameKind::Time, 2}}));
    EXPECT_FALSE(item(IDC_COMBO_FRAME_DIMENSION)->isHidden());
    EXPECT_EQ(combo()->itemText(1), u"FrameDimensionTime"_s);
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(),
              u"Set frame from 0 to 1"_s);  // the last one listed
    typeFrame(u"4"_s);
    EXPECT_EQ(fake->active, std::make_pair(FrameKind::Page, 4u));

    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_Down);  // selects the second dimension
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(), u"Set frame from 0 to 1"_s);
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"4"_s);
    EXPECT_TRUE(platform.messages.empty());

    edit(IDC_EDIT_FRAME_NUMBER)->setFocus();
    edit(IDC_EDIT_TEXT)->setFocus();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, u"The frame number is invalid. Please enter again!"_s);
    EXPECT_EQ(platform.messages[0].caption, u"Error"_s);
    EXPECT_EQ(fake->active, std::make_pair(FrameKind::Page, 4u));
}

TEST_F(PhotoDialogTest, ADimensionWithoutFramesDoesNotLoop) {
    start();
    openFake(u"/x/odd.tif"_s,
             std::make_unique<FakePhoto>(10, 10,
                                         std::vector<std::pair<FrameKind, uint32_t>>{
                                             {FrameKind::Page, 3}, {FrameKind::Time, 0}}));
    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_Down);
    EXPECT_EQ(label(IDC_STATIC_FRAME_RANGE)->text(), u"Set frame from 0 to -1"_s);
    typeFrame(u"5"_s);
    EXPECT_EQ(edit(IDC_EDIT_FRAME_NUMBER)->text(), u"5"_s);
    EXPECT_EQ(fake->active, std::make_pair(FrameKind::Page, 0u));
}

TEST_F(PhotoDialogTest, TheCalculatorKeepsThePhotosProportions) {
    start();
    click(IDC_BUTTON_BASE_WIDTH);
    click(IDC_BUTTON_BASE_HEIGHT);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].text, u"Please open a photo file first!"_s);
    EXPECT_EQ(platform.messages[0].caption, u"Error"_s);
    EXPECT_TRUE(edit(IDC_EDIT_OUTPUT_HEIGHT)->text().isEmpty());
    platform.messages.clear();

    openFake(u"/x/wide.jpg"_s, std::make_unique<FakePhoto>(3000, 2000));
    edit(IDC_EDIT_OUTPUT_WIDTH)->setText(u"1000"_s);
    click(IDC_BUTTON_BASE_WIDTH);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_HEIGHT)->text(), u"666"_s);
    EXPECT_EQ(dialog->OutputHeight(), 666);
    edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(u"  500 px"_s);
    click(IDC_BUTTON_BASE_HEIGHT);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"750"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_HEIGHT)->text(), u"  500 px"_s);  // left as typed
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(PhotoDialogTest, KeptProportionsFollowTypingOnlyWhenChosen) {
    start();
    openFake(u"/x/wide.jpg"_s, std::make_unique<FakePhoto>(3000, 2000));
    QLineEdit* width = edit(IDC_EDIT_OUTPUT_WIDTH);
    QLineEdit* height = edit(IDC_EDIT_OUTPUT_HEIGHT);
    const auto typeInto = [](QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
    };
    typeInto(width, u"1200"_s);
    EXPECT_EQ(height->text(), u"2000"_s);  // off by default: the designed calculator only
    dialog->OnCommand(IDM_KEEP_PROPORTIONS);
    typeInto(width, u"1200"_s);
    EXPECT_EQ(height->text(), u"800"_s);
    typeInto(height, u"500"_s);
    EXPECT_EQ(width->text(), u"750"_s);
    height->setText(u"1000"_s);  // the calculator still works beside it
    click(IDC_BUTTON_BASE_HEIGHT);
    EXPECT_EQ(width->text(), u"1500"_s);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(storedInt(u"Option"_s, u"nKeepProportions"_s), 1);
}

TEST_F(PhotoDialogTest, AFailedFirstOpenLeavesNoPhotoToCalculateOrConvert) {
    start();
    openFake(u"/x/broken.jpg"_s, std::make_unique<FakePhoto>(0, 0));
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Can not get the width of the photo!"_s});
    platform.messages.clear();
    click(IDC_BUTTON_BASE_WIDTH);
    click(IDC_BUTTON_CONVERT);
    EXPECT_EQ(platform.texts(), std::vector<QString>(2, u"Please open a photo file first!"_s));
    EXPECT_FALSE(edit(IDC_EDIT_OUTPUT_WIDTH)->isEnabled());
    EXPECT_EQ(dialog->GetPhoto(), nullptr);
}

TEST_F(PhotoDialogTest, OutputSizeValidity) {
    start();
    openFake(u"/x/a.jpg"_s, std::make_unique<FakePhoto>(800, 600));
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"0", "600", "The output width is invalid!"},
        {"-5", "600", "The output width is invalid!"},
        {"5", "", "The output hight is invalid!"},
        {"12abc", "7", nullptr},
    };
    for (const auto& [width, height, message] : cases) {
        platform.messages.clear();
        edit(IDC_EDIT_OUTPUT_WIDTH)->setText(QString::fromLatin1(width));
        edit(IDC_EDIT_OUTPUT_HEIGHT)->setText(QString::fromLatin1(height));
        EXPECT_EQ(dialog->CheckOutputSize(), message == nullptr) << width;
        EXPECT_EQ(platform.texts(), message ? std::vector<QString>{QString::fromLatin1(message)}
                                            : std::vector<QString>{});
    }
    EXPECT_EQ(dialog->OutputWidth(), 12);
}

TEST_F(PhotoDialogTest, ATextPositionOutsideANewPhotoIsReset) {
    start();
    edit(IDC_EDIT_TEXT_X)->setText(u"700"_s);
    edit(IDC_EDIT_TEXT_Y)->setText(u"500"_s);
    openFake(u"/x/a.jpg"_s, std::make_unique<FakePhoto>(640, 480));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(
        platform.messages[0].text,
        QStringLiteral(
            "The text position X is bigger than the photo width!, The program set it to 0 now."));
    EXPECT_EQ(platform.messages[0].caption, u"Warning"_s);
    EXPECT_TRUE(platform.messages[1].text.startsWith(u"The text position Y is bigger"_s));
    EXPECT_EQ(edit(IDC_EDIT_TEXT_X)->text(), u"0"_s);
    EXPECT_EQ(edit(IDC_EDIT_TEXT_Y)->text(), u"0"_s);

    platform.messages.clear();
    edit(IDC_EDIT_TEXT_X)->setText(u"-3"_s);
    edit(IDC_EDIT_TEXT_Y)->setText(u"479"_s);
    openFake(u"/x/b.jpg"_s, std::make_unique<FakePhoto>(640, 480));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(edit(IDC_EDIT_TEXT_X)->text(), u"-3"_s);
}

TEST_F(PhotoDialogTest, APhotoDecodesBesideTheWindowAndCtrlQStopsItAndLeaves) {
    for (const bool onTheProgressBox : {false, true}) {
        start();
        openFake(u"/x/a.jpg"_s, std::make_unique<FakePhoto>(30, 20));
        quitWhileDecoding(onTheProgressBox);
    }
}

TEST_F(PhotoDialogTest, ClosingReleasesThePhoto) {
    start();
    openFake(u"/x/a.jpg"_s, std::make_unique<FakePhoto>(8, 8));
    ASSERT_NE(dialog->GetPhoto(), nullptr);
    click(IDC_BUTTON_EXIT);
    EXPECT_EQ(dialog->GetPhoto(), nullptr);
}

}  // namespace
