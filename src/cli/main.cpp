// tessiva-convert: Tessiva's conversion for batches and servers, without a window.

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "cli/batch.h"
#include "cli/inputs.h"
#include "cli/report.h"
#include "host/base_folder.h"
#include "host/native_file.h"
#include "i18n/language.h"
#include "imaging/imaging_library.h"
#include "imaging/metadata.h"
#include "imaging/text_layout.h"
#include "resources/texts.h"

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
cli::Options ParseOptions(QCommandLineParser& parser) {
    cli::Options options;
    options.inputs = parser.positionalArguments();
    const bool fromList = parser.isSet(QStringLiteral("files-from"));
    if (options.inputs.isEmpty() && !fromList) Fail(QStringLiteral("no input photo given"));
    if (!options.inputs.isEmpty() && fromList)
        Fail(QStringLiteral("inputs come either from --files-from or from the command line"));
    if (parser.isSet(QStringLiteral("null")) && !fromList)
        Fail(QStringLiteral("--null reads the names of --files-from"));
    const bool standardInput = options.inputs.contains(QStringLiteral("-"));
    if (standardInput && options.inputs.size() > 1)
        Fail(QStringLiteral("the input - (standard input) works with a single input only"));
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
            Fail(
                QStringLiteral("--font wants a family, style words and a pixel size or a share "
                               "of the height, as \"DejaVu Sans bold 24\" or \"DejaVu Sans 3%\""));
        options.font = font->font;
        options.placement.fontPercentOfHeight = font->percentOfHeight;
    } else {
        options.font.setPixelSize(13);
    }
    if (parser.isSet(QStringLiteral("color"))) {
        options.colour = QColor::fromString(parser.value(QStringLiteral("color")));
        if (!options.colour.isValid()) Fail(QStringLiteral("--color wants a name or #RRGGBB"));
    }
    if (parser.isSet(QStringLiteral("position"))) {
        const auto position = cli::ParsePosition(parser.value(QStringLiteral("position")));
        if (!position)
            Fail(QStringLiteral("--position wants X,Y in pixels or X%,Y% of the picture's sides"));
        options.placement.margin = position->first;
        options.placement.marginInPercent = position->second;
    }
    if (parser.isSet(QStringLiteral("metadata"))) {
        const auto choice = imaging::MetadataChoiceNamed(parser.value(QStringLiteral("metadata")));
        if (!choice) Fail(QStringLiteral("--metadata is one of rights, all, none"));
        options.metadata = *choice;
    }
    if (parser.isSet(QStringLiteral("anchor"))) {
        const auto anchor = imaging::AnchorNamed(parser.value(QStringLiteral("anchor")));
        if (!anchor)
            Fail(QStringLiteral("--anchor is one of %1")
                     .arg(imaging::AnchorNames().join(QStringLiteral(", "))));
        options.placement.anchor = *anchor;
    }
    options.textUpright = parser.isSet(QStringLiteral("text-upright"));
    options.output = parser.value(QStringLiteral("output"));
    options.outputDir = parser.value(QStringLiteral("output-dir"));
    if (!options.output.isEmpty() && (options.inputs.size() > 1 || fromList))
        Fail(QStringLiteral("--output names one file; use --output-dir for several inputs"));
    if (parser.isSet(QStringLiteral("name"))) {
        options.nameTemplate = parser.value(QStringLiteral("name"));
        if (const auto problem = cli::NameTemplateProblem(options.nameTemplate))
            Fail(QStringLiteral("--name: %1").arg(*problem));
        if (!options.output.isEmpty())
            Fail(QStringLiteral("--output names the file itself; --name is for several inputs"));
    }
    if (!options.output.isEmpty() && !options.outputDir.isEmpty())
        Fail(QStringLiteral("--output and --output-dir exclude each other"));
    if (!options.outputDir.isEmpty() && !QFileInfo(options.outputDir).isDir())
        Fail(QStringLiteral("no such folder: %1").arg(options.outputDir));
    options.overwrite = parser.isSet(QStringLiteral("overwrite"));
    options.skipExisting = parser.isSet(QStringLiteral("skip-existing"));
    if (options.overwrite && options.skipExisting)
        Fail(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    if (options.output == u"-" && parser.value(QStringLiteral("report")) == u"-")
        Fail(QStringLiteral("the TIFF goes to standard output; --report needs a file"));
    if (fromList && parser.isSet(QStringLiteral("report"))) {
        const QFileInfo list(parser.value(QStringLiteral("files-from")));
        const QFileInfo report(parser.value(QStringLiteral("report")));
        // Writing the report would empty the list being read.
        if (list.fileName() != u"-" && list.exists() && report.exists() &&
            list.canonicalFilePath() == report.canonicalFilePath())
            Fail(QStringLiteral("--report would write over the list --files-from reads"));
    }
    if (parser.isSet(QStringLiteral("quiet")) && parser.isSet(QStringLiteral("verbose")))
        Fail(QStringLiteral("--quiet and --verbose exclude each other"));
    if (parser.isSet(QStringLiteral("shard")) &&
        !cli::ParseShard(parser.value(QStringLiteral("shard"))))
        Fail(QStringLiteral("--shard wants K/N with 1 <= K <= N, as 2/8"));
    options.toSrgb = parser.isSet(QStringLiteral("srgb"));
    options.autoOrient = parser.isSet(QStringLiteral("auto-orient"));
    if (parser.isSet(QStringLiteral("background"))) {
        options.background = QColor::fromString(parser.value(QStringLiteral("background")));
        if (!options.background.isValid())
            Fail(QStringLiteral("--background wants a name or #RRGGBB"));
    }
    if (parser.isSet(QStringLiteral("max-pixels"))) {
        const std::optional<int64_t> pixels =
            cli::ParseByteSize(parser.value(QStringLiteral("max-pixels")));
        if (!pixels || *pixels < 1)
            Fail(QStringLiteral("--max-pixels wants a number of pixels, as 100M"));
        options.limits.maxPixels = *pixels;
    }
    if (parser.isSet(QStringLiteral("max-memory"))) {
        const std::optional<int64_t> bytes =
            cli::ParseByteSize(parser.value(QStringLiteral("max-memory")));
        if (!bytes || *bytes < (int64_t{16} << 20))
            Fail(QStringLiteral("--max-memory wants a size of at least 16M, as 512M or 2G"));
        options.limits.maxMemory = *bytes;
    }
    options.jobs = parser.isSet(QStringLiteral("jobs"))
                       ? integer(QStringLiteral("jobs"), 1, 256)
                       : int(std::max(1u, std::thread::hardware_concurrency()));
    return options;
}

/// How much the run says on the terminal.
enum class Verbosity { Quiet, Normal, Verbose };

/// What the run says as inputs finish: errors always; a progress bar on a
/// terminal or a line per input otherwise; with timings when verbose.
class Progress {
public:
    Progress(std::optional<qint64> total, Verbosity verbosity, const cli::Words& words)
        : m_words(words),
          m_total(total),
          m_verbosity(verbosity),
          m_bar(verbosity == Verbosity::Normal && isatty(fileno(stderr)) != 0) {}

    void report(const cli::FileResult& result) {
        ++m_finished;
        if (m_bar) std::fprintf(stderr, "\r\033[K");
        const QByteArray input = host::NativePath(result.input);
        if (result.stopped) {
            // Interrupted: the closing line counts it as not started.
        } else if (!result.ok && !result.skipped) {
            std::fprintf(stderr, "tessiva-convert: %s: %s\n", input.constData(),
                         qPrintable(result.messages.join(QStringLiteral("; "))));
        } else if (m_verbosity != Verbosity::Quiet) {
            for (const QString& warning : result.warnings)
                std::fprintf(stderr, "tessiva-convert: %s: %s\n", input.constData(),
                             qPrintable(warning));
            if (result.cameraOrientation != 1)
                std::fprintf(
                    stderr, "tessiva-convert: %s: %s\n", input.constData(),
                    qPrintable(i18n::FormatMessage(m_words(res::Text::CameraTurnedNote),
                                                   {QString::number(result.cameraOrientation)})));
        }
        if (m_verbosity == Verbosity::Verbose && result.ok) {
            std::fprintf(stderr, "%s -> %s: %d x %d, opened in %.3f s, converted in %.3f s\n",
                         input.constData(), host::NativePath(result.output).constData(),
                         result.width, result.height, result.openSeconds, result.convertSeconds);
        } else if (m_verbosity != Verbosity::Quiet && !m_bar && (result.ok || result.skipped)) {
            std::fprintf(stderr, result.ok ? "%s -> %s\n" : "%s: skipped, %s exists\n",
                         input.constData(), host::NativePath(result.output).constData());
        }
        if (m_bar) {
            constexpr int kWidth = 30;
            const qint64 total = std::max<qint64>(m_total.value_or(m_finished), m_finished);
            const int filled = int(m_finished * kWidth / std::max<qint64>(total, 1));
            std::fprintf(stderr, "[%s%s] %lld/%s %s", std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(kWidth - filled), '.').c_str(),
                         static_cast<long long>(m_finished),
                         m_total ? qPrintable(QString::number(*m_total)) : "?",
                         qPrintable(QFileInfo(result.input).fileName()));
        }
        std::fflush(stderr);
    }
    void finish() {
        if (m_bar) std::fprintf(stderr, "\r\033[K");
    }

private:
    const cli::Words& m_words;
    std::optional<qint64> m_total;
    Verbosity m_verbosity;
    bool m_bar;
    qint64 m_finished = 0;
};

/// The most a photo on standard input may hold.
constexpr qint64 kMaxStandardInput = qint64{2} << 30;

/// Copies standard input into @p copy, up to kMaxStandardInput bytes and
/// until interrupted; why it could not, or nothing.
std::optional<QString> CopyStandardInput(QTemporaryFile& copy) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly) || !copy.open())
        return QStringLiteral("cannot read the photo from standard input");
    for (qint64 copied = 0;;) {
        if (g_stop) return QStringLiteral("interrupted while reading standard input");
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty()) break;
        copied += chunk.size();
        if (copied > kMaxStandardInput)
            return QStringLiteral("the photo on standard input is larger than %1 GB")
                .arg(kMaxStandardInput >> 30);
        if (copy.write(chunk) != chunk.size()) return copy.errorString();
    }
    if (!copy.flush()) return copy.errorString();
    return std::nullopt;
}

/// Keeps the terminal for this program's own messages: Qt's remarks about the
/// session (no runtime folder on a server) say nothing about the photos.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("QStandardPaths:"))) return;
    if (type != QtDebugMsg && type != QtInfoMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

/// The program's description and options.
void DescribeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Converts photos to 24-bit RGB TIFF files as Tessiva's window does: scaled with a\n"
        "bicubic filter, with an optional line of text, turned and mirrored. Several\n"
        "inputs are converted in parallel; an existing output is only replaced with\n"
        "--overwrite, and only once the new file is complete.\n\n"
        "Exit status: 0 all converted, 1 some failed, 2 usage error, 130 interrupted."));
    // Qt's own help option offers --help-all for Qt's options, which this
    // program takes none of: one help, and --help-all kept as a hidden alias.
    parser.addOption(
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help.")});
    QCommandLineOption helpAll(QStringLiteral("help-all"));
    helpAll.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(helpAll);
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Photos to convert."),
                                 QStringLiteral("INPUT..."));
    parser.addOptions({
        {{QStringLiteral("W"), QStringLiteral("width")},
         QStringLiteral("Width of the output before turning, in pixels; alone, the height keeps "
                        "the photo's proportions."),
         QStringLiteral("N")},
        {{QStringLiteral("H"), QStringLiteral("height")},
         QStringLiteral("Height of the output before turning, in pixels; alone, the width keeps "
                        "the photo's proportions."),
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
         QStringLiteral("Text to write onto the photo; a line break starts a new line."),
         QStringLiteral("TEXT")},
        {QStringLiteral("font"),
         QStringLiteral("Font of the text: family, style words, and a pixel size or a share of "
                        "the picture's height, as \"DejaVu Sans bold 24\" or \"DejaVu Sans 3%\"."),
         QStringLiteral("DESCRIPTION")},
        {QStringLiteral("color"),
         QStringLiteral("Colour of the text: a name, #RRGGBB, or #AARRGGBB to see through it "
                        "(default black)."),
         QStringLiteral("COLOUR")},
        {QStringLiteral("position"),
         QStringLiteral("Where the text goes, in pixels or X%,Y% of the picture's sides: its "
                        "top-left corner (default 0,0), or its margin from --anchor; counted "
                        "before turning, or in the turned output with --text-upright."),
         QStringLiteral("X,Y")},
        {QStringLiteral("anchor"),
         QStringLiteral("Place the text from a corner, an edge or the centre: north-west, north, "
                        "north-east, west, centre, east, south-west, south, south-east."),
         QStringLiteral("POINT")},
        {QStringLiteral("metadata"),
         QStringLiteral("What of the photo's EXIF, IPTC and XMP travels: rights (creator, "
                        "copyright, caption and capture date; the default), all (location, "
                        "camera and orientation too) or none."),
         QStringLiteral("WHAT")},
        {QStringLiteral("text-upright"),
         QStringLiteral("Write the text after turning and mirroring, so that it reads upright "
                        "(default: the text turns and mirrors with the photo).")},
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Output file, for a single input."),
         QStringLiteral("FILE")},
        {{QStringLiteral("d"), QStringLiteral("output-dir")},
         QStringLiteral("Folder for the outputs (default: beside each input), named NAME_out.tif."),
         QStringLiteral("DIR")},
        {QStringLiteral("overwrite"), QStringLiteral("Replace outputs that exist.")},
        {{QStringLiteral("j"), QStringLiteral("jobs")},
         QStringLiteral("Cores to use (default: all): photos converted at once times the threads "
                        "each one uses stays within N."),
         QStringLiteral("N")},
        {QStringLiteral("files-from"),
         QStringLiteral("Read input names from FILE, one per line (- is standard input), as the "
                        "work goes."),
         QStringLiteral("FILE")},
        {{QStringLiteral("0"), QStringLiteral("null")},
         QStringLiteral("The names of --files-from end with NUL characters, not lines.")},
        {QStringLiteral("shard"),
         QStringLiteral("Convert only the inputs whose position, from 0, leaves remainder K-1 "
                        "when divided by N; N shards together cover every input once."),
         QStringLiteral("K/N")},
        {QStringLiteral("skip-existing"),
         QStringLiteral("Skip an input whose output exists (resumes an interrupted run).")},
        {QStringLiteral("name"),
         QStringLiteral("Output file name from the fields {stem}, {ext} and {index} (default "
                        "{stem}_out.tif)."),
         QStringLiteral("TEMPLATE")},
        {QStringLiteral("report"),
         QStringLiteral("Write a JSON line per input to FILE as each one finishes (- is standard "
                        "output)."),
         QStringLiteral("FILE")},
        {{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Print errors only.")},
        {QStringLiteral("verbose"), QStringLiteral("Print a line per input with its timings.")},
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
        {QStringLiteral("max-pixels"),
         QStringLiteral("Refuse photos of more pixels than N (K, M or G multiply by 1024; "
                        "default 512M, 536,870,912)."),
         QStringLiteral("N")},
        {QStringLiteral("max-memory"),
         QStringLiteral("Refuse work that would hold more than SIZE bytes at once for one photo: "
                        "pictures decoded or drawn whole, and turned outputs (default 1G)."),
         QStringLiteral("SIZE")},
    });
}

/// True when the command line asks for a line of text, which needs fonts.
bool DrawsText(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    DescribeOptions(parser);
    return parser.parse(arguments) && !parser.value(QStringLiteral("text")).isEmpty();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Damaged photos are reported once, by this program, not by each decoder.
    if (qEnvironmentVariableIsEmpty("VIPS_WARNING")) qputenv("VIPS_WARNING", "0");
    qInstallMessageHandler(QuietQt);
    // Text is drawn with Qt's fonts, which need a GUI application (but no
    // display); without text a core application starts sooner and holds less.
    std::unique_ptr<QCoreApplication> app;
    if (DrawsText(argc, argv))
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessiva-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIVA_VERSION));

    QCommandLineParser parser;
    DescribeOptions(parser);
    // Every mistake on the command line is a usage error (status 2).
    // Names are taken byte for byte, also those that are not UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << host::PathFromNative(argv[i]);
    if (!parser.parse(arguments)) Fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    cli::Options options = ParseOptions(parser);
    // Binary on a terminal garbles it and helps nobody.
    if (options.output == u"-" && isatty(fileno(stdout)))
        Fail(
            QStringLiteral("-o - writes the TIFF to standard output, which is a terminal; "
                           "redirect it to a file or a pipe"));
    const QString language = parser.isSet(QStringLiteral("language"))
                                 ? parser.value(QStringLiteral("language"))
                                 : QStringLiteral("english");
    // From here a first interrupt stops the photos in progress and takes no
    // more; a second leaves at once.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    i18n::g_Language.Initialize(host::GetBaseFolder(), language);
    if (i18n::g_Language.GetCurrentLanguage().compare(language, Qt::CaseInsensitive) != 0)
        Fail(QStringLiteral("no language file named %1").arg(language));
    // The inputs: the command line's, or names read as the work goes.
    std::unique_ptr<cli::InputSource> source;
    if (parser.isSet(QStringLiteral("files-from"))) {
        const QString list = parser.value(QStringLiteral("files-from"));
        auto stream = std::make_unique<QFile>(list);
        const bool opened = list == u"-" ? stream->open(stdin, QIODevice::ReadOnly)
                                         : stream->open(QIODevice::ReadOnly);
        if (!opened) Fail(QStringLiteral("%1: %2").arg(list, stream->errorString()));
        source = std::make_unique<cli::InputSource>(
            std::move(stream), parser.isSet(QStringLiteral("null")) ? '\0' : '\n');
    } else {
        source = std::make_unique<cli::InputSource>(options.inputs);
    }
    if (parser.isSet(QStringLiteral("shard"))) {
        const auto [shard, shards] = *cli::ParseShard(parser.value(QStringLiteral("shard")));
        source->SetShard(shard, shards);
    }

    // A photo from a pipe is read whole first; a TIFF for a pipe goes straight to it.
    QTemporaryFile standardInputCopy;
    if (options.inputs == QStringList{QStringLiteral("-")}) {
        if (const std::optional<QString> problem = CopyStandardInput(standardInputCopy)) {
            std::fprintf(stderr, "tessiva-convert: %s\n", qPrintable(*problem));
            return g_stop ? 130 : 1;
        }
        options.standardInputCopy = standardInputCopy.fileName();
    }
    QFile standardOutput;
    if (options.output == u"-") {
        if (!standardOutput.open(stdout, QIODevice::WriteOnly))
            Fail(QStringLiteral("cannot write to standard output"));
        options.outputDevice = &standardOutput;
    }

    std::optional<cli::Report> report;
    if (parser.isSet(QStringLiteral("report"))) {
        report.emplace(parser.value(QStringLiteral("report")));
        if (!report->Error().isEmpty()) Fail(report->Error());
    }
    const Verbosity verbosity = parser.isSet(QStringLiteral("quiet"))     ? Verbosity::Quiet
                                : parser.isSet(QStringLiteral("verbose")) ? Verbosity::Verbose
                                                                          : Verbosity::Normal;

    // One budget of cores: photos at once times the threads each one uses.
    const std::optional<qint64> known = source->KnownCount();
    const int photosAtOnce = int(std::clamp<qint64>(known.value_or(options.jobs), 1, options.jobs));
    options.threadsPerPhoto = std::max(1, options.jobs / photosAtOnce);

    qint64 total = 0, converted = 0, skipped = 0, failed = 0;
    const cli::Words words(i18n::g_Language);
    {
        imaging::LibrarySession session;
        imaging::KeepNoOperations();
        Progress progress(known, verbosity, words);
        cli::ConvertAll(options, words, *source, photosAtOnce, g_stop,
                        [&](const cli::FileResult& result) {
                            ++total;
                            if (result.ok)
                                ++converted;
                            else if (result.skipped)
                                ++skipped;
                            else if (!result.stopped)
                                ++failed;
                            progress.report(result);
                            if (report) report->Add(result);
                        });
        progress.finish();
    }
    imaging::ShutdownLibrary();
    if (!source->ReadError().isEmpty()) {
        std::fprintf(stderr, "tessiva-convert: reading the list: %s\n",
                     qPrintable(source->ReadError()));
        ++failed;
    }
    if (report && !report->Error().isEmpty()) {
        std::fprintf(stderr, "tessiva-convert: %s\n", qPrintable(report->Error()));
        ++failed;
    }
    if (verbosity != Verbosity::Quiet || failed || g_stop) {
        // Interrupted, the photos stopped half-way and those never taken were not started.
        const qint64 inputs = std::max(known.value_or(total), total);
        const qint64 notStarted = inputs - converted - skipped - failed;
        QString summary = i18n::FormatMessage(
            words(res::Text::Summary), {QString::number(converted), QString::number(inputs)});
        if (skipped)
            summary += QStringLiteral("; ") + i18n::FormatMessage(words(res::Text::SkippedCount),
                                                                  {QString::number(skipped)});
        if (failed)
            summary += QStringLiteral("; ") + i18n::FormatMessage(words(res::Text::FailedCount),
                                                                  {QString::number(failed)});
        if (g_stop && notStarted > 0)
            summary += QStringLiteral("; ") + i18n::FormatMessage(words(res::Text::NotStartedCount),
                                                                  {QString::number(notStarted)});
        if (g_stop) summary += QStringLiteral("; ") + words(res::Text::Interrupted);
        std::fprintf(stderr, "%s.\n", qPrintable(summary));
    }
    if (g_stop) return 130;
    return failed ? 1 : 0;
}
