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
#include <variant>

#include "cli/batch.h"
#include "cli/inputs.h"
#include "cli/options.h"
#include "cli/read_options.h"
#include "cli/report.h"
#include "host/base_folder.h"
#include "host/cores.h"
#include "host/native_file.h"
#include "i18n/language.h"
#include "i18n/language_names.h"
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

using cli::Opt;

std::atomic<bool> g_stop{false};

void OnInterrupt(int) {
    if (g_stop.exchange(true))
        std::_Exit(130);  // asked twice: leave now; outputs are all-or-nothing
}

void Fail(const QString& text) {
    std::fprintf(stderr, "tessiva-convert: %s\nTry 'tessiva-convert --help'.\n", qPrintable(text));
    std::exit(2);
}

/// How much the run says on the terminal.
enum class Verbosity { Quiet, Normal, Verbose };

/// What the run says as inputs finish: errors always; a progress bar on a
/// terminal or a line per input otherwise; with timings when verbose.
class Progress {
public:
    Progress(std::optional<qint64> total, Verbosity verbosity)
        : m_total(total),
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
                std::fprintf(stderr, "tessiva-convert: %s: %s\n", input.constData(),
                             qPrintable(res::Say(res::Text::CameraTurnedNote,
                                                 {QString::number(result.cameraOrientation)})));
        }
        if (m_verbosity != Verbosity::Quiet)
            for (const QString& removed : result.removed)
                std::fprintf(
                    stderr, "tessiva-convert: %s\n",
                    qPrintable(res::Say(res::Text::AbandonedRemoved,
                                        {QString::fromLocal8Bit(host::NativePath(removed))})));
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
        return res::Say(res::Text::StdinUnreadable);
    for (qint64 copied = 0;;) {
        if (g_stop) return res::Say(res::Text::StdinInterrupted);
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty()) break;
        copied += chunk.size();
        if (copied > kMaxStandardInput)
            return res::Say(res::Text::StdinTooLarge, {QString::number(kMaxStandardInput >> 30)});
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

/// The inputs: the command line's, or names read from a list as the work goes.
std::unique_ptr<cli::InputSource> OpenInputs(const cli::CommandLine& line,
                                             const cli::Options& options) {
    std::unique_ptr<cli::InputSource> source;
    if (line.Has(Opt::FilesFrom)) {
        const QString list = line.Value(Opt::FilesFrom);
        auto stream = std::make_unique<QFile>(list);
        const bool opened = list == u"-" ? stream->open(stdin, QIODevice::ReadOnly)
                                         : stream->open(QIODevice::ReadOnly);
        if (!opened) Fail(QStringLiteral("%1: %2").arg(list, stream->errorString()));
        source = std::make_unique<cli::InputSource>(std::move(stream),
                                                    line.Has(Opt::Null) ? '\0' : '\n');
    } else {
        source = std::make_unique<cli::InputSource>(options.inputs);
    }
    if (line.Has(Opt::Shard)) {
        const auto [shard, shards] = *cli::ParseShard(line.Value(Opt::Shard));
        source->SetShard(shard, shards);
    }
    return source;
}

/// What became of the inputs.
struct Counts {
    qint64 finished = 0, converted = 0, skipped = 0, failed = 0;

    void Add(const cli::FileResult& result) {
        ++finished;
        if (result.ok)
            ++converted;
        else if (result.skipped)
            ++skipped;
        else if (!result.stopped)
            ++failed;
    }
};

/// The closing line. Interrupted, the photos stopped half-way and those never
/// taken count as not started.
QString Summary(const Counts& counts, std::optional<qint64> known, bool interrupted) {
    const auto part = [&](res::Text text, qint64 count) {
        return QStringLiteral("; ") + res::Say(text, {QString::number(count)});
    };
    const qint64 inputs = std::max(known.value_or(counts.finished), counts.finished);
    const qint64 notStarted = inputs - counts.converted - counts.skipped - counts.failed;
    QString summary =
        res::Say(res::Text::Summary, {QString::number(counts.converted), QString::number(inputs)});
    if (counts.skipped) summary += part(res::Text::SkippedCount, counts.skipped);
    if (counts.failed) summary += part(res::Text::FailedCount, counts.failed);
    if (interrupted && notStarted > 0) summary += part(res::Text::NotStartedCount, notStarted);
    if (interrupted) summary += QStringLiteral("; ") + res::Say(res::Text::Interrupted);
    return summary;
}

/// True when the command line asks for a line of text, which needs fonts.
bool DrawsText(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    cli::DescribeOptions(parser);
    return parser.parse(arguments) && !cli::CommandLine(parser).Value(Opt::Text).isEmpty();
}

/// The installed language files' names.
QStringList LanguageFiles() {
    QStringList files;
    for (int i = 0; i < i18n::g_Language.GetLanguageCount(); ++i)
        files << i18n::g_Language.GetLanguageName(i);
    return files;
}

/// Prints each language: its file's name, its English name and its own.
[[noreturn]] void ListLanguages() {
    i18n::g_Language.Initialize(host::GetBaseFolder(), QStringLiteral("english"));
    for (const QString& file : LanguageFiles()) {
        const i18n::LanguageNames names = i18n::NamesOf(file);
        std::printf("%s\t%s\t%s\n", qPrintable(names.file), qPrintable(names.english),
                    qPrintable(names.own));
    }
    std::exit(0);
}

/// The messages' language: --language by a file's, English or own name, else
/// the user's locale, else English.
void SelectLanguage(const cli::CommandLine& line) {
    i18n::g_Language.Initialize(host::GetBaseFolder(), QStringLiteral("english"));
    const QStringList files = LanguageFiles();
    std::optional<QString> chosen;
    if (line.Has(Opt::Language)) {
        chosen = i18n::LanguageFileNamed(files, line.Value(Opt::Language));
        if (!chosen)
            Fail(QStringLiteral("no language named %1; --list-languages lists them")
                     .arg(line.Value(Opt::Language)));
    } else {
        chosen = i18n::LanguageFileForLocale(files);
    }
    if (chosen && chosen->compare(i18n::g_Language.GetCurrentLanguage(), Qt::CaseInsensitive) != 0)
        i18n::g_Language.SelectLanguage(*chosen);
}

}  // namespace

int main(int argc, char* argv[]) {
    // The converter draws without a display, whatever the surroundings name: a
    // desktop profile's QT_QPA_PLATFORM or a stale DISPLAY must not stop it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
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
    cli::DescribeOptions(parser);
    const cli::CommandLine line(parser);
    // Every mistake on the command line is a usage error (status 2).
    // Names are taken byte for byte, also those that are not UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << host::PathFromNative(argv[i]);
    if (!parser.parse(arguments)) Fail(parser.errorText());
    if (line.Has(Opt::Help) || line.Has(Opt::HelpAll)) parser.showHelp(0);
    if (line.Has(Opt::Version)) parser.showVersion();
    if (line.Has(Opt::ListLanguages)) ListLanguages();

    std::variant<cli::Options, cli::UsageError> read = cli::ReadOptions(parser);
    if (const auto* mistake = std::get_if<cli::UsageError>(&read)) Fail(mistake->text);
    cli::Options options = std::move(std::get<cli::Options>(read));
    // Binary on a terminal garbles it and helps nobody.
    if (options.output == u"-" && isatty(fileno(stdout)))
        Fail(
            QStringLiteral("-o - writes the TIFF to standard output, which is a terminal; "
                           "redirect it to a file or a pipe"));
    // From here a first interrupt stops the photos in progress and takes no
    // more; a second leaves at once.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    SelectLanguage(line);
    const std::unique_ptr<cli::InputSource> source = OpenInputs(line, options);

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
    if (line.Has(Opt::Report)) {
        report.emplace(line.Value(Opt::Report), options.skipExisting);
        if (!report->Error().isEmpty()) Fail(report->Error());
    }
    const Verbosity verbosity = line.Has(Opt::Quiet)     ? Verbosity::Quiet
                                : line.Has(Opt::Verbose) ? Verbosity::Verbose
                                                         : Verbosity::Normal;

    // One budget of cores: photos at once times the threads each one uses.
    const std::optional<qint64> known = source->KnownCount();
    const int photosAtOnce = int(std::clamp<qint64>(known.value_or(options.jobs), 1, options.jobs));
    options.threadsPerPhoto = std::max(1, options.jobs / photosAtOnce);
    if (verbosity == Verbosity::Verbose) {
        const host::UsableCores cores = host::CoresForThisProcess();
        const auto known = [](int n) { return n > 0 ? QString::number(n) : QStringLiteral("-"); };
        std::fprintf(stderr,
                     "tessiva-convert: %d photos at once, %d threads each; %d usable cores "
                     "(machine %d, affinity %s, control group %s)\n",
                     photosAtOnce, options.threadsPerPhoto, cores.count, cores.machine,
                     qPrintable(known(cores.affinity)), qPrintable(known(cores.allowance)));
    }

    Counts counts;
    {
        imaging::LibrarySession session;
        imaging::KeepNoOperations();
        Progress progress(known, verbosity);
        cli::ConvertAll(options, *source, photosAtOnce, g_stop, [&](const cli::FileResult& result) {
            counts.Add(result);
            progress.report(result);
            if (report) report->Add(result);
        });
        progress.finish();
    }
    imaging::ShutdownLibrary();
    // A list or report that failed fails the run, though no photo did.
    bool runFailed = false;
    if (!source->ReadError().isEmpty()) {
        std::fprintf(stderr, "tessiva-convert: reading the list: %s\n",
                     qPrintable(source->ReadError()));
        runFailed = true;
    }
    if (report && !report->Error().isEmpty()) {
        std::fprintf(stderr, "tessiva-convert: %s\n", qPrintable(report->Error()));
        runFailed = true;
    }
    runFailed = runFailed || counts.failed;
    if (verbosity != Verbosity::Quiet || runFailed || g_stop)
        std::fprintf(stderr, "%s.\n",
                     qPrintable(Summary(counts, g_stop ? source->CountToEnd() : known, g_stop)));
    if (g_stop) return 130;
    return runFailed ? 1 : 0;
}
