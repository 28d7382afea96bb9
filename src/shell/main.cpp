#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "host/base_folder.h"
#include "host/cores.h"
#include "imaging/imaging_library.h"
#include "settings/keys.h"
#include "settings/store.h"
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

/// The photo named on the command line, if any; exits after --help, --version
/// and usage errors, as a command-line program does.
std::optional<QString> PhotoArgument(const QCoreApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Turns one photo into a TIFF. FILE, when given, is opened at start."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A photo to open."),
                                 QStringLiteral("[FILE]"));
    parser.process(application);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "tessiva: one photo at a time, not %lld\nTry 'tessiva --help'.\n",
                     static_cast<long long>(files.size()));
        std::exit(2);
    }
    if (files.isEmpty()) return std::nullopt;
    // Launchers may hand over a file URL instead of a path.
    const QUrl url(files.front());
    return QFileInfo(url.isLocalFile() ? url.toLocalFile() : files.front()).absoluteFilePath();
}

/// True when the arguments only ask for help or the version, which needs no window.
bool AsksForInformation(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "--help-all" ||
            argument == "-v" || argument == "--version")
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Before any thread starts: the window outlives conversions of every size.
    host::ShareFewHeaps();
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIVA_VERSION));
    if (AsksForInformation(argc, argv)) {
        QCoreApplication information(argc, argv);
        PhotoArgument(information);
        return EXIT_SUCCESS;
    }
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
    const std::optional<QString> photo = PhotoArgument(application);

    {
        settings::Store store(settings::kCompanyKey, QCoreApplication::applicationName());
        ui::StartLanguage(store, ui::QtPlatformServices(), host::GetBaseFolder());
        ui::MainDialog dialog(store, ui::QtPlatformServices());
        if (photo) dialog.OpenAtStart(*photo);
        dialog.DoModal();
        ui::StopLanguage();
    }
    imaging::ShutdownLibrary();
    return EXIT_SUCCESS;
}
