#include "decoder/process_limits.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/resource.h>
#endif

// AddressSanitizer maps terabytes of shadow memory up front; a data limit
// would fail its every later allocation. The decoders' own size checks stay.
#if defined(__SANITIZE_ADDRESS__)
#define TESSIVA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSIVA_UNDER_ASAN 1
#endif
#endif

namespace decoder {

#ifdef Q_OS_WIN

void LimitThisProcess(int64_t dataBytes, int cpuSeconds) {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_PROCESS_TIME;
    limits.ProcessMemoryLimit = SIZE_T(dataBytes);
    limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
        LONGLONG(cpuSeconds) * 10'000'000;  // in 100 ns
    if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        AssignProcessToJobObject(job, GetCurrentProcess());
}

#else

void LimitThisProcess(int64_t dataBytes, int cpuSeconds) {
    // Data, not address space: libraries and thread stacks reserve much more
    // than they touch.
#ifndef TESSIVA_UNDER_ASAN
    const rlimit data{rlim_t(dataBytes), rlim_t(dataBytes)};
    setrlimit(RLIMIT_DATA, &data);
#else
    (void)dataBytes;
#endif
    const rlimit cpu{rlim_t(cpuSeconds), rlim_t(cpuSeconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    const rlimit noCoreFiles{0, 0};
    setrlimit(RLIMIT_CORE, &noCoreFiles);
}

#endif

}  // namespace decoder
