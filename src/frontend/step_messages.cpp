#include "frontend/step_messages.h"

namespace frontend {

res::Text MessageFor(imaging::Step step) {
    using imaging::Step;
    using res::Text;
    switch (step) {
        case Step::Scale:
            return Text::ConvertFailed;
        case Step::TextX:
            return Text::TextXSetToZero;
        case Step::TextY:
            return Text::TextYSetToZero;
        case Step::Angle:
            return Text::UnknownAngle;
        case Step::Save:
            return Text::SaveFailed;
    }
    return Text::UnknownErrorCaption;
}

}  // namespace frontend
