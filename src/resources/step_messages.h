#pragma once

#include "imaging/conversion.h"

namespace res {

/// The string id of the message that tells the user of a failed @p step.
int MessageIdFor(imaging::Step step);

}  // namespace res
