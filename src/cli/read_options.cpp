#include "cli/read_options.h"

#include <QFileInfo>
#include <algorithm>

#include "host/cores.h"
#include "host/native_file.h"
#include "imaging/metadata.h"
#include "imaging/text_layout.h"

namespace cli {
namespace {

/// A mistake found deep in the reading: it ends it.
[[noreturn]] void Fail(const QString& text) {
    throw UsageError{text};
}

/// The whole number @p option gives, from @p min to @p max; a usage error for another.
int IntegerOf(const CommandLine& line, Opt option, int min, int max) {
    bool ok = false;
    const int value = line.Value(option).toInt(&ok);
    if (!ok || value < min || value > max)
        Fail(QStringLiteral("%1 wants a whole number from %2 to %3")
                 .arg(CommandLine::Name(option))
                 .arg(min)
                 .arg(max));
    return value;
}

/// Where the inputs come from.
void ParseInputs(const CommandLine& line, const Options& options) {
    const bool fromList = line.Has(Opt::FilesFrom);
    if (options.inputs.isEmpty() && !fromList) Fail(QStringLiteral("no input photo given"));
    if (!options.inputs.isEmpty() && fromList)
        Fail(QStringLiteral("inputs come either from --files-from or from the command line"));
    if (line.Has(Opt::Null) && !fromList)
        Fail(QStringLiteral("--null reads the names of --files-from"));
    const bool standardInput = options.inputs.contains(QStringLiteral("-"));
    if (standardInput && options.inputs.size() > 1)
        Fail(QStringLiteral("the input - (standard input) works with a single input only"));
}

/// The output's size, frame and turn.
void ParseSizeAndTurn(const CommandLine& line, Options& options) {
    if (line.Has(Opt::Width)) options.width = IntegerOf(line, Opt::Width, 1, 1 << 30);
    if (line.Has(Opt::Height)) options.height = IntegerOf(line, Opt::Height, 1, 1 << 30);
    if (line.Has(Opt::Rotate)) {
        options.angle = IntegerOf(line, Opt::Rotate, 0, 270);
        if (options.angle % 90 != 0) Fail(QStringLiteral("--rotate is one of 0, 90, 180, 270"));
    }
    if (line.Has(Opt::Flip)) {
        const QString flip = line.Value(Opt::Flip).toLower();
        const QStringList names{QStringLiteral("none"), QStringLiteral("horizontal"),
                                QStringLiteral("vertical")};
        options.flipType = int(names.indexOf(flip));
        if (options.flipType < 0)
            Fail(QStringLiteral("--flip is one of none, horizontal, vertical"));
    }
    if (line.Has(Opt::Frame)) options.frame = IntegerOf(line, Opt::Frame, 0, 1 << 30);
    options.dimension = line.Value(Opt::Dimension);
}

/// The line of text and where it goes.
void ParseText(const CommandLine& line, Options& options) {
    options.text = line.Value(Opt::Text);
    if (line.Has(Opt::Font)) {
        const auto font = ParseFontDescription(line.Value(Opt::Font));
        if (!font)
            Fail(
                QStringLiteral("--font wants a family, style words and a pixel size or a share "
                               "of the height, as \"DejaVu Sans bold 24\" or \"DejaVu Sans 3%\""));
        options.font = font->font;
        options.placement.fontPercentOfHeight = font->percentOfHeight;
    } else {
        options.font.setPixelSize(13);
    }
    if (line.Has(Opt::Color)) {
        options.colour = QColor::fromString(line.Value(Opt::Color));
        if (!options.colour.isValid()) Fail(QStringLiteral("--color wants a name or #RRGGBB"));
    }
    if (line.Has(Opt::Position)) {
        const auto position = ParsePosition(line.Value(Opt::Position));
        if (!position)
            Fail(QStringLiteral("--position wants X,Y in pixels or X%,Y% of the picture's sides"));
        options.placement.margin = position->first;
        options.placement.marginInPercent = position->second;
    }
    if (line.Has(Opt::Metadata)) {
        const auto choice = imaging::MetadataChoiceNamed(line.Value(Opt::Metadata));
        if (!choice) Fail(QStringLiteral("--metadata is one of rights, all, none"));
        options.metadata = *choice;
    }
    if (line.Has(Opt::Anchor)) {
        const auto anchor = imaging::AnchorNamed(line.Value(Opt::Anchor));
        if (!anchor)
            Fail(QStringLiteral("--anchor is one of %1")
                     .arg(imaging::AnchorNames().join(QStringLiteral(", "))));
        options.placement.anchor = *anchor;
    }
    options.textUpright = line.Has(Opt::TextUpright);
}

/// Where the outputs go, and what the run writes besides.
void ParseOutputs(const CommandLine& line, Options& options) {
    const bool fromList = line.Has(Opt::FilesFrom);
    options.output = line.Value(Opt::Output);
    options.outputDir = line.Value(Opt::OutputDir);
    if (!options.output.isEmpty() && (options.inputs.size() > 1 || fromList))
        Fail(QStringLiteral("--output names one file; use --output-dir for several inputs"));
    if (line.Has(Opt::Name)) {
        options.nameTemplate = line.Value(Opt::Name);
        if (const auto problem = NameTemplateProblem(options.nameTemplate))
            Fail(QStringLiteral("--name: %1").arg(*problem));
        if (!options.output.isEmpty())
            Fail(QStringLiteral("--output names the file itself; --name is for several inputs"));
    }
    if (!options.output.isEmpty() && !options.outputDir.isEmpty())
        Fail(QStringLiteral("--output and --output-dir exclude each other"));
    if (!options.outputDir.isEmpty() && !QFileInfo(options.outputDir).isDir())
        Fail(QStringLiteral("no such folder: %1").arg(options.outputDir));
    options.overwrite = line.Has(Opt::Overwrite);
    options.skipExisting = line.Has(Opt::SkipExisting);
    if (options.overwrite && options.skipExisting)
        Fail(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    if (options.output == u"-" && line.Value(Opt::Report) == u"-")
        Fail(QStringLiteral("the TIFF goes to standard output; --report needs a file"));
    for (const QString& input : options.inputs)
        if (input != u"-")
            if (const auto identity = host::IdentityOf(input))
                options.inputFiles.push_back(*identity);
    std::sort(options.inputFiles.begin(), options.inputFiles.end());
    // Writing the report would empty the list being read, or a photo, by any of its names.
    if (line.Has(Opt::Report) && line.Value(Opt::Report) != u"-") {
        if (const auto report = host::IdentityOf(line.Value(Opt::Report))) {
            if (fromList && report == host::IdentityOf(line.Value(Opt::FilesFrom)))
                Fail(QStringLiteral("--report would write over the list --files-from reads"));
            if (std::binary_search(options.inputFiles.begin(), options.inputFiles.end(), *report))
                Fail(QStringLiteral("--report would write over a photo it converts"));
        }
    }
    if (line.Has(Opt::Quiet) && line.Has(Opt::Verbose))
        Fail(QStringLiteral("--quiet and --verbose exclude each other"));
    if (line.Has(Opt::Shard) && !ParseShard(line.Value(Opt::Shard)))
        Fail(QStringLiteral("--shard wants K/N with 1 <= K <= N, as 2/8"));
}

/// Colours, orientation, limits and cores.
void ParseHandling(const CommandLine& line, Options& options) {
    options.toSrgb = line.Has(Opt::Srgb);
    options.autoOrient = line.Has(Opt::AutoOrient);
    if (line.Has(Opt::Background)) {
        options.background = QColor::fromString(line.Value(Opt::Background));
        if (!options.background.isValid())
            Fail(QStringLiteral("--background wants a name or #RRGGBB"));
    }
    if (line.Has(Opt::MaxPixels)) {
        const std::optional<int64_t> pixels = ParseByteSize(line.Value(Opt::MaxPixels));
        if (!pixels || *pixels < 1)
            Fail(QStringLiteral("--max-pixels wants a number of pixels, as 100M"));
        options.limits.maxPixels = *pixels;
    }
    if (line.Has(Opt::MaxMemory)) {
        const std::optional<int64_t> bytes = ParseByteSize(line.Value(Opt::MaxMemory));
        if (!bytes || *bytes < (int64_t{16} << 20))
            Fail(QStringLiteral("--max-memory wants a size of at least 16M, as 512M or 2G"));
        options.limits.maxMemory = *bytes;
    }
    // By default as many photos at once as the process may really use cores.
    options.jobs = line.Has(Opt::Jobs) ? IntegerOf(line, Opt::Jobs, 1, 256)
                                       : host::CoresForThisProcess().count;
}

}  // namespace

std::variant<Options, UsageError> ReadOptions(const QCommandLineParser& parser) {
    const CommandLine line(parser);
    Options options;
    options.inputs = parser.positionalArguments();
    try {
        ParseInputs(line, options);
        ParseSizeAndTurn(line, options);
        ParseText(line, options);
        ParseOutputs(line, options);
        ParseHandling(line, options);
    } catch (const UsageError& mistake) {
        return mistake;
    }
    return options;
}

}  // namespace cli
