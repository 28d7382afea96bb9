#pragma once

// Runs the command-line converter, as the tests of the runner that links it
// (and so knows where it is) need it.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

/// What a run of the converter came to.
struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QString errors;
};

/// How the converter is run beyond its arguments.
struct CliSetting {
    QByteArray input;  // its standard input
    QString folder;    // its working folder; the test's own when empty
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

inline CliRun RunCli(const QStringList& arguments, const CliSetting& setting = {}) {
    QProcess process;
    process.setProcessEnvironment(setting.environment);
    if (!setting.folder.isEmpty()) process.setWorkingDirectory(setting.folder);
    process.start(QStringLiteral(TESSIVA_CLI), arguments);
    process.write(setting.input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(300000));
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

/// @p spaced split at its spaces, for arguments that hold none: Args("-W 90 -r 90").
inline QStringList Args(const QString& spaced) {
    return spaced.split(u' ', Qt::SkipEmptyParts);
}
