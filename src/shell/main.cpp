#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/base_folder.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "imaging/imaging_library.h"
#include "ui/app_icon.h"
#include "ui/apply_language.h"
#include "ui/main_dialog.h"
#include "ui/platform_services.h"

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
    QApplication::setWindowIcon(ui::LoadAppIcon());
    {
        app::SettingsStore store(app::settings::kCompanyKey, QCoreApplication::applicationName());
        ui::StartLanguage(store, ui::QtPlatformServices(), app::GetBaseFolder());
        ui::MainDialog dialog(store, ui::QtPlatformServices());
        dialog.DoModal();
        ui::StopLanguage();
    }
    imaging::ShutdownLibrary();
    return EXIT_SUCCESS;
}
