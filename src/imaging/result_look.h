#pragma once

// How a conversion's result will look, drawn small and at once from a copy of
// the frame: what the window shows before anything is converted.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

#include "imaging/text_layout.h"

namespace imaging {

/// What a conversion will do to a frame, as far as it shows.
struct ResultLook {
    QSize output;        // before turning
    int rotateFlip = 0;  // the rotate-flip type (0 to 7)
    QString text;
    QFont font;
    QColor colour = Qt::black;
    TextPlacement placement;
    bool textUpright = false;  // the text is laid after the turn
};

/// @p frame (the active frame as shown, any size) made into the result of
/// @p look and fitted into @p box, centred on @p background: the output's
/// proportions, its turn and flip, and its text, placed and turned as the
/// conversion places and turns it.
QImage DrawResult(const QImage& frame, const ResultLook& look, const QSize& box,
                  const QColor& background);

}  // namespace imaging
