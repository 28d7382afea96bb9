#pragma once

#include "imaging/conversion.h"

namespace messages {

/// The string id of the message that tells the user of a failed @p step; the
/// window and the command line both say it.
int MessageIdFor(imaging::Step step);

}  // namespace messages
