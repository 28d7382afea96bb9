#pragma once

// One conversion, planned before any pixel is touched: what the window or
// the command line asks, made into what is done to the photo's frame.

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>
#include <vector>

#include "imaging/metadata.h"
#include "imaging/photo.h"
#include "imaging/text_layout.h"
#include "imaging/turn.h"

namespace imaging {

/// The steps of a conversion that can fail, or correct what they were given.
enum class Step {
    Scale,  // the frame cannot be decoded or scaled: nothing is saved
    TextX,  // the text's x lies outside the output: drawn at 0
    TextY,  // likewise y
    Angle,  // not 0, 90, 180 or 270: nothing is turned
    Save,   // nothing is saved
};

/// A step that failed or corrected what it was given, and why, in the
/// library's or the system's words (empty when there is nothing to add).
struct StepFailure {
    Step step;
    QString reason;
    bool damage = false;  // damage found by a strict reading, which a lenient one may get past
};

/// What a front end asks of one conversion.
struct ConversionRequest {
    QSize output;      // before turning; both sides positive
    int angle = 0;     // degrees; other than 0, 90, 180, 270 turns nothing
    int flipType = 0;  // 0 none, 1 horizontal, 2 vertical; others turn nothing
    QString text;      // nothing drawn when empty
    QFont font;
    QColor colour = Qt::black;
    TextPlacement placement;   // where the text goes and how large: by default its top-left
                               // corner at a position in output pixels, before turning ...
    bool textUpright = false;  // ... or after it, the text then drawn upright
    ColourHandling colours = ColourHandling::KeepStored;
    QColor background = Qt::black;                     // under transparent parts
    MetadataChoice metadata = MetadataChoice::Rights;  // what of the photo's metadata travels
};

/// What of the photo a plan depends on.
struct PhotoFacts {
    int orientation = 1;  // the camera's tag, as the photo applies it to its frames; 1 for none
    double dpi = 96.0;    // the photo's horizontal resolution
    int cameraTag = 1;    // the camera's tag, applied or not: what its metadata carries
};
PhotoFacts FactsOf(const Photo& photo);

/// The most bytes an output's pixels may take (3 per pixel).
inline constexpr int64_t kMaxOutputBytes = int64_t{2} << 30;

/// A conversion decided: sizes, one turn, the text and what travels.
struct ConversionPlan {
    ConversionRequest request;
    QSize scaled;  // the frame is scaled to this as stored, before any turn
    Turn camera;   // what sets the frame upright (none when the photo is shown as stored)
    Turn turn;     // the camera's turn, then the user's: the only turn the pixels take
    QSize output;  // the TIFF's size, once turned
    /// How a viewer shows the TIFF: the turn of the orientation tag it carries
    /// (under MetadataChoice::All, for pixels no turn has touched).
    Turn view;
    /// The text, laid out where the request places it.
    struct Text {
        TextBlock block;
        QPoint topLeft;      // corrected into the canvas
        bool turned = true;  // laid before the turn, turning with the photo; else upright after it
        QSize canvas;   // the picture it is laid out on: the upright frame, or the output as seen
        Turn toPixels;  // what takes the canvas onto the pixels the text is laid on
    };
    std::optional<Text> text;
    double dpi = 96.0;
    /// What the plan set right, told once the frame has decoded.
    std::vector<Step> corrections;
    /// Why nothing can be converted at all; empty when the plan can run.
    QString refusal;
};

/// Plans @p request on a photo of @p facts. Decides everything that needs
/// no pixel: a text position outside the picture is set to 0, an unknown
/// angle turns nothing, an output too large is refused.
ConversionPlan PlanConversion(const PhotoFacts& facts, const ConversionRequest& request);

/// The messages a conversion of @p plan tells, in order, given how its
/// execution failed (@p failure, nothing when it succeeded): a frame that
/// did not decode says only that.
std::vector<StepFailure> WhatToTell(const ConversionPlan& plan,
                                    const std::optional<StepFailure>& failure);

}  // namespace imaging
