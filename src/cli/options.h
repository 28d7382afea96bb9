#pragma once

// The command line's options: one table from which the parser, the help and
// the checks of the manual page and the shell completion come.

#include <QString>
#include <span>

class QCommandLineParser;

namespace cli {

enum class Opt {
    Help,
    HelpAll,
    Version,
    Width,
    Height,
    Rotate,
    Flip,
    Frame,
    Dimension,
    Text,
    Font,
    Color,
    Position,
    Anchor,
    Metadata,
    TextUpright,
    Output,
    OutputDir,
    Overwrite,
    Jobs,
    FilesFrom,
    Null,
    Shard,
    SkipExisting,
    Name,
    Report,
    Quiet,
    Verbose,
    Language,
    ListLanguages,
    Srgb,
    AutoOrient,
    Background,
    MaxPixels,
    MaxMemory,
};

struct OptionEntry {
    Opt option;
    const char* shortName;  // "" when there is none
    const char* name;
    const char* valueName;  // "" for a switch
    const char* help;
};

/// Every option but --help, --help-all and --version, in the order the help lists them.
std::span<const OptionEntry> OptionTable();

/// Describes the program, its inputs and every option to @p parser.
void DescribeOptions(QCommandLineParser& parser);

/// The parsed command line, asked by option.
class CommandLine {
public:
    explicit CommandLine(const QCommandLineParser& parser) : m_parser(parser) {}
    bool Has(Opt option) const;
    QString Value(Opt option) const;
    /// "--width" and so on, as messages name it.
    static QString Name(Opt option);

private:
    const QCommandLineParser& m_parser;
};

}  // namespace cli
