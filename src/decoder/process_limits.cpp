#include "decoder/process_limits.h"

#include <QtGlobal>

#include <cerrno>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <cstddef>
#include <vector>
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

void Confine() {}

int64_t ProcessorMilliseconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& time) {
        return (int64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10'000;  // from 100 ns
}

#else

int64_t ProcessorMilliseconds() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    const auto ms = [](const timeval& time) {
        return int64_t(time.tv_sec) * 1000 + time.tv_usec / 1000;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

#ifdef Q_OS_LINUX
namespace {

#if defined(__x86_64__)
constexpr uint32_t kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kArchitecture = 0;
#endif

/// Calls a decoder never makes: starting programs, reaching the network,
/// other processes' memory, the kernel's own state. Each fails with EPERM.
constexpr long kRefusedCalls[] = {
    SYS_execve,
    SYS_execveat,
    SYS_socket,
    SYS_socketpair,
    SYS_connect,
    SYS_bind,
    SYS_listen,
    SYS_accept4,
    SYS_ptrace,
    SYS_process_vm_readv,
    SYS_process_vm_writev,
    SYS_mount,
    SYS_umount2,
    SYS_pivot_root,
    SYS_chroot,
    SYS_unshare,
    SYS_setns,
    SYS_bpf,
    SYS_perf_event_open,
    SYS_keyctl,
    SYS_add_key,
    SYS_request_key,
    SYS_init_module,
    SYS_finit_module,
    SYS_delete_module,
    SYS_kexec_load,
    SYS_reboot,
    SYS_swapon,
    SYS_swapoff,
    SYS_userfaultfd,
    SYS_io_uring_setup,
};

/// A filter that refuses kRefusedCalls and kills a process that calls
/// through another architecture's table (where the numbers mean other calls).
bool InstallCallFilter() {
    if (kArchitecture == 0) return false;
    std::vector<sock_filter> program{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
#if defined(__x86_64__)
    // The x32 calls share the architecture and set this bit.
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1));
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
#endif
    for (const long call : kRefusedCalls) {
#ifdef TESSIVA_UNDER_ASAN
        if (call == SYS_ptrace) continue;  // the leak checker stops the threads with it at exit
#endif
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(call), 0, 1));
        program.push_back(
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

}  // namespace
#endif

void Confine() {
    // Only the pipes: whatever else the program had open (another photo's
    // output among them) is closed before any photo's byte is read.
#ifdef Q_OS_LINUX
    ::close_range(3, ~0u, 0);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    // A network of its own, with nothing in it, where the system allows one.
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) ::unshare(CLONE_NEWNET);
    InstallCallFilter();
#endif
}

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
