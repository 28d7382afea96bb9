#pragma once

// The command line read into the options of a run, every mistake found
// before anything is converted.

#include <QCommandLineParser>
#include <QString>
#include <variant>

#include "cli/batch.h"
#include "cli/options.h"

namespace cli {

/// A mistake on the command line, in words for its user (status 2).
struct UsageError {
    QString text;
};

/// The options @p parser read (after a successful parse), or the first mistake in them.
std::variant<Options, UsageError> ReadOptions(const QCommandLineParser& parser);

}  // namespace cli
