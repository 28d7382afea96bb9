#include "host/cores.h"

#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <thread>

#ifdef Q_OS_LINUX
#include <sched.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace host {
namespace {

#ifdef Q_OS_LINUX
/// @p quota over @p period as whole processors (at least one); 0 when unbounded.
int Processors(double quota, double period) {
    return quota > 0 && period > 0 ? std::max(1, int(std::ceil(quota / period))) : 0;
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(256).trimmed() : QByteArray();
}

/// Processors' worth of time allowed by the control group this process runs
/// in, or any above it (version 2's cpu.max, version 1's CFS quota); 0 when
/// none bounds it.
int ControlGroupAllowance() {
    QFile membership(QStringLiteral("/proc/self/cgroup"));
    if (!membership.open(QIODevice::ReadOnly)) return 0;
    int allowance = 0;
    const auto take = [&](int cores) {
        if (cores > 0) allowance = allowance == 0 ? cores : std::min(allowance, cores);
    };
    for (const QByteArray& line : membership.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3) continue;
        const bool unified = fields[0] == "0" && fields[1].isEmpty();
        const bool cpu = fields[1].split(',').contains("cpu");
        if (!unified && !cpu) continue;
        // Every group up to the root may bound it; the tightest counts.
        for (QByteArray group = fields[2].trimmed();; group.truncate(group.lastIndexOf('/'))) {
            const QString at = QString::fromUtf8(group == "/" ? QByteArray() : group);
            if (unified) {
                const QList<QByteArray> max =
                    Read(QStringLiteral("/sys/fs/cgroup%1/cpu.max").arg(at)).split(' ');
                if (max.size() == 2 && max[0] != "max")
                    take(Processors(max[0].toDouble(), max[1].toDouble()));
            } else {
                const QString folder = QStringLiteral("/sys/fs/cgroup/cpu%1/").arg(at);
                take(Processors(Read(folder + QStringLiteral("cpu.cfs_quota_us")).toDouble(),
                                Read(folder + QStringLiteral("cpu.cfs_period_us")).toDouble()));
            }
            if (group.lastIndexOf('/') <= 0) break;
        }
    }
    return allowance;
}
#endif

}  // namespace

UsableCores CoresForThisProcess() {
    // Read once: every conversion asks, and the limits are the process's.
    static const UsableCores cores = [] {
        UsableCores found;
        found.machine = int(std::max(1u, std::thread::hardware_concurrency()));
        found.count = found.machine;
#ifdef Q_OS_LINUX
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) == 0) {
            found.affinity = CPU_COUNT(&set);
            if (found.affinity > 0) found.count = std::min(found.count, found.affinity);
        }
        found.allowance = ControlGroupAllowance();
        if (found.allowance > 0) found.count = std::min(found.count, found.allowance);
#endif
        return found;
    }();
    return cores;
}

void ReturnFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void ShareFewHeaps() {
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 2);
#endif
}

}  // namespace host
