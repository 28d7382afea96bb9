#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <atomic>
#include <functional>

#include "imaging/metadata.h"
#include "imaging/photo.h"
#include "imaging/text_layout.h"

class QIODevice;

namespace imaging {

/// The steps of a conversion that can fail, or correct what they were given.
enum class Step {
    Scale,  // the frame cannot be decoded or scaled: nothing is saved
    TextX,  // the text's x lies outside the output: drawn at 0
    TextY,  // likewise y
    Angle,  // not 0, 90, 180 or 270: nothing is turned
    RotateFlip,
    Save,  // nothing is saved
};

/// A step that failed, and why, in the library's or the system's words
/// (empty when there is nothing to add to the step).
struct StepFailure {
    Step step;
    QString reason;
    bool damage = false;  // damage found by a strict reading, which a lenient one may get past
};

/// What one conversion makes of a photo's active frame.
struct ConversionOrder {
    int width = 0;  // output size before turning; both positive
    int height = 0;
    int angle = 0;     // degrees; other than 0, 90, 180, 270 turns nothing
    int flipType = 0;  // 0 none, 1 horizontal, 2 vertical; others turn nothing
    QString text;      // nothing drawn when empty
    QFont font;
    QColor colour = Qt::black;
    TextPlacement placement;   // where the text goes and how large: by default its top-left
                               // corner at a position in output pixels, before turning ...
    bool textUpright = false;  // ... or after it, the text then drawn upright
    QString outputPath;
    bool mayReplace = true;             // false: a file that took the name meanwhile fails the save
    QIODevice* outputDevice = nullptr;  // written here instead of outputPath when set
    ColourHandling colours = ColourHandling::KeepStored;
    QColor background = Qt::black;            // under transparent parts
    bool strict = false;                      // fail at the first damage the decoder notices
    Limits limits;                            // for what is held whole
    const std::atomic<bool>* stop = nullptr;  // set to give up: the conversion fails, "stopped"
    std::atomic<int>* progress = nullptr;     // set to the share done, in percent
    MetadataChoice metadata = MetadataChoice::Rights;  // what of the photo's metadata travels
    int threads = 0;  // for computing and compressing the pixels; 0: one per core
    std::shared_ptr<DecoderBudget> budget;  // the decoder's processor time, shared with the opening
};

/// Runs the conversion pipeline: bitmap, resolution, scaling, text, turning,
/// TIFF. Each failure or correction is told to @p notify in the order they
/// happen. True when the TIFF was written.
bool RunConversion(const Photo& photo, const ConversionOrder& order,
                   const std::function<void(const StepFailure&)>& notify);

}  // namespace imaging
