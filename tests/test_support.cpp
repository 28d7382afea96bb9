#include "test_support.h"

TempFolder::TempFolder() {
    m_dir.setAutoRemove(true);
}

QString TempFolder::write(const QString& relative, const QByteArray& content) const {
    const QString path = file(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) out.write(content);
    return path;
}

QString TempFolder::mkdir(const QString& relative) const {
    const QString path = file(relative);
    QDir().mkpath(path);
    return path;
}

QString ReadText(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
}
