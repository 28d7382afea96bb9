// Opening, previewing and converting an arbitrary file as a photo.
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include <vips/vips8>
#include "imaging/execute.h"
#include "imaging/imaging_library.h"
#include "imaging/photo.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VIPS_WARNING", "0");
    qputenv("TESSIVA_DECODER", TESSIVA_DECODER);
    static QGuiApplication app(*argc, *argv);
    static imaging::LibrarySession session;
    vips_cache_set_max(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    // The name picks the loader for formats told by their extension.
    static const char* kNames[] = {"p.jpg", "p.png", "p.gif", "p.tif",
                                   "p.ico", "p.wmf", "p.emf", "p.dng"};
    const QString path = folder.filePath(QString::fromLatin1(kNames[size % 8]));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    // Half the inputs are opened upright and converted to sRGB, the rest as stored.
    const bool upright = (size / 8) % 2 == 1;
    imaging::OpenOptions options;
    options.autoOrient = upright;
    const auto photo = imaging::LoadPhoto(path, options);
    if (photo->Width() > 0 && photo->Height() > 0) {
        (void)photo->Preview(QSize(16, 12));
        for (imaging::FrameKind dimension : photo->FrameDimensions()) {
            const uint32_t last = photo->FrameCount(dimension) - 1;
            if (photo->SelectActiveFrame(dimension, last) && last > 1 &&
                photo->SelectActiveFrame(dimension, 1))
                (void)photo->Preview(QSize(16, 12));
        }
        imaging::ConversionRequest request;
        request.output = QSize(8, 8);
        request.angle = 90;
        request.flipType = 1;
        request.colours =
            upright ? imaging::ColourHandling::ToSrgb : imaging::ColourHandling::KeepStored;
        imaging::Budget budget;
        budget.strict = upright;
        // The frame is decoded as the TIFF is written.
        QBuffer tiff;
        tiff.open(QIODevice::WriteOnly);
        (void)imaging::Execute(imaging::PlanConversion(imaging::FactsOf(*photo), request), *photo,
                               budget, {{}, true, &tiff});
    }
    QFile::remove(path);
    return 0;
}
