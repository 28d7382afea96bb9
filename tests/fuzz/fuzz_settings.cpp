// The settings store's reads on an arbitrary settings file.
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "settings/store.h"
#include "settings/stored_font.h"

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(u"tessiva.conf"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const settings::Store store(path);
    for (const char* key : {"nRotateAngel", "nFlipType", "lfHeight", "x"})
        (void)store.GetProfileInt(u"Option"_s, QString::fromLatin1(key), 7);
    for (const char* key : {"CurrentLanguage", "last_output_folder", "LastPhotoFolder"})
        (void)store.GetProfileString(u"Option"_s, QString::fromLatin1(key), u"d"_s);
    (void)settings::ReadFont(store, u"CurrentFont"_s, {-13, 400, QString()});
    (void)settings::ParseStoredInt(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
