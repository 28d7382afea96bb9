#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

namespace cli {

/// What the user asked for on the command line.
struct Options {
    QStringList inputs;
    std::optional<int> width;
    std::optional<int> height;
    int angle = 0;
    int flipType = 0;
    int frame = 0;
    QString dimension;  // "time", "page", "resolution" or a 0-based index; empty: the first
    QString text;
    QFont font;
    QColor colour = Qt::black;
    QPoint position;
    QString output;     // one input only
    QString outputDir;  // empty: beside each input
    bool overwrite = false;
    int jobs = 0;                   // 0: one per core
    bool toSrgb = false;            // convert through the embedded profile to sRGB
    bool autoOrient = false;        // turn photos upright by the camera's orientation
    QColor background = Qt::black;  // under transparent parts
};

/// The outcome of one input.
struct FileResult {
    QString input;
    QString output;
    bool ok = false;
    QStringList messages;  // in the order they happened
    QStringList warnings;  // what went wrong without stopping the conversion
};

/// The file @p input is written to under @p options.
QString OutputFor(const Options& options, const QString& input);

/// Converts one input; messages are the program's, from the current language.
FileResult ConvertFile(const Options& options, const QString& input);

/// Converts every input on @p jobs threads; @p done is called (from any
/// thread, one call at a time) as each file finishes. Stops taking new files
/// once @p stop is set. An input whose output an earlier input of the run
/// writes fails without being read. The results in input order; unconverted
/// ones are marked with no messages and not ok.
std::vector<FileResult> ConvertAll(
    const Options& options, int jobs, const std::atomic<bool>& stop,
    const std::function<void(const FileResult&, int finished)>& done);

/// Parses a font description: a family, then any of the words bold, italic,
/// underline, strikeout, and a pixel size ("DejaVu Sans bold 24").
std::optional<QFont> ParseFontDescription(const QString& description);

}  // namespace cli
