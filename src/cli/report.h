#pragma once

#include <QFile>
#include <QString>

#include "cli/batch.h"

namespace cli {

/// The machine-readable account of a run: one JSON object per input and
/// line, written and flushed as each input finishes.
class Report {
public:
    /// Opens @p path for writing ("-" is standard output), after what it
    /// holds when @p append (a resumed run keeps the lines of the runs
    /// before); check Error().
    Report(const QString& path, bool append);
    const QString& Error() const { return m_error; }

    /// Writes @p result's line: input, output, status (converted, warning,
    /// skipped or failed), error (on failure) or warning, width and height (of
    /// a written TIFF) and seconds.
    void Add(const FileResult& result);

private:
    QFile m_file;
    QString m_error;
};

/// The status word of @p result in the report.
QString StatusOf(const FileResult& result);

}  // namespace cli
