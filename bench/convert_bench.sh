#!/usr/bin/env bash
# Conversion workloads timed side by side with peer tools, each run as its own
# process and the tools taken in turn within each run: median and range of
# wall time, peak memory (MiB), what each tool wrote (size) and its PSNR
# against an exact reference (Pillow's BICUBIC, turned), so that a wrong peer
# line shows; then Tessiva's median over vips resize (the peer of equal
# quality) and over vips thumbnail, from the same run.
#   [TOOLS="cli vips vipsthumb decode"] [BEFORE=OTHER/tessiva-convert] \
#     bench/convert_bench.sh BUILD_DIR PHOTO_DIR [RUNS]
# BEFORE adds another build of tessiva-convert as the tool "before", to compare
# a change with what it changes in the same run.
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
    before) echo "$BEFORE -W $w -H $h -r $a -o '$o' '$in'" ;;
    # The libvips command lines: a turn goes through a .v file and "vips rot",
    # otherwise the resize or thumbnail writes the TIFF itself.
    vips | vipsthumb)
      local lzw="[compression=lzw,predictor=horizontal]" scale
      if [ $tool = vips ]; then
        # Scales from the photo's own size: the output is w x h for every workload.
        local iw ih
        iw=$(vipsheader -f width "$in") ih=$(vipsheader -f height "$in")
        scale="$(awk "BEGIN{printf \"%.10g\", $w/$iw}") --vscale $(awk "BEGIN{printf \"%.10g\", $h/$ih}") --kernel cubic"
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

tool_label() { case $1 in vips) echo "vips resize" ;; vipsthumb) echo "vips thumbnail" ;; *) echo "$1" ;; esac; }

available() {
  case $1 in
    tessiva) [ -x "$build/bench/convert_once" ] ;;
    cli) [ -x "$build/tessiva-convert" ] ;;
    before) [ -n "${BEFORE:-}" ] && [ -x "$BEFORE" ] ;;
    vips|vipsthumb|decode) command -v vips >/dev/null ;;
    magick) command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick ;;
    gm) command -v gm >/dev/null ;;
    pillow) $py -c "import PIL" 2>/dev/null ;;
  esac
}

# The exact reference a workload's outputs are held against.
reference() {  # input width height angle output
  $py -c "from PIL import Image; Image.MAX_IMAGE_PIXELS=None; im=Image.open('$1').convert('RGB').resize(($2,$3), Image.BICUBIC).rotate(-$4, expand=True); im.save('$5')"
}
# PSNR of an output against the reference, or why there is none.
psnr() {  # output reference
  local size
  size=$(vipsheader -f width "$1" 2>/dev/null)x$(vipsheader -f height "$1" 2>/dev/null)
  [ "$size" = "$(vipsheader -f width "$2")x$(vipsheader -f height "$2")" ] || { echo "size differs"; return; }
  # By libvips: ImageMagick's compare runs out of its resource limits on the large ones.
  vips subtract "$1" "$2" "$out/difference.v" && vips multiply "$out/difference.v" "$out/difference.v" "$out/square.v" &&
    vips avg "$out/square.v" | awk '{ if ($1 == 0) print "identical"; else printf "%.1f dB", 10 * log(255 * 255 / $1) / log(10) }'
  rm -f "$out/difference.v" "$out/square.v"
}

printf "%-34s %-9s %9s %9s %9s %9s %11s %9s\n" workload tool "median s" "min s" "max s" "peak MB" "wrote" "PSNR"
tools=${TOOLS:-tessiva cli ${BEFORE:+before} vips vipsthumb decode magick gm pillow}
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
  reference "$in" $w $h $a "$out/reference.tif"
  for tool in "${present[@]}"; do
    if [ -n "${failed[$tool]:-}" ]; then printf "%-34s %-9s %s\n" "$name" $tool "(failed: no output)"; continue; fi
    sorted=($(printf "%s\n" ${times[$tool]} | sort -n))
    median[$tool]=${sorted[$((runs / 2))]}
    wrote=$(vipsheader -f width "$out/$tool.tif")x$(vipsheader -f height "$out/$tool.tif")
    quality=$([ $tool = decode ] && echo "-" || psnr "$out/$tool.tif" "$out/reference.tif")
    printf "%-34s %-9s %9s %9s %9s %9d %11s %9s\n" "$name" $tool "${median[$tool]}" "${sorted[0]}" \
      "${sorted[$((runs - 1))]}" $((${peak[$tool]} / 1024)) "$wrote" "$quality"
  done
  # Tessiva's median over each libvips command line of this run.
  for tool in tessiva cli before; do
    for peer in vips vipsthumb; do
      [ -n "${median[$tool]:-}" ] && [ -n "${median[$peer]:-}" ] &&
        printf "%-34s %-9s %40s %.2f\n" "$name" "$tool" "over $(tool_label $peer):" \
          "$(awk -v t="${median[$tool]}" -v b="${median[$peer]}" 'BEGIN { print t / b }')"
    done
  done
  unset median times peak failed
done
