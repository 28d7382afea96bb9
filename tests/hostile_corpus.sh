#!/usr/bin/env bash
# Converts a generated corpus of hostile photos one by one and checks that
# each converts or is refused within 3 s of processor time and 300 MB, as its
# manifest says, that no output shows another file's pixels, and (under
# strace) that no program but Tessiva's own decoder starts and no other file
# is opened.
#   hostile_corpus.sh TESSIVA_CONVERT SOURCE_DIR [--costly]
# --costly also runs the real bitmaps at the pixel cap (about 10 s each).
set -uo pipefail
convert=$(realpath "$1")
source=$2
costly=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in python3 vips /usr/bin/time convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
python3 "$source/tests/hostile/make_corpus.py" "$work/corpus" || exit 1
cd "$work/corpus"
mkdir -p "$work/out"

# Each file is checked on its own, two at a time; costs are what the file
# took (processor time of the program and its decoder, peak memory), so a
# busy machine changes none of them.
check() {
    local name=$1 expect=$2 cost=$3 options=$4
    local out="$work/out/$name.tif" usage="$work/usage.$name" errors="$work/errors.$name"
    [ "$cost" = costly ] && [ "$costly" != --costly ] && return
    # shellcheck disable=SC2086 # the options are words
    /usr/bin/time -f '%U %S %M' -o "$usage" timeout 60 "$convert" -q $options -o "$out" \
        "$name" 2>"$errors"
    local status=$?
    local user system kilobytes
    read -r user system kilobytes < <(tail -n 1 "$usage")
    local seconds megabytes=$((kilobytes / 1024)) outcome=converted
    seconds=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    [ -f "$out" ] || outcome=refused
    printf '%-30s %-8s %6s %7s %s\n' "$name" "$outcome" "$seconds" "$megabytes" \
        "$(head -c 120 "$errors" | tr '\n' ' ')"
    fail() { echo "FAIL $*"; }
    case $status in 0 | 1) ;; *) fail "$name: exit status $status" ;; esac
    [ "$status" -eq 0 ] && [ "$outcome" = refused ] && fail "$name: success without an output"
    [ "$expect" = refused ] && [ "$outcome" != refused ] && fail "$name: converted, not refused"
    [ "$expect" = converts ] && [ "$outcome" != converted ] && fail "$name: refused, not converted"
    if [ "$cost" != costly ]; then
        awk -v s="$seconds" 'BEGIN { exit !(s > 3.0) }' && fail "$name: $seconds s of processor time"
        [ "$megabytes" -gt 300 ] && fail "$name: $megabytes MB"
    fi
    # Metadata carried whole is written valid, whatever the photo held.
    if [ -f "$out" ] && [[ $options == *"--metadata all"* ]]; then
        if command -v tiffinfo >/dev/null && tiffinfo "$out" 2>&1 | grep -qi 'warning\|error'; then
            fail "$name: tiffinfo: $(tiffinfo "$out" 2>&1 | grep -i -m1 'warning\|error')"
        fi
        if command -v exiftool >/dev/null && ! exiftool -validate -warning -s3 "$out" | grep -qx OK; then
            fail "$name: exiftool: $(exiftool -validate -warning -s3 "$out" | tr '\n' ' ')"
        fi
    fi
    # A secret drawn into the output shows as magenta.
    if [ -f "$out" ] && [ "$(convert "$out" -fuzz 20% -transparent '#FF00FF' \
        -format '%[opaque]' info: 2>/dev/null)" = False ]; then
        fail "$name: the output shows another file's pixels"
    fi
}
export -f check
export convert costly work
tr '\t' '\n' <manifest.tsv | xargs -d '\n' -n 4 -P 2 bash -c 'check "$@"' _ >"$work/results"
printf '%-30s %-8s %6s %7s %s\n' file outcome seconds MB reason
grep -v '^FAIL ' "$work/results" | sort -k3 -n -r | head -12
echo "..."
echo "$(grep -vc '^FAIL ' "$work/results") files: $(grep -c ' converted ' "$work/results") converted, $(grep -c ' refused ' "$work/results") refused"
grep '^FAIL ' "$work/results"
failures=$(grep -c '^FAIL ' "$work/results")
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# One run over the whole corpus, traced: only the program and its decoder
# start, and nothing reads the secrets. With --seccomp-bpf only the traced
# calls stop the program, which keeps tracing cheap.
if command -v strace >/dev/null && strace -f -qq -o /dev/null true 2>/dev/null; then
    trace=(strace -f -qq -e "trace=execve,openat")
    "${trace[@]}" --seccomp-bpf -o /dev/null true 2>/dev/null && trace+=(--seccomp-bpf)
    cut -f1 manifest.tsv | grep -v '^cap-' >"$work/list"
    # Leak checking cannot run under a tracer.
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
        "${trace[@]}" -o "$work/trace" "$convert" -q --files-from "$work/list" \
        --name '{index}.tif' -d "$work/out" --overwrite 2>/dev/null
    started=$(grep -o 'execve("[^"]*"' "$work/trace" | sort -u | grep -v -e tessiva-convert -e tessiva-decode)
    [ -z "$started" ] || fail "programs started: $started"
    grep -q 'secrets/\|/etc/passwd' "$work/trace" && fail "another file was opened: $(grep -m1 'secrets/\|/etc/passwd' "$work/trace")"
    echo "traced: $(grep -c 'execve(' "$work/trace") programs started, all Tessiva's own"
else
    echo "not traced: strace cannot run here"
fi
[ "$failures" -eq 0 ] && echo "hostile corpus: every file within its budget"
exit $((failures > 0))
