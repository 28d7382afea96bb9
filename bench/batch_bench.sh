#!/usr/bin/env bash
# A batch of 50 photos (3000 x 2000 JPEG -> 1500 x 1000, turned 90 degrees, LZW
# TIFF): tessiva-convert against vips in a shell loop and GNU parallel running
# ImageMagick. Wall time of the whole batch and peak memory of one process.
#   bench/batch_bench.sh BUILD_DIR PHOTO_DIR
set -uo pipefail
build=$1 photos=$2/batch
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$photos"
if [ "$(ls "$photos" | wc -l)" -lt 50 ]; then
  for i in $(seq -w 1 50); do
    vips gaussnoise "$out/n.v" 3000 2000 --sigma 6 >/dev/null
    vips xyz "$out/xy.v" 3000 2000
    vips linear "$out/xy.v" "$out/l.v" "$((10#$i % 7 + 1))e-2 $((10#$i % 5 + 1))e-2" "$((10#$i)) 40" >/dev/null
    vips bandjoin "$out/l.v $out/n.v" "$out/rgb.v"
    vips cast "$out/rgb.v" "$out/c.v" uchar
    vips copy "$out/c.v" "$photos/photo$i.jpg[Q=90]" --interpretation srgb
  done
fi
run() {  # name command
  rm -rf "$out/result"; mkdir -p "$out/result"
  /usr/bin/time -o "$out/time" -f "%e %M" bash -c "$2" >/dev/null 2>&1
  local stats; stats=$(tail -1 "$out/time")
  printf "%-40s %8s s %8d MB  %3d files\n" "$1" "${stats% *}" $((${stats#* } / 1024)) "$(ls "$out/result" | wc -l)"
}
echo "50 photos, 3000x2000 JPEG -> 1500x1000, rot 90, LZW TIFF"
run "tessiva-convert (all cores)" "$build/tessiva-convert -W 1500 -H 1000 -r 90 -d $out/result $photos/*.jpg"
run "vips CLI, shell loop" "for f in $photos/*.jpg; do b=\$(basename \$f .jpg); vips resize \$f $out/r.v 0.5 --kernel cubic && vips rot $out/r.v $out/t.v d90 && vips tiffsave $out/t.v $out/result/\$b.tif --compression lzw --predictor horizontal; done"
if command -v parallel >/dev/null && command -v convert >/dev/null; then
  run "GNU parallel + ImageMagick (Catrom)" "parallel convert {} -filter Catrom -resize 1500x1000! -rotate 90 -compress LZW -define tiff:predictor=2 $out/result/{/.}.tif ::: $photos/*.jpg"
else
  echo "GNU parallel + ImageMagick: not installed"
fi
