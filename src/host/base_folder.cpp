#include "host/base_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "host/native_file.h"

namespace host {

QChar PathSeparator() {
    return QDir::separator();
}

bool FileExists(const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isDir()) return false;
    return CanOpenForReading(path);
}

QString FolderOf(const QString& path) {
    const qsizetype cut = path.lastIndexOf(PathSeparator());
    return cut < 0 ? QString() : path.left(cut + 1);
}

QString BaseFolderFor(const QString& path) {
    // A program started through a link belongs where the link points.
    const QString resolved = QFileInfo(path).canonicalFilePath();
    const QString executablePath = resolved.isEmpty() ? path : QDir::toNativeSeparators(resolved);
    const QChar sep = PathSeparator();
    const qsizetype exeCut = executablePath.lastIndexOf(sep);
    const QString exeFolder = exeCut < 0 ? executablePath : executablePath.left(exeCut);
    const qsizetype parentCut = exeFolder.lastIndexOf(sep);
    if (parentCut < 0) return exeFolder;
    const QString parent = exeFolder.left(parentCut);
    const auto holdsLanguages = [sep](const QString& folder) {
        return FileExists(folder + sep + QStringLiteral("language") + sep +
                          QStringLiteral("English.ini"));
    };
    if (holdsLanguages(parent)) return parent;
    // Installed by the file-system hierarchy: <prefix>/bin beside <prefix>/share/tessiva.
    const QString shared = parent + sep + QStringLiteral("share") + sep + QStringLiteral("tessiva");
    if (!holdsLanguages(exeFolder) && holdsLanguages(shared)) return shared;
    return exeFolder;
}

QString ExecutablePath() {
    const QString path = QCoreApplication::applicationFilePath();
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return QDir::toNativeSeparators(resolved.isEmpty() ? path : resolved);
}

QString GetBaseFolder() {
    return BaseFolderFor(ExecutablePath());
}

}  // namespace host
