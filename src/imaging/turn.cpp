#include "imaging/turn.h"

namespace imaging {

bool IsKnownAngle(int angle) {
    return angle == 0 || angle == 90 || angle == 180 || angle == 270;
}

std::optional<Turn> Turn::ByAngleAndFlip(int angle, int flipType) {
    if (!IsKnownAngle(angle) || flipType < 0 || flipType > 2) return std::nullopt;
    // Top and bottom is left and right after half a turn.
    return Turn::Of(angle / 90 + (flipType == 2 ? 2 : 0), flipType != 0);
}

Turn Turn::Uprighting(int orientation) {
    // Tag values 2 to 8: mirrored, half turned, mirrored top and bottom,
    // transposed, turned left, transversed, turned right.
    static constexpr Turn kTurns[] = {Turn(),       Turn(),      Of(0, true),
                                      Of(2, false), Of(2, true), Of(1, true),
                                      Of(1, false), Of(3, true), Of(3, false)};
    return orientation >= 1 && orientation <= 8 ? kTurns[orientation] : Turn();
}

Turn Turn::Then(Turn next) const {
    // A mirror before a turn equals the opposite turn before the mirror.
    const int quarters = m_quarters + (m_mirrored ? -next.m_quarters : next.m_quarters);
    return Of(quarters, m_mirrored != next.m_mirrored);
}

Turn Turn::Inverse() const {
    // A mirrored turn undoes itself; a plain one is undone by turning back.
    return m_mirrored ? *this : Of(-m_quarters, false);
}

QTransform Turn::Transform(const QSize& size) const {
    const QSize turned = Applied(size);
    QTransform transform;
    // Qt applies the last call first: turn about the origin, then move back into view.
    if (m_mirrored) transform.translate(turned.width(), 0).scale(-1, 1);
    switch (m_quarters) {
        case 1:
            transform.translate(turned.width(), 0);
            break;
        case 2:
            transform.translate(turned.width(), turned.height());
            break;
        case 3:
            transform.translate(0, turned.height());
            break;
        default:
            break;
    }
    transform.rotate(90.0 * m_quarters);
    return transform;
}

}  // namespace imaging
