// The window's responsiveness: how long the result preview takes to follow a
// change of a field on a 24-megapixel photo, and the longest time the GUI
// thread goes without turning while a 100-megapixel photo converts.
//
//   build/bench/window_bench [folder for the test photos]

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <vips/vips8>

#include "fake_platform.h"
#include "host/cores.h"
#include "i18n/language.h"
#include "imaging/imaging_library.h"
#include "resources/resource.h"
#include "settings/store.h"
#include "ui/apply_language.h"
#include "ui/main_dialog.h"
#include "ui/result_view.h"

namespace {

/// A photo of @p width x @p height with detail everywhere, made once.
QString BenchPhoto(const QDir& folder, int width, int height) {
    const QString path = folder.filePath(QStringLiteral("window-%1x%2.jpg").arg(width).arg(height));
    if (!QFile::exists(path)) {
        const vips::VImage noise = vips::VImage::gaussnoise(width, height) + 128;
        vips::VImage::bandjoin({noise, noise.rot90(), noise.flip(VIPS_DIRECTION_HORIZONTAL)})
            .cast(VIPS_FORMAT_UCHAR)
            .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
            .write_to_file(QFile::encodeName(path).constData());
    }
    return path;
}

/// The process's resident memory in MB, where the system tells it; -1 elsewhere.
long ResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

QLineEdit* Edit(MainDialog& dialog, int id) {
    return qobject_cast<QLineEdit*>(dialog.ControlById(id));
}

void Open(MainDialog& dialog, FakePlatform& platform, const QString& path) {
    platform.openChoices = {path};
    qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_BUTTON_OPEN_PHOTO))->click();
}

}  // namespace

int main(int argc, char* argv[]) {
    host::ShareFewHeaps();  // as the program starts
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir scratch;
    const QDir photos(argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path());
    QDir().mkpath(photos.path());
    FakePlatform platform;
    platform.picturesFolder = scratch.path();
    settings::Store store(scratch.filePath(QStringLiteral("tessiva.conf")));
    store.WriteProfileInt(QStringLiteral("Option"), QStringLiteral("nShowResult"), 1);
    StartLanguage(store, platform, QStringLiteral(TESSIVA_SOURCE_DIR));
    {
        MainDialog dialog(store, platform);
        dialog.Create();
        dialog.show();

        // The result preview on a 24-megapixel photo, turned with a caption.
        const QString photo24 = BenchPhoto(photos, 6000, 4000);
        QElapsedTimer clock;
        clock.start();
        Open(dialog, platform, photo24);
        const double openMs = clock.nsecsElapsed() / 1e6;
        qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_RADIO_ROTATE_90))->click();
        Edit(dialog, res::IDC_EDIT_TEXT)->setText(QStringLiteral("Tessiva \u00A9 2026"));
        std::vector<double> follow;
        for (int width = 1000; width < 6000; width += 250) {
            clock.restart();
            Edit(dialog, res::IDC_EDIT_OUTPUT_WIDTH)->setText(QString::number(width));
            follow.push_back(clock.nsecsElapsed() / 1e6);
        }
        std::sort(follow.begin(), follow.end());
        std::printf("Result preview, 24 MP photo (6000 x 4000), turned, with a caption\n");
        std::printf("  open, with the first preview:       %7.1f ms\n", openMs);
        std::printf(
            "  following a typed width: median %5.2f ms, max %5.2f ms (%zu changes; goal 50 ms)\n",
            follow[follow.size() / 2], follow.back(), follow.size());

        // The result at full size: from the command until the middle shows at 1:1.
        {
            Edit(dialog, res::IDC_EDIT_OUTPUT_WIDTH)->setText(QStringLiteral("6000"));
            Edit(dialog, res::IDC_EDIT_OUTPUT_HEIGHT)->setText(QStringLiteral("4000"));
            double fittedMs = 0, actualMs = 0;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                ResultView* view = dialog.ShownResultView();
                if (!view) return;
                watch.stop();
                fittedMs = clock.nsecsElapsed() / 1e6;
                QObject::connect(&view->Canvas(), &ResultCanvas::AreaShown, view, [&, view] {
                    actualMs = clock.nsecsElapsed() / 1e6;
                    view->accept();
                });
                view->Canvas().SetActualSize(true);
            });
            watch.start(0);
            clock.restart();
            dialog.OnCommand(res::IDM_SHOW_FULL_SIZE);
            std::printf(
                "  the result at full size: fitted in %.0f ms, the middle at 1:1 in %.0f ms "
                "(goal 1000 ms)\n",
                fittedMs, actualMs);
        }

        // Memory across conversions: turned outputs are not kept.
        Edit(dialog, res::IDC_EDIT_OUTPUT_WIDTH)->setText(QStringLiteral("6000"));
        Edit(dialog, res::IDC_EDIT_OUTPUT_HEIGHT)->setText(QStringLiteral("4000"));
        Edit(dialog, res::IDC_EDIT_TEXT)->clear();
        Edit(dialog, res::IDC_EDIT_OUTPUT_FILE)
            ->setText(scratch.filePath(QStringLiteral("turned.tif")));
        std::vector<long> resident;
        for (int i = 0; i < 10; ++i) {
            platform.answers = {MsgResult::Yes};
            qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_BUTTON_CONVERT))->click();
            resident.push_back(ResidentMb());
        }
        std::printf("\nTen conversions of the 24 MP photo turned 90 degrees: resident memory\n ");
        for (const long mb : resident) std::printf(" %ld", mb);
        std::printf(" MB (goal: the last within 50 MB of the first)\n");

        // The GUI thread while a 100-megapixel photo converts.
        const QString photo100 = BenchPhoto(photos, 12000, 8400);
        Open(dialog, platform, photo100);
        Edit(dialog, res::IDC_EDIT_OUTPUT_FILE)
            ->setText(scratch.filePath(QStringLiteral("out.tif")));
        QElapsedTimer sinceTick;
        double longestStallMs = 0;
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestStallMs = std::max(longestStallMs, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
            ++ticks;
        });
        platform.answers = {MsgResult::Yes};
        clock.restart();
        sinceTick.start();
        ticker.start();
        qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_BUTTON_CONVERT))->click();
        ticker.stop();
        std::printf("\nConverting a 100 MP photo (12000 x 8400) at its size, turned 90 degrees\n");
        std::printf(
            "  conversion: %.2f s; GUI thread ticks every 5 ms: %d ticks, longest gap %.1f ms "
            "(goal 100 ms)\n",
            clock.nsecsElapsed() / 1e9, ticks, longestStallMs);
        // Stopped conversions free what they held.
        std::vector<long> stopped;
        for (int i = 0; i < 10; ++i) {
            platform.answers = {MsgResult::Yes};
            QTimer::singleShot(800, [&] {
                for (auto* progress : dialog.findChildren<QProgressDialog*>()) progress->cancel();
            });
            qobject_cast<QAbstractButton*>(dialog.ControlById(res::IDC_BUTTON_CONVERT))->click();
            stopped.push_back(ResidentMb());
        }
        std::printf("  ten conversions stopped after 0.8 s: resident memory\n ");
        for (const long mb : stopped) std::printf(" %ld", mb);
        std::printf(" MB\n");
        for (const auto& message : platform.messages)
            if (!message.text.endsWith(QStringLiteral("exists. Do you want to replace it?")))
                std::printf("  message: %s\n", qPrintable(message.text));
    }
    StopLanguage();
    imaging::ShutdownLibrary();
    return 0;
}
