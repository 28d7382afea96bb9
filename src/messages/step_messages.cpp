#include "messages/step_messages.h"

#include "resources/resource.h"

namespace messages {

int MessageIdFor(imaging::Step step) {
    using imaging::Step;
    using namespace res;
    switch (step) {
        case Step::SetResolution:
            return IDS_STRING113;
        case Step::SetInterpolation:
            return IDS_STRING114;
        case Step::Scale:
            return IDS_STRING115;
        case Step::TextX:
            return IDS_STRING130;
        case Step::TextY:
            return IDS_STRING131;
        case Step::Angle:
            return IDS_STRING116;
        case Step::RotateFlip:
            return IDS_STRING117;
        case Step::Save:
            return IDS_STRING118;
    }
    return IDS_MESSAGE_UNKNOWN_ERROR;
}

}  // namespace messages
