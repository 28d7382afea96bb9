#include "imaging/text_position.h"

namespace imaging {
namespace {

Fit FitOnSide(int coordinate, int length) {
    if (coordinate < 0) return Fit::Before;
    return coordinate < length ? Fit::Inside : Fit::Beyond;
}

}  // namespace

PositionFit FitOf(QPoint position, QSize size) {
    return {FitOnSide(position.x(), size.width()), FitOnSide(position.y(), size.height())};
}

QPoint Corrected(QPoint position, QSize size) {
    const PositionFit fit = FitOf(position, size);
    return {fit.x == Fit::Inside ? position.x() : 0, fit.y == Fit::Inside ? position.y() : 0};
}

}  // namespace imaging
