#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "resources/resource.h"
#include "test_support.h"
#include "ui/about_dialog.h"

namespace {

TEST(AboutDialog, ShowsIconNameAndVersionAndClosesOnOk) {
    AboutDialog about;
    about.show();
    EXPECT_EQ(about.windowTitle(), u"About Tessiva"_s);
    auto* icon = about.findChild<QLabel*>(QString::number(res::IDC_ABOUT_ICON));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    auto* ok = about.findChild<QPushButton*>(QString::number(res::IDOK));
    ASSERT_NE(ok, nullptr);
    auto* version = about.findChild<QLabel*>(QString::number(res::IDC_ABOUT_VERSION));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), u"Tessiva Version 1.0"_s);
    EXPECT_LE(version->fontMetrics().horizontalAdvance(version->text()), version->width());
    auto* licence = about.findChild<QLabel*>(QString::number(res::IDC_ABOUT_LICENSE));
    ASSERT_NE(licence, nullptr);
    EXPECT_TRUE(licence->text().contains(u"version 2 or later"_s));
    EXPECT_LE(licence->heightForWidth(licence->width()), licence->height());  // not clipped
    EXPECT_LE(licence->geometry().bottom(), ok->geometry().top());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
