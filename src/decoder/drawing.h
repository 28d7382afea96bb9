#pragma once

// Drawings: SVG, and Windows and enhanced metafiles turned into SVG. Each is
// checked against its budgets before anything draws it.

#include <QByteArray>
#include <QSize>
#include <QString>
#include <optional>
#include <variant>

#include "decoder/protocol.h"

namespace decoder {

/// Elements an SVG may hold, and records a metafile may hold.
inline constexpr int kMaxDrawingElements = 200'000;
inline constexpr int kMaxMetafileRecords = 200'000;
/// Elements a drawing may show once its references are followed.
inline constexpr int64_t kMaxShownElements = 1'000'000;
/// Bytes a rendered pixel is taken to hold: rendered with its alpha, and held
/// whole again by the program as it scales it.
inline constexpr int64_t kDrawingBytesPerPixel = 8;
/// Pixels filters may work over (rendered pixels times filter steps).
inline constexpr int64_t kMaxFilteredPixels = int64_t{256} << 20;
/// Drawings beyond this many bytes are refused unread.
inline constexpr qint64 kMaxDrawingBytes = qint64{64} << 20;

/// A drawing's SVG text, and what it holds that costs.
struct Drawing {
    QByteArray svg;
    QSize declared;       // the size its root declares, in pixels
    int filterSteps = 0;  // filter primitives
};

/// Why SVG text @p svg is refused before any renderer reads it: its elements,
/// the elements its references show, the size it declares; nothing when it
/// passes.
std::optional<Refusal> SvgTextProblem(const QByteArray& svg, const Limits& limits);
/// Why a metafile of @p kind ("wmf" or "emf") is refused before it is played:
/// records that do not fit the file, or too many of them.
std::optional<Refusal> MetafileProblem(const QString& kind, const QByteArray& bytes);

/// The drawing in @p bytes of kind "svg", "wmf" or "emf", or why it is refused.
std::variant<Drawing, Refusal> ReadDrawing(const QString& kind, QByteArray bytes,
                                           const Limits& limits);

/// The scale at which a drawing of @p source pixels is rendered to be scaled
/// to @p target: large enough to be reduced, not enlarged, along both sides
/// (vectors stay sharp at any size), and never more than four times the target
/// along either side (a drawing of extreme proportions would otherwise be
/// rendered whole for a small target: millions of lines for a preview).
double RenderScale(const QSize& source, const QSize& target);

/// @p drawing rendered to be scaled to @p target (the exact size with
/// @p exact), within @p limits.
Answer RenderDrawing(const Drawing& drawing, const QSize& target, bool exact, const Limits& limits);

}  // namespace decoder
