// Photos handed over from outside the window, and the desktop's shortcuts.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "dialog_fixture.h"
#include "photo_fixtures.h"

using namespace res;

namespace {

class DesktopTest : public MainDialogTest {
protected:
    /// Drags @p data over the window at @p widget's centre and drops it, the
    /// way the desktop delivers it: to the window, which finds the widget.
    bool dropOn(QWidget* widget, const QMimeData& data) {
        const QPoint at = widget->mapTo(dialog.get(), widget->rect().center());
        QWindow* window = dialog->windowHandle();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        if (!move.isAccepted()) return false;
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        return drop.isAccepted();
    }
    static std::unique_ptr<QMimeData> FileDrag(const QString& path) {
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(path)});
        data->setText(QUrl::fromLocalFile(path).toString());  // as file managers add it
        return data;
    }
    QString photoInfo() const { return label(IDC_STATIC_PHOTO_INFO)->text(); }
};

TEST_F(DesktopTest, APhotoNamedAtStartOpensAsOpenPhotoOpensIt) {
    const QString photo = fixtures::SolidPhoto(temp, u"in/beach.png"_s, 48, 32, Qt::red);
    start(photo);
    QTRY_COMPARE(photoInfo(), u"beach.png 48 * 32"_s);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), u"48"_s);
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(), *platform.picturesFolder + u"/beach_out.tif"_s);

    const QString notes = temp.write(u"notes.txt"_s, "not a photo");
    start(notes);
    QTRY_COMPARE(platform.messages.size(), size_t{1});
    EXPECT_EQ(platform.texts()[0], u"Can not get the width of the photo!"_s);
    EXPECT_EQ(platform.messages[0].caption, notes);
    EXPECT_TRUE(platform.messages[0].owned);  // on the window, which shows by then
}

TEST_F(DesktopTest, AFileDroppedAnywhereOpensAndTextDropsStayText) {
    start();
    const QString red = fixtures::SolidPhoto(temp, u"red.png"_s, 40, 30, Qt::red);
    const QString blue = fixtures::SolidPhoto(temp, u"blue.png"_s, 20, 10, Qt::blue);

    EXPECT_TRUE(dropOn(item(IDC_STATIC_PICTURE), *FileDrag(red)));  // the preview
    EXPECT_EQ(photoInfo(), u"red.png 40 * 30"_s);

    QLineEdit* caption = edit(IDC_EDIT_TEXT);
    caption->setText(u"Summer"_s);
    EXPECT_TRUE(dropOn(caption, *FileDrag(blue)));  // opened, not pasted as a URL
    EXPECT_EQ(photoInfo(), u"blue.png 20 * 10"_s);
    EXPECT_EQ(caption->text(), u"Summer"_s);

    EXPECT_TRUE(dropOn(button(IDC_BUTTON_CONVERT), *FileDrag(red)));
    EXPECT_EQ(photoInfo(), u"red.png 40 * 30"_s);

    QMimeData words;
    words.setText(u" 2026"_s);
    caption->setText(u"Summer"_s);
    caption->setCursorPosition(6);
    dropOn(caption, words);
    EXPECT_TRUE(caption->text().contains(u"2026"_s)) << caption->text().toStdString();
    EXPECT_EQ(photoInfo(), u"red.png 40 * 30"_s);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(DesktopTest, ShortcutsOpenHelpAndQuitBesideTheDesignedKeys) {
    start();
    QTest::keyClick(dialog.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(platform.openRequests.size(), 1u);
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(platform.helpPages.size(), 1u);
    QTest::keyClick(dialog.get(), Qt::Key_Return, Qt::ControlModifier);  // Convert, not close
    EXPECT_EQ(platform.texts(), std::vector<QString>{u"Please open a photo file first!"_s});
    EXPECT_TRUE(dialog->isVisible());

    click(IDC_RADIO_ROTATE_90);
    QTest::keyClick(dialog.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(storedInt(u"Option"_s, u"nRotateAngel"_s), 90);
}

}  // namespace
