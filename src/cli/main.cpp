// tessiva-convert: Tessiva's conversion for batches and servers, without a window.

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/base_folder.h"
#include "cli/batch.h"
#include "i18n/language.h"
#include "imaging/imaging_library.h"
#include "resources/resource.h"

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

std::atomic<bool> g_stop{false};

void OnInterrupt(int) {
    if (g_stop.exchange(true))
        std::_Exit(130);  // asked twice: leave now; outputs are all-or-nothing
}

void Fail(const QString& text) {
    std::fprintf(stderr, "tessiva-convert: %s\nTry 'tessiva-convert --help'.\n", qPrintable(text));
    std::exit(2);
}

/// Reads the command line into options; exits with status 2 on a mistake.
cli::Options ParseOptions(QCommandLineParser& parser, const QCoreApplication& app) {
    cli::Options options;
    options.inputs = parser.positionalArguments();
    if (options.inputs.isEmpty()) Fail(QStringLiteral("no input photo given"));
    const auto integer = [&](const QString& name, int min, int max) {
        bool ok = false;
        const int value = parser.value(name).toInt(&ok);
        if (!ok || value < min || value > max)
            Fail(QStringLiteral("--%1 wants a whole number from %2 to %3")
                     .arg(name)
                     .arg(min)
                     .arg(max));
        return value;
    };
    if (parser.isSet(QStringLiteral("width")))
        options.width = integer(QStringLiteral("width"), 1, 1 << 30);
    if (parser.isSet(QStringLiteral("height")))
        options.height = integer(QStringLiteral("height"), 1, 1 << 30);
    if (parser.isSet(QStringLiteral("rotate"))) {
        options.angle = integer(QStringLiteral("rotate"), 0, 270);
        if (options.angle % 90 != 0) Fail(QStringLiteral("--rotate is one of 0, 90, 180, 270"));
    }
    if (parser.isSet(QStringLiteral("flip"))) {
        const QString flip = parser.value(QStringLiteral("flip")).toLower();
        const QStringList names{QStringLiteral("none"), QStringLiteral("horizontal"),
                                QStringLiteral("vertical")};
        options.flipType = int(names.indexOf(flip));
        if (options.flipType < 0)
            Fail(QStringLiteral("--flip is one of none, horizontal, vertical"));
    }
    if (parser.isSet(QStringLiteral("frame")))
        options.frame = integer(QStringLiteral("frame"), 0, 1 << 30);
    options.dimension = parser.value(QStringLiteral("dimension"));
    options.text = parser.value(QStringLiteral("text"));
    if (parser.isSet(QStringLiteral("font"))) {
        const auto font = cli::ParseFontDescription(parser.value(QStringLiteral("font")));
        if (!font)
            Fail(QStringLiteral(
                "--font wants a family, style words and a pixel size, as \"DejaVu Sans bold 24\""));
        options.font = *font;
    } else {
        options.font.setPixelSize(13);
    }
    if (parser.isSet(QStringLiteral("color"))) {
        options.colour = QColor::fromString(parser.value(QStringLiteral("color")));
        if (!options.colour.isValid()) Fail(QStringLiteral("--color wants a name or #RRGGBB"));
    }
    if (parser.isSet(QStringLiteral("position"))) {
        const QStringList xy = parser.value(QStringLiteral("position")).split(u',');
        bool okX = false, okY = false;
        if (xy.size() == 2)
            options.position = QPoint(xy[0].trimmed().toInt(&okX), xy[1].trimmed().toInt(&okY));
        if (!okX || !okY) Fail(QStringLiteral("--position wants X,Y"));
    }
    options.output = parser.value(QStringLiteral("output"));
    options.outputDir = parser.value(QStringLiteral("output-dir"));
    if (!options.output.isEmpty() && options.inputs.size() > 1)
        Fail(QStringLiteral("--output names one file; use --output-dir for several inputs"));
    if (!options.output.isEmpty() && !options.outputDir.isEmpty())
        Fail(QStringLiteral("--output and --output-dir exclude each other"));
    if (!options.outputDir.isEmpty() && !QFileInfo(options.outputDir).isDir())
        Fail(QStringLiteral("no such folder: %1").arg(options.outputDir));
    options.overwrite = parser.isSet(QStringLiteral("overwrite"));
    options.toSrgb = parser.isSet(QStringLiteral("srgb"));
    options.autoOrient = parser.isSet(QStringLiteral("auto-orient"));
    if (parser.isSet(QStringLiteral("background"))) {
        options.background = QColor::fromString(parser.value(QStringLiteral("background")));
        if (!options.background.isValid())
            Fail(QStringLiteral("--background wants a name or #RRGGBB"));
    }
    options.jobs = parser.isSet(QStringLiteral("jobs"))
                       ? integer(QStringLiteral("jobs"), 1, 256)
                       : int(std::max(1u, std::thread::hardware_concurrency()));
    Q_UNUSED(app);
    return options;
}

/// A progress bar on a terminal, a line per file otherwise.
class Progress {
public:
    Progress(int total) : m_total(total), m_terminal(isatty(fileno(stderr)) != 0) {}

    void report(const cli::FileResult& result, int finished) {
        if (m_terminal) std::fprintf(stderr, "\r\033[K");
        for (const QString& warning : result.warnings)
            std::fprintf(stderr, "tessiva-convert: %s: %s\n", qPrintable(result.input),
                         qPrintable(warning));
        if (!result.ok) {
            std::fprintf(stderr, "tessiva-convert: %s: %s\n", qPrintable(result.input),
                         qPrintable(result.messages.join(QStringLiteral("; "))));
        } else if (!m_terminal) {
            std::fprintf(stderr, "%s -> %s\n", qPrintable(result.input), qPrintable(result.output));
        }
        if (m_terminal) {
            constexpr int kWidth = 30;
            const int filled = finished * kWidth / std::max(m_total, 1);
            std::fprintf(stderr, "[%s%s] %d/%d %s", std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(kWidth - filled), '.').c_str(), finished, m_total,
                         qPrintable(QFileInfo(result.input).fileName()));
        }
        std::fflush(stderr);
    }
    void finish() {
        if (m_terminal) std::fprintf(stderr, "\r\033[K");
    }

private:
    int m_total;
    bool m_terminal;
};

/// Keeps the terminal for this program's own messages: Qt's remarks about the
/// session (no runtime folder on a server) say nothing about the photos.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("QStandardPaths:"))) return;
    if (type != QtDebugMsg && type != QtInfoMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char* argv[]) {
    // Text is drawn with Qt's fonts, which need a GUI application but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Damaged photos are reported once, by this program, not by each decoder.
    if (qEnvironmentVariableIsEmpty("VIPS_WARNING")) qputenv("VIPS_WARNING", "0");
    qInstallMessageHandler(QuietQt);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessiva-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIVA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Converts photos to 24-bit RGB TIFF files as Tessiva's window does: scaled with a\n"
        "bicubic filter, with an optional line of text, turned and mirrored. Several\n"
        "inputs are converted in parallel; an existing output is only replaced with\n"
        "--overwrite, and only once the new file is complete.\n\n"
        "Exit status: 0 all converted, 1 some failed, 2 usage error, 130 interrupted."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Photos to convert."),
                                 QStringLiteral("INPUT..."));
    parser.addOptions({
        {{QStringLiteral("W"), QStringLiteral("width")},
         QStringLiteral("Output width in pixels; alone, the height keeps the photo's proportions."),
         QStringLiteral("N")},
        {{QStringLiteral("H"), QStringLiteral("height")},
         QStringLiteral("Output height in pixels; alone, the width keeps the photo's proportions."),
         QStringLiteral("N")},
        {{QStringLiteral("r"), QStringLiteral("rotate")},
         QStringLiteral("Turn clockwise by 0, 90, 180 or 270 degrees."),
         QStringLiteral("DEGREES")},
        {{QStringLiteral("f"), QStringLiteral("flip")},
         QStringLiteral("After turning, mirror: none, horizontal or vertical."),
         QStringLiteral("HOW")},
        {QStringLiteral("frame"),
         QStringLiteral("Frame to convert, from 0 (animations, pages, icon sizes)."),
         QStringLiteral("N")},
        {QStringLiteral("dimension"),
         QStringLiteral("Kind of frames for --frame: time, page, resolution or an index."),
         QStringLiteral("NAME")},
        {{QStringLiteral("t"), QStringLiteral("text")},
         QStringLiteral("A line of text to write onto the photo."),
         QStringLiteral("TEXT")},
        {QStringLiteral("font"),
         QStringLiteral(
             "Font of the text: family, style words, pixel size, as \"DejaVu Sans bold 24\"."),
         QStringLiteral("DESCRIPTION")},
        {QStringLiteral("color"),
         QStringLiteral("Colour of the text: a name or #RRGGBB (default black)."),
         QStringLiteral("COLOUR")},
        {QStringLiteral("position"),
         QStringLiteral(
             "Top-left corner of the text in output pixels, before turning (default 0,0)."),
         QStringLiteral("X,Y")},
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Output file, for a single input."),
         QStringLiteral("FILE")},
        {{QStringLiteral("d"), QStringLiteral("output-dir")},
         QStringLiteral("Folder for the outputs (default: beside each input), named NAME_out.tif."),
         QStringLiteral("DIR")},
        {QStringLiteral("overwrite"), QStringLiteral("Replace outputs that exist.")},
        {{QStringLiteral("j"), QStringLiteral("jobs")},
         QStringLiteral("Photos converted at once (default: one per core)."),
         QStringLiteral("N")},
        {QStringLiteral("language"),
         QStringLiteral("Language of the messages, as a language file's name (default english)."),
         QStringLiteral("NAME")},
        {QStringLiteral("srgb"),
         QStringLiteral("Convert colours through the photo's embedded profile to sRGB (default: "
                        "keep the stored values and carry the profile into the TIFF).")},
        {QStringLiteral("auto-orient"),
         QStringLiteral(
             "Turn photos upright by the camera's orientation tag before anything else.")},
        {QStringLiteral("background"),
         QStringLiteral("Colour under transparent parts: a name or #RRGGBB (default black)."),
         QStringLiteral("COLOUR")},
    });
    // Every mistake on the command line is a usage error (status 2).
    if (!parser.parse(QCoreApplication::arguments())) Fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    const cli::Options options = ParseOptions(parser, app);
    const QString language = parser.isSet(QStringLiteral("language"))
                                 ? parser.value(QStringLiteral("language"))
                                 : QStringLiteral("english");
    i18n::g_Language.Initialize(app::GetBaseFolder(), language);
    if (i18n::g_Language.GetCurrentLanguage().compare(language, Qt::CaseInsensitive) != 0)
        Fail(QStringLiteral("no language file named %1").arg(language));
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    int failed = 0;
    size_t converted = 0;
    {
        imaging::LibrarySession session;
        Progress progress(int(options.inputs.size()));
        const std::vector<cli::FileResult> results = cli::ConvertAll(
            options, options.jobs, g_stop, [&](const cli::FileResult& result, int finished) {
                progress.report(result, finished);
            });
        progress.finish();
        for (const cli::FileResult& result : results) {
            if (result.ok)
                ++converted;
            else if (!result.messages.isEmpty())
                ++failed;
        }
    }
    imaging::ShutdownLibrary();
    const qsizetype total = options.inputs.size();
    QString summary = i18n::FormatMessage(i18n::g_Language.GetString(res::IDS_STRING132),
                                          {QString::number(converted), QString::number(total)});
    if (failed)
        summary += QStringLiteral("; ") +
                   i18n::FormatMessage(i18n::g_Language.GetString(res::IDS_STRING133),
                                       {QString::number(failed)});
    if (g_stop) summary += QStringLiteral("; ") + i18n::g_Language.GetString(res::IDS_STRING134);
    std::fprintf(stderr, "%s.\n", qPrintable(summary));
    if (g_stop) return 130;
    return failed ? 1 : 0;
}
