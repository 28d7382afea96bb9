#include "cli/options.h"

#include <QCommandLineParser>
#include <array>

namespace cli {

namespace {

constexpr std::array<OptionEntry, 32> kOptions{{
    {Opt::Width, "W", "width", "N",
     "Width of the output before turning, in pixels; alone, the height keeps "
     "the photo's proportions."},
    {Opt::Height, "H", "height", "N",
     "Height of the output before turning, in pixels; alone, the width keeps "
     "the photo's proportions."},
    {Opt::Rotate, "r", "rotate", "DEGREES", "Turn clockwise by 0, 90, 180 or 270 degrees."},
    {Opt::Flip, "f", "flip", "HOW", "After turning, mirror: none, horizontal or vertical."},
    {Opt::Frame, "", "frame", "N", "Frame to convert, from 0 (animations, pages, icon sizes)."},
    {Opt::Dimension, "", "dimension", "NAME",
     "Kind of frames for --frame: time, page, resolution or an index."},
    {Opt::Text, "t", "text", "TEXT",
     "Text to write onto the photo; a line break starts a new line."},
    {Opt::Font, "", "font", "DESCRIPTION",
     "Font of the text: family, style words, and a pixel size or a share of "
     "the picture's height, as \"DejaVu Sans bold 24\" or \"DejaVu Sans 3%\"."},
    {Opt::Color, "", "color", "COLOUR",
     "Colour of the text: a name, #RRGGBB, or #AARRGGBB to see through it "
     "(default black)."},
    {Opt::Position, "", "position", "X,Y",
     "Where the text goes, in pixels or X%,Y% of the picture's sides: its "
     "top-left corner (default 0,0), or its margin from --anchor; counted "
     "before turning, or in the turned output with --text-upright."},
    {Opt::Anchor, "", "anchor", "POINT",
     "Place the text from a corner, an edge or the centre: north-west, north, "
     "north-east, west, centre, east, south-west, south, south-east."},
    {Opt::Metadata, "", "metadata", "WHAT",
     "What of the photo's EXIF, IPTC and XMP travels: rights (creator, "
     "copyright, caption and capture date; the default), all (location, "
     "camera and orientation too) or none."},
    {Opt::TextUpright, "", "text-upright", "",
     "Write the text after turning and mirroring, so that it reads upright "
     "(default: the text turns and mirrors with the photo)."},
    {Opt::Output, "o", "output", "FILE", "Output file, for a single input."},
    {Opt::OutputDir, "d", "output-dir", "DIR",
     "Folder for the outputs (default: beside each input), named NAME_out.tif."},
    {Opt::Overwrite, "", "overwrite", "", "Replace outputs that exist."},
    {Opt::Jobs, "j", "jobs", "N",
     "Cores to use (default: all): photos converted at once times the threads "
     "each one uses stays within N."},
    {Opt::FilesFrom, "", "files-from", "FILE",
     "Read input names from FILE, one per line (- is standard input), as the "
     "work goes."},
    {Opt::Null, "0", "null", "", "The names of --files-from end with NUL characters, not lines."},
    {Opt::Shard, "", "shard", "K/N",
     "Convert only the inputs whose position, from 0, leaves remainder K-1 "
     "when divided by N; N shards together cover every input once."},
    {Opt::SkipExisting, "", "skip-existing", "",
     "Skip an input whose output exists (resumes an interrupted run)."},
    {Opt::Name, "", "name", "TEMPLATE",
     "Output file name from the fields {stem}, {ext} and {index} (default "
     "{stem}_out.tif)."},
    {Opt::Report, "", "report", "FILE",
     "Write a JSON line per input to FILE as each one finishes (- is standard "
     "output)."},
    {Opt::Quiet, "q", "quiet", "", "Print errors only."},
    {Opt::Verbose, "", "verbose", "", "Print a line per input with its timings."},
    {Opt::Language, "", "language", "NAME",
     "Language of the messages, by its English or own name or its file's "
     "(default: the locale's, as LANGUAGE, LC_ALL, LC_MESSAGES or LANG say, else English)."},
    {Opt::ListLanguages, "", "list-languages", "", "List the languages and exit."},
    {Opt::Srgb, "", "srgb", "",
     "Convert colours through the photo's embedded profile to sRGB, and say so with an "
     "sRGB profile (default: "
     "keep the stored values and carry the profile into the TIFF)."},
    {Opt::AutoOrient, "", "auto-orient", "",
     "Turn photos upright by the camera's orientation tag before anything else."},
    {Opt::Background, "", "background", "COLOUR",
     "Colour under transparent parts: a name or #RRGGBB (default black)."},
    {Opt::MaxPixels, "", "max-pixels", "N",
     "Refuse photos of more pixels than N (K, M or G multiply by 1024; "
     "default 512M, 536,870,912)."},
    {Opt::MaxMemory, "", "max-memory", "SIZE",
     "Refuse work that would hold more than SIZE bytes at once for one photo: "
     "pictures decoded or drawn whole, and turned outputs (default 1G)."},
}};

QString NameOf(Opt option) {
    switch (option) {
        case Opt::Help:
            return QStringLiteral("help");
        case Opt::HelpAll:
            return QStringLiteral("help-all");
        case Opt::Version:
            return QStringLiteral("version");
        default:
            break;
    }
    for (const OptionEntry& entry : kOptions)
        if (entry.option == option) return QString::fromLatin1(entry.name);
    return {};
}

}  // namespace

std::span<const OptionEntry> OptionTable() {
    return kOptions;
}

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
    for (const OptionEntry& entry : kOptions) {
        QStringList names{QString::fromLatin1(entry.name)};
        if (*entry.shortName) names.prepend(QString::fromLatin1(entry.shortName));
        parser.addOption(QCommandLineOption(names, QString::fromUtf8(entry.help),
                                            QString::fromLatin1(entry.valueName)));
    }
}

bool CommandLine::Has(Opt option) const {
    return m_parser.isSet(NameOf(option));
}

QString CommandLine::Value(Opt option) const {
    return m_parser.value(NameOf(option));
}

QString CommandLine::Name(Opt option) {
    return QStringLiteral("--") + NameOf(option);
}

}  // namespace cli
