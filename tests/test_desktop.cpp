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
    const QString photo =
        fixtures::SolidPhoto(temp, QStringLiteral("in/beach.png"), 48, 32, Qt::red);
    start(photo);
    QTRY_COMPARE(photoInfo(), QStringLiteral("beach.png 48 * 32"));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_WIDTH)->text(), QStringLiteral("48"));
    EXPECT_EQ(edit(IDC_EDIT_OUTPUT_FILE)->text(),
              *platform.picturesFolder + QStringLiteral("/beach_out.tif"));

    const QString notes = temp.write(QStringLiteral("notes.txt"), "not a photo");
    start(notes);
    QTRY_COMPARE(platform.messages.size(), size_t{1});
    EXPECT_EQ(platform.texts()[0], QStringLiteral("Can not get the width of the photo!"));
    EXPECT_EQ(platform.messages[0].caption, notes);
    EXPECT_TRUE(platform.messages[0].owned);  // on the window, which shows by then
}

TEST_F(DesktopTest, AFileDroppedAnywhereOpensAndTextDropsStayText) {
    start();
    const QString red = fixtures::SolidPhoto(temp, QStringLiteral("red.png"), 40, 30, Qt::red);
    const QString blue = fixtures::SolidPhoto(temp, QStringLiteral("blue.png"), 20, 10, Qt::blue);

    EXPECT_TRUE(dropOn(item(IDC_STATIC_PICTURE), *FileDrag(red)));  // the preview
    EXPECT_EQ(photoInfo(), QStringLiteral("red.png 40 * 30"));

    QLineEdit* caption = edit(IDC_EDIT_TEXT);
    caption->setText(QStringLiteral("Summer"));
    EXPECT_TRUE(dropOn(caption, *FileDrag(blue)));  // opened, not pasted as a URL
    EXPECT_EQ(photoInfo(), QStringLiteral("blue.png 20 * 10"));
    EXPECT_EQ(caption->text(), QStringLiteral("Summer"));

    EXPECT_TRUE(dropOn(button(IDC_BUTTON_CONVERT), *FileDrag(red)));
    EXPECT_EQ(photoInfo(), QStringLiteral("red.png 40 * 30"));

    QMimeData words;
    words.setText(QStringLiteral(" 2026"));
    caption->setText(QStringLiteral("Summer"));
    caption->setCursorPosition(6);
    dropOn(caption, words);
    EXPECT_TRUE(caption->text().contains(QStringLiteral("2026"))) << caption->text().toStdString();
    EXPECT_EQ(photoInfo(), QStringLiteral("red.png 40 * 30"));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(DesktopTest, ShortcutsOpenHelpAndQuitBesideTheDesignedKeys) {
    start();
    QTest::keyClick(dialog.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(platform.openRequests.size(), 1u);
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(platform.helpPages.size(), 1u);
    QTest::keyClick(dialog.get(), Qt::Key_Return, Qt::ControlModifier);  // Convert, not close
    EXPECT_EQ(platform.texts(),
              std::vector<QString>{QStringLiteral("Please open a photo file first!")});
    EXPECT_TRUE(dialog->isVisible());

    QTest::mouseClick(button(IDC_RADIO_ROTATE_90), Qt::LeftButton);
    QTest::keyClick(dialog.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(storedInt(QStringLiteral("Option"), QStringLiteral("nRotateAngel")), 90);
}

}  // namespace
