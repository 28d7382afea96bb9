#!/usr/bin/env bash
# 500 photos read from a list (3000 x 2000 JPEG -> 1500 x 1000, turned 90
# degrees, LZW TIFF with the horizontal predictor): tessiva-convert --files-from
# against GNU parallel running the libvips command line (vips resize, then
# vips rot), one job per core. Both in the same run, on the same files.
#   bench/scale_bench.sh BUILD_DIR PHOTO_DIR [COUNT]
set -uo pipefail
build=$(realpath "$1") photos=$(realpath -m "$2")/batch count=${3:-500}
cores=$(nproc)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# 50 distinct photos (batch_bench.sh makes them when missing), listed under
# COUNT names so that every input is a file of its own.
if [ "$(ls "$photos" 2>/dev/null | wc -l)" -lt 50 ]; then
    "$(dirname "$0")/batch_bench.sh" "$build" "$2" >/dev/null 2>&1
fi
mkdir -p "$out/in"
mapfile -t sources < <(ls "$photos"/*.jpg)
for i in $(seq 0 $((count - 1))); do
    ln -s "${sources[$((i % ${#sources[@]}))]}" "$out/in/photo$i.jpg"
done
ls "$out"/in/*.jpg > "$out/list.txt"
cat "$out"/in/*.jpg > /dev/null  # both start from the page cache

run() {  # name command
    rm -rf "$out/result"; mkdir -p "$out/result"
    /usr/bin/time -o "$out/time" -f "%e %M" bash -c "$2" >/dev/null 2>&1
    local stats wall; stats=$(tail -1 "$out/time"); wall=${stats% *}
    local made; made=$(ls "$out/result" | grep -c '\.tif$')
    printf "%-44s %8.1f s %7d MiB %9.2f %6d\n" "$1" "$wall" $((${stats#* } / 1024)) \
        "$(awk -v n="$made" -v w="$wall" -v c="$cores" 'BEGIN { print n / w / c }')" "$made"
    echo "$wall" > "$out/wall-$3"
}
echo "$count photos from a list, 3000x2000 JPEG -> 1500x1000, rot 90, LZW TIFF; $cores cores"
printf "%-44s %10s %11s %9s %6s\n" "" "wall" "peak RSS*" "ph/s/core" "TIFFs"
run "tessiva-convert --files-from (all cores)" \
    "$build/tessiva-convert --files-from $out/list.txt -W 1500 -H 1000 -r 90 -q -d $out/result" tessiva
run "GNU parallel -j$cores: vips resize + vips rot" \
    "parallel --will-cite -j$cores 'vips resize {} $out/t{%}.v 0.5 --kernel cubic && vips rot $out/t{%}.v \"$out/result/{/.}.tif[compression=lzw,predictor=horizontal]\" d90' :::: $out/list.txt" parallel
awk -v t="$(cat "$out/wall-tessiva")" -v p="$(cat "$out/wall-parallel")" \
    'BEGIN { printf "throughput of tessiva-convert / GNU parallel + libvips: %.2f x\n", p / t }'
echo "* the largest single process: tessiva-convert is one; GNU parallel runs one vips per photo"
