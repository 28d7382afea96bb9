#pragma once

#include "imaging/plan.h"
#include "resources/texts.h"

namespace frontend {

/// The message that tells the user of a failed @p step; the window and the
/// command line both say it.
res::Text MessageFor(imaging::Step step);

}  // namespace frontend
