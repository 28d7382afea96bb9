// One conversion through Tessiva's imaging layer, as Convert runs it:
//   convert_once INPUT WIDTH HEIGHT ANGLE OUTPUT.tif

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "imaging/execute.h"
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
        imaging::ConversionRequest request;
        request.output = QSize(std::atoi(argv[2]), std::atoi(argv[3]));
        request.angle = std::atoi(argv[4]);
        const imaging::ConversionPlan plan =
            imaging::PlanConversion(imaging::FactsOf(*photo), request);
        if (!imaging::Execute(plan, *photo, {}, {QString::fromLocal8Bit(argv[5])})) status = 0;
    }
    imaging::ShutdownLibrary();
    if (status) std::fprintf(stderr, "conversion failed\n");
    return status;
}
