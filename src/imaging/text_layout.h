#pragma once

// Where a block of text goes on a picture, how large, and how it is drawn:
// one rule for the conversion and the result preview.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QStringList>
#include <optional>

namespace imaging {

/// The nine points of a picture a block of text may be placed from.
enum class Anchor { NorthWest, North, NorthEast, West, Centre, East, SouthWest, South, SouthEast };

/// The anchor named @p name ("north-west", "south", "centre", ...), or nothing.
std::optional<Anchor> AnchorNamed(const QString& name);
/// The names AnchorNamed takes, for help texts.
QStringList AnchorNames();

/// Where and how large the text goes. The window's placement is the designed
/// one: the text's top-left corner at a position in pixels, the font at its
/// own size.
struct TextPlacement {
    Anchor anchor = Anchor::NorthWest;
    QPointF margin;                // from the anchor, inward (from the centre: right, down)
    bool marginInPercent = false;  // ... in percent of the picture's width and height
    double fontPercentOfHeight =
        0;  // the font's pixel size as a share of the picture's height; 0: its own
};

/// A block of text laid out for a picture: its lines (a line break starts a
/// new one), its font at the size it is drawn, and where its box starts.
struct TextBlock {
    QStringList lines;
    QFont font;
    QPoint topLeft;  // the box's top-left corner; the first baseline lies an ascent below
    QSize box;       // the lines' extent
};

/// @p text in @p font laid out by @p placement on a picture of @p picture pixels.
TextBlock LayOutText(const QString& text, const QFont& font, const TextPlacement& placement,
                     const QSize& picture);

/// @p block drawn in @p colour (its alpha honoured; colour glyphs keep their
/// colours) with its top-left corner at @p topLeft, onto a transparent
/// premultiplied image covering @p area of the picture shown at @p scale
/// (@p area in the shown picture's pixels, @p topLeft in the picture's).
QImage DrawTextBlock(const TextBlock& block, const QColor& colour, const QPoint& topLeft,
                     const QRect& area, double scale = 1.0);

/// The part of a picture of @p picture pixels the text starting at @p topLeft
/// may cover: its lines, with room for ink beyond their advance (italics,
/// overhangs, glyphs that draw wider than they measure), up to the right edge.
QRect TextArea(const TextBlock& block, const QPoint& topLeft, const QSize& picture);

}  // namespace imaging
