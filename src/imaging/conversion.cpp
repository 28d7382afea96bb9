#include "imaging/conversion.h"

#include "imaging/bitmap.h"
#include "imaging/photo.h"
#include "resources/resource.h"

namespace imaging {

bool RunConversion(const Photo& photo, const ConversionOrder& order,
                   const std::function<void(int stringId)>& notify) {
    const std::unique_ptr<Bitmap> bitmap = Bitmap::Create(order.width, order.height);
    if (!bitmap) {
        // A bitmap that cannot be made fails each step that uses it in turn.
        notify(res::IDS_STRING113);
        notify(res::IDS_STRING114);
        notify(res::IDS_STRING115);
        return false;
    }
    if (!bitmap->SetResolution(photo.HorizontalResolution())) notify(res::IDS_STRING113);
    if (!bitmap->DrawScaled(photo)) {
        notify(res::IDS_STRING115);
        return false;
    }
    if (!order.text.isEmpty()) {
        QPoint position = order.position;
        if (position.x() < 0 || position.x() >= order.width) {
            notify(res::IDS_STRING130);
            position.setX(0);
        }
        if (position.y() < 0 || position.y() >= order.height) {
            notify(res::IDS_STRING131);
            position.setY(0);
        }
        bitmap->DrawText(order.text, order.font, order.colour, position);
    }
    // An unknown angle or flip (a hand-edited store) turns nothing at all.
    if (!IsKnownAngle(order.angle)) notify(res::IDS_STRING116);
    if (!bitmap->RotateFlip(RotateFlipFor(order.angle, order.flipType).value_or(RotateNoneFlipNone)))
        notify(res::IDS_STRING117);
    const std::optional<Encoder> encoder = FindEncoder(QStringLiteral("image/tiff"));
    if (!encoder || !bitmap->Save(order.outputPath, *encoder)) {
        notify(res::IDS_STRING118);
        return false;
    }
    return true;
}

}  // namespace imaging
