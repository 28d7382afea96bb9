#include "imaging/text_layout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRegularExpression>
#include <QtMath>
#include <algorithm>
#include <array>
#include <cmath>

namespace imaging {
namespace {

constexpr std::array<const char*, 9> kAnchorNames{"north-west", "north",  "north-east",
                                                  "west",       "centre", "east",
                                                  "south-west", "south",  "south-east"};

/// Where along a side of @p length a box of @p extent starts: at its start (0),
/// centred (1) or at its end (2), @p margin inward.
double Along(int where, double length, double extent, double margin) {
    if (where == 0) return margin;
    if (where == 2) return length - extent - margin;
    return (length - extent) / 2 + margin;
}

}  // namespace

std::optional<Anchor> AnchorNamed(const QString& name) {
    const QString wanted = name.trimmed().toLower();
    for (size_t i = 0; i < kAnchorNames.size(); ++i)
        if (wanted == QLatin1StringView(kAnchorNames[i])) return static_cast<Anchor>(i);
    if (wanted == u"center") return Anchor::Centre;
    return std::nullopt;
}

QStringList AnchorNames() {
    QStringList names;
    for (const char* name : kAnchorNames) names << QString::fromLatin1(name);
    return names;
}

TextBlock LayOutText(const QString& text, const QFont& font, const TextPlacement& placement,
                     const QSize& picture) {
    TextBlock block;
    block.lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")));
    block.font = font;
    if (placement.fontPercentOfHeight > 0)
        block.font.setPixelSize(
            std::max(1, int(std::lround(picture.height() * placement.fontPercentOfHeight / 100))));
    const QFontMetricsF metrics(block.font);
    double width = 0;
    for (const QString& line : block.lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double height = metrics.ascent() + metrics.descent() +
                          metrics.lineSpacing() * double(block.lines.size() - 1);
    block.box = QSize(qCeil(width), qCeil(height));
    const double marginX = placement.marginInPercent ? placement.margin.x() * picture.width() / 100
                                                     : placement.margin.x();
    const double marginY = placement.marginInPercent ? placement.margin.y() * picture.height() / 100
                                                     : placement.margin.y();
    const int anchor = static_cast<int>(placement.anchor);
    if (anchor == 0) {  // the designed placement: the position is the box's corner
        block.topLeft = QPoint(int(std::lround(marginX)), int(std::lround(marginY)));
        return block;
    }
    block.topLeft =
        QPoint(int(std::lround(Along(anchor % 3, picture.width(), block.box.width(), marginX))),
               int(std::lround(Along(anchor / 3, picture.height(), block.box.height(), marginY))));
    return block;
}

QRect TextArea(const TextBlock& block, const QPoint& topLeft, const QSize& picture) {
    // As large as the text, with a line's height around it for what glyphs
    // reach beyond their advance (italics, accents, emoji): a caption on a
    // wide picture costs its own size, not a band across the picture.
    const int room = qCeil(QFontMetricsF(block.font).height());
    return QRect(topLeft.x() - room, topLeft.y() - room, block.box.width() + 2 * room,
                 block.box.height() + 2 * room)
        .intersected(QRect(QPoint(0, 0), picture));
}

QImage DrawTextBlock(const TextBlock& block, const QColor& colour, const QPoint& topLeft,
                     const QRect& area, double scale) {
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter painter(&layer);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setFont(block.font);
    // The colour's alpha is the whole text's: colour glyphs see through as much.
    painter.setOpacity(colour.alphaF());
    painter.setPen(QColor(colour.red(), colour.green(), colour.blue()));
    painter.translate(-area.x(), -area.y());
    painter.scale(scale, scale);  // the font at its own size, seen from afar
    const QFontMetricsF metrics(block.font);
    for (qsizetype i = 0; i < block.lines.size(); ++i)
        painter.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent() +
                                                  metrics.lineSpacing() * double(i)),
                         block.lines[i]);
    return layer;
}

}  // namespace imaging
