#!/usr/bin/env bash
# Pixels against the reference path: Tessiva's enlargement (its own separable
# cubic) beside the library's 2-D bicubic interpolation with the same pixel
# centres, as PSNR, on a bench photo and on a zone plate (every frequency up
# to the limit). Shrinking goes through the library's own reduce and is not
# compared here. The bar for a shortcut that changes pixels is 45 dB.
#   bench/quality_check.sh BUILD_DIR PHOTO_DIR
set -euo pipefail
build=$1 photos=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# PSNR in dB of two images of one size.
psnr() {
  vips subtract "$1" "$2" "$out/d.v"
  vips multiply "$out/d.v" "$out/d.v" "$out/d2.v"
  awk -v m="$(vips avg "$out/d2.v")" 'BEGIN { if (m == 0) print "identical"; else printf "%.1f dB\n", 10 * log(255 * 255 / m) / log(10) }'
}

# The reference: the library's bicubic interpolator, output pixel centre
# X + 1/2 sampling input (X + 1/2) / scale, edges extended.
reference() {  # input width height output
  local w0 h0 a d
  w0=$(vipsheader -f width "$1") h0=$(vipsheader -f height "$1")
  a=$(awk "BEGIN { print $2 / $w0 }") d=$(awk "BEGIN { print $3 / $h0 }")
  vips affine "$1" "$4" "$a 0 0 $d" --interpolate bicubic \
    --odx "$(awk "BEGIN { print ($a - 1) / 2 }")" --ody "$(awk "BEGIN { print ($d - 1) / 2 }")" \
    --oarea "0 0 $2 $3" --extend copy
}

vips zone "$out/z.v" 2000 1400
vips linear "$out/z.v" "$out/z8.v" 127.5 127.5 --uchar
vips bandjoin "$out/z8.v $out/z8.v $out/z8.v" "$out/z3.v"
vips copy "$out/z3.v" "$out/zone.png" --interpretation srgb

printf "%-44s %s\n" case "PSNR against the reference"
for job in "24 MP photo -> 7200x4800|$photos/photo-6000x4000.jpg|7200|4800" \
           "zone plate 2000x1400 -> 4800x3360|$out/zone.png|4800|3360" \
           "zone plate 2000x1400 -> 2001x1400|$out/zone.png|2001|1400"; do
  IFS='|' read -r name in w h <<<"$job"
  "$build/tessiva-convert" -q --overwrite -W "$w" -H "$h" -o "$out/ours.tif" "$in"
  reference "$in" "$w" "$h" "$out/ref.v"
  printf "%-44s %s\n" "$name" "$(psnr "$out/ours.tif" "$out/ref.v")"
done
