#pragma once

#include <cstdint>

namespace decoder {

/// Holds this process to @p dataBytes of memory and @p cpuSeconds of
/// processor time: beyond them the system stops it. Also sets standard input
/// and output to carry bytes unchanged.
void LimitThisProcess(int64_t dataBytes, int cpuSeconds);

/// Leaves this process only what decoding needs: its standard streams, no
/// new privileges, no network, and no calls that start programs or reach
/// other processes, where the system offers these.
void Confine();

/// The processor time this process has spent so far, in milliseconds.
int64_t ProcessorMilliseconds();

}  // namespace decoder
