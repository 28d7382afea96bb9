// Writes the desktop entry from its template, with the MIME types of the
// formats the program opens: usage: desktop_entry TEMPLATE OUTPUT

#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "imaging/formats.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TEMPLATE OUTPUT\n", argv[0]);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    QByteArray entry = in.readAll();
    entry.replace("@MIME_TYPES@", (imaging::PhotoMimeTypes().join(u';') + u';').toUtf8());
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(entry) != entry.size() || !out.commit()) {
        std::fprintf(stderr, "%s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
