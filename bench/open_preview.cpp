// Time from "file chosen" to "preview ready" for large JPEGs, side by side
// with libvips' own thumbnailer (in-process and as the vipsthumbnail command),
// and the time a frame change takes in a TIFF of 10,000 pages.
//
//   build/bench/open_preview_bench [folder for the test photos]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <vips/vips8>

#include "imaging/imaging_library.h"
#include "imaging/photo.h"

namespace {

constexpr int kRuns = 7;
const QSize kPreview(196, 125);  // the main dialog's picture frame at 96 dpi

struct Stats {
    double median, min, max;
};

Stats Measure(const std::function<void()>& run) {
    std::vector<double> times;
    run();  // warm the file cache
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

QString MakeJpeg(const QString& folder, int width, int height) {
    const QString path = QStringLiteral("%1/photo-%2x%3.jpg").arg(folder).arg(width).arg(height);
    if (QFile::exists(path)) return path;
    // Gradients with grain: compresses like a real photo, not like a flat
    // field or pure noise.
    const vips::VImage xy = vips::VImage::xyz(width, height);
    const vips::VImage grain =
        vips::VImage::gaussnoise(width, height, vips::VImage::option()->set("sigma", 6.0));
    const vips::VImage x = xy[0] * (200.0 / width), y = xy[1] * (200.0 / height);
    const vips::VImage rgb =
        vips::VImage::bandjoin({x + grain, y + grain * 0.8, (x + y) * 0.5 + grain * 0.6 + 20})
            .cast(VIPS_FORMAT_UCHAR)
            .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    rgb.jpegsave(QFile::encodeName(path).constData(), vips::VImage::option()->set("Q", 90));
    return path;
}

/// libvips' own thumbnail of @p file at the preview's size, pixels and all.
void LibraryThumbnail(const std::string& file) {
    const vips::VImage thumb = vips::VImage::thumbnail(
        file.c_str(), kPreview.width(),
        vips::VImage::option()->set("height", kPreview.height())->set("size", VIPS_SIZE_FORCE));
    size_t bytes = 0;
    g_free(thumb.write_to_memory(&bytes));
}

void Row(const char* what, const Stats& s) {
    std::printf("  %-34s median %8.1f ms   min %8.1f   max %8.1f\n", what, s.median, s.min, s.max);
}

QString MakePagedTiff(const QString& folder, int pages) {
    const QString path = QStringLiteral("%1/pages-%2.tif").arg(folder).arg(pages);
    if (QFile::exists(path)) return path;
    vips::VImage strip = vips::VImage::xyz(64, 48 * pages)[1].cast(VIPS_FORMAT_UCHAR);
    strip.set("page-height", 48);
    strip.tiffsave(QFile::encodeName(path).constData());
    return path;
}

/// From typing a frame number to its preview, late in a long multi-page TIFF,
/// beside libvips' thumbnailer asked for that page.
void FrameChange(const QString& folder) {
    constexpr int kPages = 10000;
    const QString path = MakePagedTiff(folder, kPages);
    std::printf(
        "TIFF of %d pages (64x48 each), opening it and changing to a late page, %d runs each:\n",
        kPages, kRuns);
    const Stats opening = Measure([&] {
        if (imaging::LoadPhoto(path)->Preview(kPreview).isNull())
            std::fprintf(stderr, "no preview!\n");
    });
    auto photo = imaging::LoadPhoto(path);
    const std::vector<imaging::FrameKind> dimensions = photo->FrameDimensions();
    if (dimensions.empty() || photo->FrameCount(dimensions[0]) != kPages) {
        std::fprintf(stderr, "the paged TIFF did not open\n");
        return;
    }
    uint32_t page = kPages - 1;
    const Stats ours = Measure([&] {
        page = page == kPages - 1 ? kPages - 2 : kPages - 1;  // a real change every run
        photo->SelectActiveFrame(dimensions[0], page);
        if (photo->Preview(kPreview).isNull()) std::fprintf(stderr, "no preview!\n");
    });
    const std::string late =
        QFile::encodeName(path).toStdString() + "[page=" + std::to_string(kPages - 1) + "]";
    const Stats library = Measure([&] { LibraryThumbnail(late); });
    Row("Tessiva open + first preview", opening);
    Row("Tessiva frame change + preview", ours);
    Row("vips_thumbnail of that page", library);
    std::printf("  vips_thumbnail of the page takes %.0f times as long as a frame change\n\n",
                library.median / ours.median);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    imaging::LibrarySession session;
    vips_cache_set_max(0);  // every run decodes afresh, as a new open does
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    QDir().mkpath(folder);
    const QString vipsthumbnail = QStringLiteral("vipsthumbnail");

    for (const QSize size : {QSize(6000, 4000), QSize(12000, 8400)}) {
        const QString path = MakeJpeg(folder, size.width(), size.height());
        const std::string native = QFile::encodeName(path).toStdString();
        std::printf("%.0f megapixel JPEG (%dx%d, %.1f MB), %d runs each:\n",
                    size.width() * double(size.height()) / 1e6, size.width(), size.height(),
                    QFile(path).size() / 1e6, kRuns);

        const Stats ours = Measure([&] {
            auto photo = imaging::LoadPhoto(path);
            if (photo->Preview(kPreview).isNull()) std::fprintf(stderr, "no preview!\n");
        });
        const Stats library = Measure([&] { LibraryThumbnail(native); });
        const QString out = scratch.filePath(QStringLiteral("thumb.png"));
        const Stats command = Measure([&] {
            QProcess::execute(
                vipsthumbnail,
                {path, QStringLiteral("-s"),
                 QStringLiteral("%1x%2!").arg(kPreview.width()).arg(kPreview.height()),
                 QStringLiteral("-o"), out});
        });
        Row("Tessiva open + preview", ours);
        Row("vips_thumbnail (in-process)", library);
        Row("vipsthumbnail (command)", command);
        std::printf("  ratio Tessiva / vips_thumbnail: %.2f   Tessiva / vipsthumbnail: %.2f\n\n",
                    ours.median / library.median, ours.median / command.median);
    }
    FrameChange(folder);
    imaging::ShutdownLibrary();
    return 0;
}
