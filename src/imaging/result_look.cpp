#include "imaging/result_look.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "imaging/text_position.h"

namespace imaging {
namespace {

/// Lays the text of @p look on @p picture, which shows a picture of @p size
/// output pixels at @p scale, as the conversion lays it.
void LayText(QImage& picture, const ResultLook& look, const QSize& size, double scale) {
    if (look.text.isEmpty()) return;
    const TextBlock block = LayOutText(look.text, look.font, look.placement, size);
    const QPoint topLeft = imaging::Corrected(block.topLeft, size);
    QPainter painter(&picture);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(scale, scale);  // the font at its own size, seen from afar
    painter.setClipRect(QRect(QPoint(0, 0), size));
    painter.setFont(block.font);
    painter.setPen(look.colour);
    const QFontMetricsF metrics(block.font);
    for (qsizetype i = 0; i < block.lines.size(); ++i)
        painter.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent() +
                                                  metrics.lineSpacing() * double(i)),
                         block.lines[i]);
}

}  // namespace

QImage DrawResult(const QImage& frame, const ResultLook& look, const QSize& box,
                  const QColor& background) {
    QImage shown(box, QImage::Format_RGB32);
    shown.fill(background);
    if (frame.isNull() || look.output.isEmpty() || box.isEmpty()) return shown;
    const bool sidesSwap = (look.rotateFlip & 1) != 0;
    const QSize turned = sidesSwap ? look.output.transposed() : look.output;
    const double scale =
        std::min(double(box.width()) / turned.width(), double(box.height()) / turned.height());
    const QSize drawn(std::max(1, int(std::lround(look.output.width() * scale))),
                      std::max(1, int(std::lround(look.output.height() * scale))));
    QImage picture = frame.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);
    if (!look.textUpright) LayText(picture, look, look.output, scale);
    // Turned clockwise by quarters, then mirrored left and right.
    picture = picture.transformed(QTransform().rotate(90.0 * (look.rotateFlip & 3)));
    if (look.rotateFlip >= 4) picture = picture.mirrored(true, false);
    if (look.textUpright) LayText(picture, look, turned, scale);
    QPainter painter(&shown);
    painter.drawImage(
        QPoint((box.width() - picture.width()) / 2, (box.height() - picture.height()) / 2),
        picture);
    return shown;
}

}  // namespace imaging
