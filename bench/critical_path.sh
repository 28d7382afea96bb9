#!/usr/bin/env bash
# Where one conversion's time goes, thread by thread: CPU time in decoding,
# scaling, compressing and the rest (perf record), and each thread's time
# running and waiting (perf sched). Shows how much of the decoding runs alone.
#   bench/critical_path.sh TESSIVA_CONVERT PHOTO WIDTH HEIGHT [OPTIONS...]
set -euo pipefail
convert=$1 photo=$2 width=$3 height=$4
shift 4
command -v perf >/dev/null || { echo "perf is not installed (linux-perf)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() { "$convert" -q -W "$width" -H "$height" --overwrite -o "$work/out.tif" "$@" "$photo"; }

run "$@"  # warm the file cache
/usr/bin/time -f "wall %e s, user %U s, sys %S s, peak %M KB" -o "$work/time" \
    "$convert" -q -W "$width" -H "$height" --overwrite -o "$work/out.tif" "$@" "$photo"
echo "one conversion: $(cat "$work/time")"

# CPU samples by thread and by the library (or our code) they fall in.
perf record -q -F 2000 -o "$work/cpu.data" -- "$convert" -q -W "$width" -H "$height" \
    --overwrite -o "$work/out.tif" "$@" "$photo" 2>/dev/null
perf report -q -i "$work/cpu.data" --stdio --sort pid,dso -g none --percent-limit 0 2>/dev/null |
    awk '
    # By library: libjpeg decodes, libvips scales (and converts), our own code
    # compresses (LZW and the predictor), libc copies, the kernel serves.
    function kind(dso) {
        if (dso ~ /libjpeg/) return "decode"
        if (dso ~ /libvips|orcexec/) return "scale"
        if (dso ~ /tessiva/) return "compress"
        if (dso ~ /libc\.so/) return "copy"
        if (dso ~ /kernel/) return "kernel"
        return "other"
    }
    $1 ~ /%$/ {
        share = $1; sub(/%/, "", share)
        thread = $2; for (i = 3; i < NF; i++) if ($i !~ /orcexec/) thread = thread "_" $i
        k = kind($NF)
        cpu[thread, k] += share; total[thread] += share
    }
    END {
        n = split("decode scale compress copy kernel other", order, " ")
        printf "%-30s %7s", "thread: share of all CPU time", "all"
        for (j = 1; j <= n; j++) printf " %8s", order[j]
        printf "\n"
        for (t in total) {
            if (total[t] < 0.5) continue
            printf "%-30s %6.1f%%", t, total[t]
            for (j = 1; j <= n; j++) printf " %7.1f%%", cpu[t, order[j]]
            printf "\n"
        }
    }' | sort -t'%' -k1,1 -r

# Running, per thread, from the scheduler's view; and for how much of the
# conversion none, one, or two or more of its threads ran (with 2 cores, one
# thread alone is the serial part: decoding that nothing overlaps).
if perf sched record -q -o "$work/sched.data" -- "$convert" -q -W "$width" -H "$height" \
    --overwrite -o "$work/out.tif" "$@" "$photo" >/dev/null 2>&1; then
    echo
    perf sched timehist -i "$work/sched.data" 2>/dev/null | /usr/bin/python3 -c '
import re, sys
runs, names = {}, {}  # tid -> [(start, end)] in ms
for line in sys.stdin:
    m = re.match(r"\s*([\d.]+)\s+\[\d+\]\s+(.+?)\[(\d+)(?:/(\d+))?\]\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)", line)
    if not m or not (m.group(2).startswith("tessiva") or m.group(2).startswith("libvips")):
        continue
    end = float(m.group(1)) * 1000
    names[m.group(3)] = m.group(2)
    runs.setdefault(m.group(3), []).append((end - float(m.group(7)), end))
if not runs:
    sys.exit()
start = min(s for r in runs.values() for s, _ in r)
stop = max(e for r in runs.values() for _, e in r)
print("per thread, over the %.0f ms of the conversion: running (ms)" % (stop - start))
for tid, r in sorted(runs.items(), key=lambda kv: -sum(e - s for s, e in kv[1])):
    busy = sum(e - s for s, e in r)
    if busy >= 5:
        print("  %-28s %8.0f" % (names[tid] + "[" + tid + "]", busy))
events = sorted([(s, 1) for r in runs.values() for s, _ in r] + [(e, -1) for r in runs.values() for _, e in r])
spent = {0: 0.0, 1: 0.0, 2: 0.0}
running, last = 0, start
for t, step in events:
    spent[min(running, 2)] += t - last
    running, last = running + step, t
total = stop - start
print("threads running at once: none %.0f ms (%.0f%%), one %.0f ms (%.0f%%), two or more %.0f ms (%.0f%%)" % (
    spent[0], 100 * spent[0] / total, spent[1], 100 * spent[1] / total, spent[2], 100 * spent[2] / total))
'
fi
