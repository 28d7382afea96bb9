#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "dialog_fixture.h"
#include "resources/dialog_templates.h"
#include "ui/dialog_builder.h"
#include "ui/group_frame.h"

using namespace res;

namespace {

TEST(DialogUnits, MapLikeThePlatformForItsClassicDialogFont) {
    // An 8-point dialog font with base units 6 x 13 maps the main dialog's
    // 378 x 273 units to 567 x 444 pixels.
    const DialogBaseUnits units{6, 13};
    EXPECT_EQ(MapDialogRect(units, 0, 0, 378, 273), QRect(0, 0, 567, 444));
    EXPECT_EQ(MapDialogRect(units, 7, 7, 66, 14), QRect(11, 11, 99, 23));
    EXPECT_EQ(MapDialogRect(units, 305, 247, 66, 16), QRect(458, 401, 99, 26));
}

TEST(DialogUnits, FollowTheFontsSize) {
    QFont small = QApplication::font();
    small.setPixelSize(10);
    QFont large = small;
    large.setPixelSize(20);
    const DialogBaseUnits a = BaseUnitsOf(small);
    const DialogBaseUnits b = BaseUnitsOf(large);
    EXPECT_GT(a.cx, 0);
    EXPECT_GT(b.cx, a.cx);
    EXPECT_GT(b.cy, a.cy);
}

/// Width a control needs to show its text on one line.
int NeededWidth(QWidget* widget) {
    const QFontMetrics metrics(widget->font());
    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        const int indicator =
            radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option);
        const int spacing =
            radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option);
        return indicator + spacing + metrics.horizontalAdvance(WithoutMnemonic(radio->text()));
    }
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return metrics.horizontalAdvance(WithoutMnemonic(button->text())) + 8;
    if (auto* group = qobject_cast<GroupFrame*>(widget))
        return metrics.horizontalAdvance(group->title()) + 16;
    return 0;
}

TEST_F(MainDialogTest, EveryTemplateControlExistsWithItsIdInsideTheDialog) {
    start();
    const QRect client = dialog->rect();
    for (const auto& control : MainDialogTemplate().controls) {
        QWidget* widget = item(control.id);
        ASSERT_NE(widget, nullptr) << control.id;
        EXPECT_EQ(widget->objectName(), QString::number(control.id));
        EXPECT_TRUE(client.contains(widget->geometry())) << control.id;
        if (control.text) {
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(widget)) text = b->text();
            if (auto* l = qobject_cast<QLabel*>(widget)) text = l->text();
            if (auto* g = qobject_cast<GroupFrame*>(widget)) text = g->title();
            EXPECT_EQ(WithoutMnemonic(text), QString::fromUtf8(control.text)) << control.id;
        }
    }
}

TEST_F(MainDialogTest, NoTextIsClipped) {
    start();
    for (const auto& control : MainDialogTemplate().controls) {
        QWidget* widget = item(control.id);
        EXPECT_LE(NeededWidth(widget), widget->width()) << control.id;
        if (auto* text = qobject_cast<QLabel*>(widget); text && !text->text().isEmpty()) {
            EXPECT_LE(text->heightForWidth(text->width()), text->height()) << control.id;
        }
    }
}

TEST_F(MainDialogTest, ControlsOtherThanGroupBoxesDoNotOverlap) {
    start();
    std::vector<QWidget*> widgets;
    for (const auto& control : MainDialogTemplate().controls) {
        if (control.kind != ControlKind::GroupBox) widgets.push_back(item(control.id));
    }
    for (size_t i = 0; i < widgets.size(); ++i) {
        for (size_t j = i + 1; j < widgets.size(); ++j) {
            EXPECT_FALSE(widgets[i]->geometry().intersects(widgets[j]->geometry()))
                << widgets[i]->objectName().toStdString() << " and "
                << widgets[j]->objectName().toStdString();
        }
    }
}

TEST_F(MainDialogTest, RadioGroupsAreExclusiveOnTheirOwn) {
    start();
    click(IDC_RADIO_ROTATE_180);
    click(IDC_RADIO_FLIP_HORIZONTAL);
    EXPECT_TRUE(button(IDC_RADIO_ROTATE_180)->isChecked());
    EXPECT_FALSE(button(IDC_RADIO_ROTATE_0)->isChecked());
    EXPECT_TRUE(button(IDC_RADIO_FLIP_HORIZONTAL)->isChecked());
    EXPECT_FALSE(button(IDC_RADIO_FLIP_NO)->isChecked());
    EXPECT_EQ(dialog->RotateAngle(), 180);
    EXPECT_EQ(dialog->FlipType(), 1);
}

TEST_F(MainDialogTest, TheDialogHasAFixedSizeAndTheProgramIcon) {
    start();
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
}

}  // namespace
