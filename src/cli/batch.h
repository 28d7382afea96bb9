#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "cli/inputs.h"
#include "host/native_file.h"
#include "imaging/metadata.h"
#include "imaging/photo.h"
#include "imaging/text_layout.h"
#include "resources/texts.h"

class QIODevice;

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
    imaging::TextPlacement placement;  // by default the top-left corner at 0,0 in pixels
    bool textUpright = false;          // text drawn after the turn, placed in the output's frame
    QString output;                    // one input only; "-" is standard output
    QString outputDir;                 // empty: beside each input
    QString nameTemplate = QStringLiteral("{stem}_out.tif");
    bool overwrite = false;
    bool skipExisting = false;          // an input whose output exists is skipped, not failed
    QString standardInputCopy;          // the photo read from standard input, for the input "-"
    QIODevice* outputDevice = nullptr;  // for the output "-"
    std::vector<host::FileIdentity> inputFiles;  // the inputs named on the command line, sorted
    int jobs = 0;                                // 0: one per core
    bool toSrgb = false;                         // convert through the embedded profile to sRGB
    bool autoOrient = false;                     // turn photos upright by the camera's orientation
    QColor background = Qt::black;               // under transparent parts
    imaging::Limits limits;                      // what one photo may cost
    imaging::MetadataChoice metadata = imaging::MetadataChoice::Rights;
    int threadsPerPhoto = 0;  // 0: one per core
};

/// The outcome of one input.
struct FileResult {
    QString input;
    QString output;
    qint64 index = 0;      // position in the input order
    bool ok = false;       // converted
    bool skipped = false;  // its output existed and --skip-existing was given
    bool stopped = false;  // the run was interrupted before it was done: nothing written
    QStringList messages;  // in the order they happened
    QStringList warnings;  // what went wrong without stopping the conversion
    QStringList removed;   // partial files that stopped runs left in its folder, now gone
    int width = 0;         // of the TIFF written
    int height = 0;
    int cameraOrientation = 1;  // not 1: the camera turned the photo, and it was written as stored
    double openSeconds = 0;
    double convertSeconds = 0;
};

/// The fields an output name template may use.
inline constexpr const char* kNameFields = "{stem}, {ext} and {index}";

/// Why @p nameTemplate cannot name outputs (an unknown field, a folder
/// separator, nothing left), or nothing when it can.
std::optional<QString> NameTemplateProblem(const QString& nameTemplate);

/// The file @p input, at position @p index, is written to under @p options.
QString OutputFor(const Options& options, const QString& input, qint64 index);

/// Converts one input to @p output, giving up once @p stop is set; messages
/// are in @p words.
FileResult ConvertFile(const Options& options, const Input& input, const QString& output,
                       const std::atomic<bool>* stop = nullptr);

/// Converts the inputs of @p source, @p photosAtOnce at a time; @p done is
/// called (from any thread, one call at a time) as each input finishes, in the
/// order they finish. Stops taking new inputs once @p stop is set. An input
/// whose output an earlier input of the run writes fails without being read.
void ConvertAll(const Options& options, InputSource& source, int photosAtOnce,
                const std::atomic<bool>& stop, const std::function<void(const FileResult&)>& done);

/// Reads a number of bytes: digits, then K, M or G (powers of 1024).
std::optional<int64_t> ParseByteSize(const QString& text);

/// A font as the command line describes it.
struct FontDescription {
    QFont font;
    double percentOfHeight = 0;  // its size as a share of the picture's height; 0: its own
};

/// Parses a font description: a family, then any of the words bold, italic,
/// underline, strikeout, and a pixel size or a percentage of the picture's
/// height ("DejaVu Sans bold 24", "DejaVu Sans 3%").
std::optional<FontDescription> ParseFontDescription(const QString& description);

/// Parses "X,Y" in pixels or "X%,Y%" in percent of the picture's sides: the
/// point, and whether it is in percent.
std::optional<std::pair<QPointF, bool>> ParsePosition(const QString& text);

}  // namespace cli
