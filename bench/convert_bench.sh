#!/usr/bin/env bash
# Conversion workloads timed side by side with peer tools, each run as its own
# process and the tools taken in turn within each run: median and range of
# wall time, and peak memory (MiB); then Tessiva's median over the faster
# libvips line (vips resize, or vips thumbnail) of the same run.
#   [TOOLS="cli vips vipsthumb decode"] bench/convert_bench.sh BUILD_DIR PHOTO_DIR [RUNS]
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
    # The libvips command lines: a turn goes through a .v file and "vips rot",
    # otherwise the resize or thumbnail writes the TIFF itself.
    vips | vipsthumb)
      local lzw="[compression=lzw,predictor=horizontal]" scale
      if [ $tool = vips ]; then
        scale="$(awk "BEGIN{print $w/6000}") --vscale $(awk "BEGIN{print $h/(\"$in\" ~ /12000/ ? 8400 : 4000)}") --kernel cubic"
        [ "$a" = 0 ] && echo "vips resize '$in' '$o$lzw' $scale" ||
          echo "vips resize '$in' $out/r.v $scale && vips rot $out/r.v '$o$lzw' d$a"
      else
        [ "$a" = 0 ] && echo "vips thumbnail '$in' '$o$lzw' $w --height $h --size force" ||
          echo "vips thumbnail '$in' $out/r.v $w --height $h --size force && vips rot $out/r.v '$o$lzw' d$a"
      fi ;;
    # Decoding alone (a box shrink a hundred times over costs next to nothing):
    # the floor under every tool that reads the whole photo.
    decode) echo "vips shrink '$in' '$o' 100 100" ;;
    magick) echo "convert '$in' -filter Catrom -resize ${w}x${h}! -rotate $a -compress LZW -define tiff:predictor=2 '$o'" ;;
    gm) echo "gm convert '$in' -filter Catrom -resize ${w}x${h}! -rotate $a -compress LZW '$o'" ;;
    pillow) echo "$py -c \"from PIL import Image; Image.MAX_IMAGE_PIXELS=None; im=Image.open('$in').convert('RGB').resize(($w,$h), Image.BICUBIC).rotate(-$a, expand=True); im.save('$o', compression='tiff_lzw')\"" ;;
  esac
}

available() {
  case $1 in
    tessiva) [ -x "$build/bench/convert_once" ] ;;
    cli) [ -x "$build/tessiva-convert" ] ;;
    vips|vipsthumb|decode) command -v vips >/dev/null ;;
    magick) command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick ;;
    gm) command -v gm >/dev/null ;;
    pillow) $py -c "import PIL" 2>/dev/null ;;
  esac
}

printf "%-34s %-9s %9s %9s %9s %9s %8s\n" workload tool "median s" "min s" "max s" "peak MB" "/ vips"
tools=${TOOLS:-tessiva cli vips vipsthumb decode magick gm pillow}
for workload in "${workloads[@]}"; do
  IFS='|' read -r name in w h a <<<"$workload"
  declare -A median=() times=() peak=() failed=()
  present=()
  for tool in $tools; do
    if available $tool; then present+=($tool); else printf "%-34s %-9s %s\n" "$name" $tool "(not installed)"; fi
  done
  # Round robin: each run times every tool once, so a slower spell of the
  # machine falls on all of them alike.
  for ((i = 0; i < runs; i++)); do
    for tool in "${present[@]}"; do
      cmd=$(tool_cmd $tool "$in" $w $h $a "$out/$tool.tif")
      rm -f "$out/$tool.tif"
      /usr/bin/time -o "$out/time" -f "%e %M" bash -c "$cmd" >/dev/null 2>&1 || failed[$tool]=1
      [ -s "$out/$tool.tif" ] || failed[$tool]=1
      stats=$(tail -1 "$out/time")
      times[$tool]+="${stats% *} "
      rss=${stats#* }; (( rss > ${peak[$tool]:-0} )) && peak[$tool]=$rss
    done
  done
  for tool in "${present[@]}"; do
    if [ -n "${failed[$tool]:-}" ]; then printf "%-34s %-9s %s\n" "$name" $tool "(failed: no output)"; continue; fi
    sorted=($(printf "%s\n" ${times[$tool]} | sort -n))
    median[$tool]=${sorted[$((runs / 2))]}
    printf "%-34s %-9s %9s %9s %9s %9d\n" "$name" $tool "${median[$tool]}" "${sorted[0]}" "${sorted[$((runs - 1))]}" $((${peak[$tool]} / 1024))
  done
  # Tessiva's median over the faster of the two libvips command lines, from this run.
  best=$(printf "%s\n" "${median[vips]:-}" "${median[vipsthumb]:-}" | grep . | sort -n | head -1)
  for tool in tessiva cli; do
    [ -n "${median[$tool]:-}" ] && [ -n "$best" ] &&
      printf "%-34s %-9s %49s\n" "$name" "$tool" "$(awk -v t="${median[$tool]}" -v b="$best" 'BEGIN { printf "%.2f", t / b }')"
  done
  unset median times peak failed
done
