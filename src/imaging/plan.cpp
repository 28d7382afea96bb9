#include "imaging/plan.h"

#include "imaging/text_position.h"
#include "resources/texts.h"

namespace imaging {

PhotoFacts FactsOf(const Photo& photo) {
    return {photo.IsUpright() ? photo.CameraOrientation() : 1, photo.HorizontalResolution(),
            photo.CameraOrientation()};
}

ConversionPlan PlanConversion(const PhotoFacts& facts, const ConversionRequest& request) {
    ConversionPlan plan;
    plan.request = request;
    plan.camera = Turn::Uprighting(facts.orientation);
    plan.scaled = plan.camera.Applied(request.output);
    const Turn user = Turn::ByAngleAndFlip(request.angle, request.flipType).value_or(Turn());
    plan.turn = plan.camera.Then(user);
    plan.output = user.Applied(request.output);
    if (facts.dpi > 0.0) plan.dpi = facts.dpi;
    if (request.output.isEmpty() ||
        int64_t{request.output.width()} * request.output.height() * 3 > kMaxOutputBytes) {
        plan.refusal =
            res::Say(res::Text::BitmapTooLarge, {QString::number(request.output.width()),
                                                 QString::number(request.output.height()),
                                                 QString::number(kMaxOutputBytes >> 20)});
        return plan;
    }
    // Pixels written as stored keep the camera's tag, and viewers turn them by it.
    if (plan.turn.IsNone() && request.metadata == MetadataChoice::All)
        plan.view = Turn::Uprighting(facts.cameraTag);
    if (!request.text.isEmpty()) {
        // Before the turn the text turns with the photo; upright, it is
        // placed in the output as it is seen.
        const QSize canvas = request.textUpright ? plan.view.Applied(plan.output) : request.output;
        const TextBlock block = LayOutText(request.text, request.font, request.placement, canvas);
        const PositionFit fit = FitOf(block.topLeft, canvas);
        if (fit.x != Fit::Inside) plan.corrections.push_back(Step::TextX);
        if (fit.y != Fit::Inside) plan.corrections.push_back(Step::TextY);
        plan.text = ConversionPlan::Text{
            block, Corrected(block.topLeft, canvas), !request.textUpright, canvas,
            request.textUpright ? plan.view.Inverse() : plan.camera.Inverse()};
    }
    // A hand-edited store may hold any angle: it turns nothing at all. Told
    // where the turn comes: after text laid before it, before upright text.
    if (!IsKnownAngle(request.angle)) {
        const auto at =
            plan.text && !plan.text->turned ? plan.corrections.begin() : plan.corrections.end();
        plan.corrections.insert(at, Step::Angle);
    }
    return plan;
}

std::vector<StepFailure> WhatToTell(const ConversionPlan& plan,
                                    const std::optional<StepFailure>& failure) {
    if (failure && failure->step == Step::Scale) return {*failure};
    std::vector<StepFailure> told;
    for (const Step correction : plan.corrections) told.push_back({correction, {}});
    if (failure) told.push_back(*failure);
    return told;
}

}  // namespace imaging
