#pragma once

// How many processors this process may really use, and the memory it holds.

namespace host {

/// What limits the processors this process may use, and the result.
struct UsableCores {
    int count = 1;      // the least of the limits below
    int machine = 1;    // processors on the machine
    int affinity = 0;   // processors the process may run on; 0 when not known
    int allowance = 0;  // processors' worth of time its control group allows; 0 when unbounded
};

/// The processors this process may use: the machine's, within its CPU
/// affinity (taskset, a container's cpuset) and its control group's time
/// allowance (a container's CPU limit), as they were when first asked.
UsableCores CoresForThisProcess();

/// Gives back to the system the memory freed since, where the allocator would
/// keep it for the process (glibc keeps the freed pages of its heaps).
void ReturnFreedMemory();

/// Has the threads share two heaps instead of one each per processor, to be
/// called before any thread starts. Freed memory is then whole enough to be
/// given back: a window through ten conversions of 24 megapixels stays at one
/// size instead of growing by a third.
void ShareFewHeaps();

}  // namespace host
