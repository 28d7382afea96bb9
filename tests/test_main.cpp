#include <gtest/gtest.h>

#include <QTemporaryDir>

// Each runner starts the least application its layer needs: a layer below the
// window is shown to work without widgets.
#if defined(TESSIVA_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#if defined(TESSIVA_TEST_IMAGING)
#include "imaging/imaging_library.h"
#endif

using namespace Qt::Literals::StringLiterals;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Dialogs are tested without a display, also when CTest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Each run keeps its settings and caches to itself: CTest runs tests side by side.
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + u"/.config"_s).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + u"/.cache"_s).toLocal8Bit());
    // The converter speaks the locale's language: the tests read English.
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) qunsetenv(name);
    qputenv("LANG", "C.UTF-8");
    // Outputs made twice are alike, their own date included.
    qputenv("SOURCE_DATE_EPOCH", "1780000000");
#if defined(TESSIVA_TEST_IMAGING)
    // The runners do not sit beside the decoder program.
    if (qEnvironmentVariableIsEmpty("TESSIVA_DECODER")) qputenv("TESSIVA_DECODER", TESSIVA_DECODER);
#endif
    TestApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
#if defined(TESSIVA_TEST_IMAGING)
    imaging::ShutdownLibrary();
#endif
    return result;
}
