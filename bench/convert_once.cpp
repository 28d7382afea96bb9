// One conversion through Tessiva's imaging layer, as Convert runs it:
//   convert_once INPUT WIDTH HEIGHT ANGLE OUTPUT.tif

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "imaging/bitmap.h"
#include "imaging/imaging_library.h"
#include "imaging/photo.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s INPUT WIDTH HEIGHT ANGLE OUTPUT.tif\n", argv[0]);
        return 2;
    }
    int status = 1;
    {
        imaging::LibrarySession session;
        const auto photo = imaging::LoadPhoto(QString::fromLocal8Bit(argv[1]));
        const auto bitmap = imaging::Bitmap::Create(std::atoi(argv[2]), std::atoi(argv[3]));
        if (bitmap && bitmap->SetResolution(photo->HorizontalResolution()) &&
            bitmap->DrawScaled(*photo) &&
            bitmap->RotateFlip(imaging::RotateFlipFor(std::atoi(argv[4]), 0).value_or(0)) &&
            bitmap->SaveTiff(QString::fromLocal8Bit(argv[5])))
            status = 0;
    }
    imaging::ShutdownLibrary();
    if (status) std::fprintf(stderr, "conversion failed\n");
    return status;
}
