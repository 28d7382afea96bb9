#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "imaging/imaging_library.h"
#include "ui/app_icon.h"

namespace {

/// On X11 and Wayland desktops a missing display is the usual reason the
/// window cannot open; say so, and how to run without one.
bool DisplayAvailable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "tessiva: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Tessiva is a desktop program. Start it from a desktop session, or under a\n"
                     "virtual X server:  xvfb-run -a %s\n",
                     argv[0]);
        return EXIT_FAILURE;
    }
    QApplication application(argc, argv);
    QApplication::setWindowIcon(LoadAppIcon());
    theApp.InitInstance();
    imaging::ShutdownLibrary();
    return EXIT_SUCCESS;
}
