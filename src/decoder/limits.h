#pragma once

#include <cstdint>

namespace decoder {

/// The budgets one photo may spend.
struct Limits {
    /// Pixels a frame may have (a drawing: the size it declares).
    int64_t maxPixels = int64_t{1} << 29;
    /// Bytes a picture held whole may take: decoded whole, rendered or turned.
    int64_t maxMemory = int64_t{1} << 30;
};

}  // namespace decoder
