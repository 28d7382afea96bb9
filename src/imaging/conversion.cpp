#include "imaging/conversion.h"

#include "imaging/bitmap.h"

namespace imaging {

std::vector<Step> TextPositionFailures(QPoint position, int width, int height) {
    std::vector<Step> failures;
    if (position.x() < 0 || position.x() >= width) failures.push_back(Step::TextX);
    if (position.y() < 0 || position.y() >= height) failures.push_back(Step::TextY);
    return failures;
}

bool RunConversion(const Photo& photo, const ConversionOrder& order,
                   const std::function<void(const StepFailure&)>& notify) {
    const std::unique_ptr<Bitmap> bitmap = Bitmap::Create(order.width, order.height);
    if (!bitmap) {
        // A bitmap that cannot be made fails each step that uses it in turn.
        const QString reason = QStringLiteral("%1 x %2 pixels is more than a bitmap may hold")
                                   .arg(order.width)
                                   .arg(order.height);
        notify({Step::SetResolution, {}});
        notify({Step::SetInterpolation, {}});
        notify({Step::Scale, reason});
        return false;
    }
    if (!bitmap->SetResolution(photo.HorizontalResolution())) notify({Step::SetResolution, {}});
    if (!bitmap->DrawScaled(photo, DrawOptions{order.colours, order.background, order.strict})) {
        notify({Step::Scale, bitmap->Error()});
        return false;
    }
    if (!order.text.isEmpty()) {
        QPoint position = order.position;
        for (const Step failure : TextPositionFailures(position, order.width, order.height)) {
            notify({failure, {}});
            (failure == Step::TextX ? position.rx() : position.ry()) = 0;
        }
        bitmap->DrawText(order.text, order.font, order.colour, position);
    }
    // An unknown angle or flip (a hand-edited store) turns nothing at all.
    if (!IsKnownAngle(order.angle)) notify({Step::Angle, {}});
    if (!bitmap->RotateFlip(
            RotateFlipFor(order.angle, order.flipType).value_or(RotateNoneFlipNone)))
        notify({Step::RotateFlip, bitmap->Error()});
    const std::optional<Encoder> encoder = FindEncoder(QStringLiteral("image/tiff"));
    if (!encoder) {
        notify({Step::Save, QStringLiteral("no TIFF encoder")});
        return false;
    }
    if (!bitmap->Save(order.outputPath, *encoder)) {
        notify({Step::Save, bitmap->Error()});
        return false;
    }
    return true;
}

}  // namespace imaging
