#pragma once

// Carries out a conversion plan: into a TIFF, or small into an image for the
// window to show. Both run the same stages on the same plan.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <variant>

#include "imaging/plan.h"

class QIODevice;

namespace imaging {

/// What one execution may spend, and how it is watched.
struct Budget {
    Limits limits;                            // for what is held whole
    bool strict = false;                      // fail at the first damage the decoder notices
    int threads = 0;                          // computing and compressing; 0: one per core
    const std::atomic<bool>* stop = nullptr;  // set to give up: the execution fails, "stopped"
    std::atomic<int>* progress = nullptr;     // set to the share done, in percent
    std::shared_ptr<DecoderBudget>
        decoder;  // the decoder's processor time, shared with the opening
};

/// Where the TIFF goes.
struct Output {
    QString path;                 // replaced only by a complete new file
    bool mayReplace = true;       // false: a file that took the name meanwhile fails the save
    QIODevice* device = nullptr;  // written here, front to back, instead of `path` when set
};

/// Writes the TIFF of @p plan from @p photo's active frame; nothing when it
/// was written, else the step that failed and why. Nothing is left of a
/// failed file, and nothing reaches a device before the last strip is ready.
std::optional<StepFailure> Execute(const ConversionPlan& plan, const Photo& photo,
                                   const Budget& budget, const Output& output);

/// Executes @p plan reading the photo strictly and, when that finds it
/// damaged, once more reading it as far as it goes; the damage found then goes
/// to @p damage. Nothing is written before the pixels come, so a device takes
/// the second reading too.
std::optional<StepFailure> ExecuteDespiteDamage(const ConversionPlan& plan, const Photo& photo,
                                                Budget budget, const Output& output,
                                                QString* damage);

/// What Execute would write in @p area of the output (its pixels, after the
/// turn), computing only what turns into it; the part of @p area that lies
/// in the output, or why it cannot be had.
std::variant<QImage, StepFailure> ExecuteArea(const ConversionPlan& plan, const Photo& photo,
                                              const QRect& area, const Budget& budget = {});

/// What Execute would write, made from @p frame (the active frame as the
/// photo shows it, at any size) and fitted into @p box, centred on
/// @p background.
QImage ExecuteSmall(const ConversionPlan& plan, const QImage& frame, const QSize& box,
                    const QColor& background);

}  // namespace imaging
