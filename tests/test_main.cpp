#include <gtest/gtest.h>

#include <QApplication>

#include "imaging/imaging_library.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    imaging::ShutdownLibrary();
    return result;
}
