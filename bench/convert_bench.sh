#!/usr/bin/env bash
# Conversion workloads timed side by side with peer tools, each run as its own
# process: median and range of wall time, and peak memory.
#   bench/convert_bench.sh BUILD_DIR PHOTO_DIR [RUNS]
set -uo pipefail
build=$1 photos=$2 runs=${3:-5}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
jpeg24=$photos/photo-6000x4000.jpg jpeg100=$photos/photo-12000x8400.jpg png24=$photos/photo-6000x4000.png
[ -f "$png24" ] || vips copy "$jpeg24" "$png24"
py=/usr/bin/python3

# name | input | width | height | angle
workloads=(
  "W1 24 MP JPEG -> 3000x2000, rot 90|$jpeg24|3000|2000|90"
  "W2 24 MP JPEG -> 7200x4800|$jpeg24|7200|4800|0"
  "W3 100 MP JPEG -> 4000x2800|$jpeg100|4000|2800|0"
  "W4 24 MP PNG -> 3000x2000, rot 90|$png24|3000|2000|90"
)

tool_cmd() {  # tool input width height angle output
  local tool=$1 in=$2 w=$3 h=$4 a=$5 o=$6
  case $tool in
    tessiva) echo "$build/bench/convert_once '$in' $w $h $a '$o'" ;;
    cli) echo "$build/tessiva-convert -W $w -H $h -r $a -o '$o' '$in'" ;;
    vips) echo "vips resize '$in' $out/r.v $(awk "BEGIN{print $w/6000}") --vscale $(awk "BEGIN{print $h/(\"$in\" ~ /12000/ ? 8400 : 4000)}") --kernel cubic && vips rot $out/r.v $out/t.v d$a && vips tiffsave $out/t.v '$o' --compression lzw --predictor horizontal" ;;
    magick) echo "convert '$in' -filter Catrom -resize ${w}x${h}! -rotate $a -compress LZW -define tiff:predictor=2 '$o'" ;;
    gm) echo "gm convert '$in' -filter Catrom -resize ${w}x${h}! -rotate $a -compress LZW '$o'" ;;
    pillow) echo "$py -c \"from PIL import Image; Image.MAX_IMAGE_PIXELS=None; im=Image.open('$in').convert('RGB').resize(($w,$h), Image.BICUBIC).rotate(-$a, expand=True); im.save('$o', compression='tiff_lzw')\"" ;;
  esac
}

available() {
  case $1 in
    tessiva) [ -x "$build/bench/convert_once" ] ;;
    cli) [ -x "$build/tessiva-convert" ] ;;
    vips) command -v vips >/dev/null ;;
    magick) command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick ;;
    gm) command -v gm >/dev/null ;;
    pillow) $py -c "import PIL" 2>/dev/null ;;
  esac
}

printf "%-34s %-8s %9s %9s %9s %9s\n" workload tool "median s" "min s" "max s" "peak MB"
for workload in "${workloads[@]}"; do
  IFS='|' read -r name in w h a <<<"$workload"
  for tool in tessiva cli vips magick gm pillow; do
    available $tool || { printf "%-34s %-8s %s\n" "$name" $tool "(not installed)"; continue; }
    cmd=$(tool_cmd $tool "$in" $w $h $a "$out/$tool.tif")
    times=() peak=0 failed=0
    for ((i = 0; i < runs; i++)); do
      rm -f "$out/$tool.tif"
      /usr/bin/time -o "$out/time" -f "%e %M" bash -c "$cmd" >/dev/null 2>&1 || failed=1
      [ -s "$out/$tool.tif" ] || failed=1
      stats=$(tail -1 "$out/time")
      times+=("${stats% *}")
      rss=${stats#* }; (( rss > peak )) && peak=$rss
    done
    if ((failed)); then printf "%-34s %-8s %s\n" "$name" $tool "(failed: no output)"; continue; fi
    sorted=($(printf "%s\n" "${times[@]}" | sort -n))
    printf "%-34s %-8s %9s %9s %9s %9d\n" "$name" $tool "${sorted[$((runs / 2))]}" "${sorted[0]}" "${sorted[$((runs - 1))]}" $((peak / 1024))
  done
done
