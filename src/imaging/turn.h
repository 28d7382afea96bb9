#pragma once

// The eight ways a picture can lie: turned clockwise by quarters, then
// mirrored left and right or not. The window's angle and flip, a camera's
// orientation tag and their compositions are all one of these.

#include <QSize>
#include <QTransform>
#include <optional>

namespace imaging {

class Turn {
public:
    constexpr Turn() = default;
    /// @p quarters clockwise (any whole number), then a mirror when @p mirrored.
    static constexpr Turn Of(int quarters, bool mirrored) {
        return Turn(((quarters % 4) + 4) % 4, mirrored);
    }
    /// The window's turn: @p angle degrees clockwise (0, 90, 180 or 270), then
    /// a flip (0 none, 1 left and right, 2 top and bottom); nothing for others.
    static std::optional<Turn> ByAngleAndFlip(int angle, int flipType);
    /// The turn that sets upright a picture stored with camera orientation
    /// tag @p orientation (1 to 8; others are none).
    static Turn Uprighting(int orientation);

    int Quarters() const { return m_quarters; }
    bool Mirrored() const { return m_mirrored; }
    bool IsNone() const { return m_quarters == 0 && !m_mirrored; }
    bool SwapsSides() const { return m_quarters % 2 != 0; }
    /// The size a picture of @p size has once turned.
    QSize Applied(const QSize& size) const { return SwapsSides() ? size.transposed() : size; }
    /// This turn, then @p next.
    Turn Then(Turn next) const;
    /// The turn that undoes this one.
    Turn Inverse() const;
    /// Where the points of a picture of @p size land once it is turned: its
    /// corners on the turned picture's corners.
    QTransform Transform(const QSize& size) const;

    friend constexpr bool operator==(Turn, Turn) = default;

private:
    constexpr Turn(int quarters, bool mirrored) : m_quarters(quarters), m_mirrored(mirrored) {}
    int m_quarters = 0;
    bool m_mirrored = false;
};

/// True for the angles the program turns by: 0, 90, 180 and 270 degrees.
bool IsKnownAngle(int angle);

}  // namespace imaging
