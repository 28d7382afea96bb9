#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <functional>

namespace imaging {

class Photo;

/// What one conversion makes of a photo's active frame.
struct ConversionOrder {
    int width = 0;  // output size before turning; both positive
    int height = 0;
    int angle = 0;     // degrees; other than 0, 90, 180, 270 turns nothing
    int flipType = 0;  // 0 none, 1 horizontal, 2 vertical; others turn nothing
    QString text;      // nothing drawn when empty
    QFont font;
    QColor colour = Qt::black;
    QPoint position;  // top-left of the text in output pixels, before turning
    QString outputPath;
};

/// Runs the conversion pipeline: bitmap, resolution, scaling, text, turning,
/// TIFF. Each failure or correction is told to @p notify by the id of its
/// message string (113 to 118, 130, 131), in the order they happen. True when
/// the TIFF was written.
bool RunConversion(const Photo& photo, const ConversionOrder& order,
                   const std::function<void(int stringId)>& notify);

}  // namespace imaging
