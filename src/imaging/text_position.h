#pragma once

#include <QPoint>
#include <QSize>

namespace imaging {

/// Where one coordinate of the text lies on a side of the picture.
enum class Fit {
    Before,  // negative
    Inside,
    Beyond,  // at or past the side's length
};

/// Where the text's top-left corner lies on each axis.
struct PositionFit {
    Fit x;
    Fit y;
};

/// Where @p position lies against a picture of @p size. The text must start
/// inside the picture: the window and the command line warn and use 0 on an
/// axis where it does not.
PositionFit FitOf(QPoint position, QSize size);

/// @p position with each axis that does not fit @p size set to 0.
QPoint Corrected(QPoint position, QSize size);

}  // namespace imaging
