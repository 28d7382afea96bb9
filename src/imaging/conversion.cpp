#include "imaging/conversion.h"

#include "imaging/bitmap.h"
#include "imaging/text_layout.h"
#include "imaging/text_position.h"

#include <vector>

namespace imaging {

bool RunConversion(const Photo& photo, const ConversionOrder& order,
                   const std::function<void(const StepFailure&)>& notify) {
    const std::unique_ptr<Bitmap> bitmap = Bitmap::Create(order.width, order.height);
    if (!bitmap) {
        // Said once: the steps that would need the bitmap have nothing to add.
        notify({Step::Scale, QStringLiteral("%1 x %2 pixels is more than a bitmap may hold (%3 MB)")
                                 .arg(order.width)
                                 .arg(order.height)
                                 .arg(Bitmap::kMaxBytes >> 20)});
        return false;
    }
    // A resolution the photo does not give leaves the platform's.
    bitmap->SetResolution(photo.HorizontalResolution());
    if (!bitmap->DrawScaled(photo, DrawOptions{order.colours, order.background, order.strict,
                                               order.limits, order.stop, order.progress,
                                               order.metadata, order.threads, order.budget})) {
        notify({Step::Scale, bitmap->Error(), bitmap->Damaged()});
        return false;
    }
    // The frame decodes as the TIFF is written: what the later steps have to
    // say waits until it has, since a frame that fails says only that.
    std::vector<StepFailure> later;
    QString textFailure;
    // The text lies on the bitmap as it is then: before the turn it turns with
    // the photo; upright, it is placed in the output's own frame.
    const auto drawText = [&] {
        if (order.text.isEmpty()) return;
        const QSize size(bitmap->Width(), bitmap->Height());
        const TextBlock block = LayOutText(order.text, order.font, order.placement, size);
        const imaging::PositionFit fit = imaging::FitOf(block.topLeft, size);
        if (fit.x != imaging::Fit::Inside) later.push_back({Step::TextX, {}});
        if (fit.y != imaging::Fit::Inside) later.push_back({Step::TextY, {}});
        if (!bitmap->DrawText(block, order.colour, imaging::Corrected(block.topLeft, size)))
            textFailure = bitmap->Error();
    };
    if (!order.textUpright) drawText();
    // An unknown angle or flip (a hand-edited store) turns nothing at all.
    if (!IsKnownAngle(order.angle)) later.push_back({Step::Angle, {}});
    if (!bitmap->RotateFlip(
            RotateFlipFor(order.angle, order.flipType).value_or(RotateNoneFlipNone)))
        later.push_back({Step::RotateFlip, bitmap->Error()});
    if (order.textUpright) drawText();
    if (!textFailure.isEmpty()) {
        notify({Step::Save, textFailure});
        return false;
    }
    const bool saved = order.outputDevice ? bitmap->WriteTiff(*order.outputDevice)
                                          : bitmap->SaveTiff(order.outputPath, order.mayReplace);
    if (!saved && bitmap->PixelsFailed()) {
        notify({Step::Scale, bitmap->Error(), bitmap->Damaged()});
        return false;
    }
    for (const StepFailure& failure : later) notify(failure);
    if (!saved) {
        notify({Step::Save, bitmap->Error()});
        return false;
    }
    return true;
}

}  // namespace imaging
