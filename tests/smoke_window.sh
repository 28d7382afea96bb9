#!/usr/bin/env bash
# Starts the program in a real X window on a fresh settings folder and drives it
# with real X input. Checks what was opened and the settings written, and keeps
# a screenshot in OUTPUT_DIR.
#   smoke_window.sh TESSIVA OUTPUT_DIR               along the tab order: Homepage, Help, Exit
#   smoke_window.sh TESSIVA OUTPUT_DIR --with-photo  a photo named at start, then F1 and Ctrl+Q
# The desktop's opener is a stand-in that records what it is asked to open.
set -u
exe=$1 out=$2 mode=${3:-}
for tool in xvfb-run xdotool xwd convert; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Pictures" "$home/bin" "$out"
printf '#!/bin/sh\necho "$@" >> "%s/opened"\n' "$home" > "$home/bin/xdg-open"
chmod +x "$home/bin/xdg-open"
export HOME=$home XDG_CONFIG_HOME=$home/.config PATH=$home/bin:$PATH
unset QT_QPA_PLATFORM
shot=smoke

if [ "$mode" = --with-photo ]; then
  shot=smoke-photo
  photo=$home/Pictures/magenta.png
  convert -size 160x100 xc:'#ff00ff' "$photo"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$0" "$2" & pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^Tessiva$" | head -1)
    [ -n "$wid" ] || { echo "no window appeared"; kill $pid; exit 1; }
    sleep 1
    xwd -root -silent > "$1/smoke-photo.xwd"
    xdotool windowfocus --sync "$wid"
    xdotool key F1
    sleep 0.5
    xdotool key ctrl+q
    for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    if kill -0 $pid 2>/dev/null; then kill $pid; echo "still running after Ctrl+Q"; exit 1; fi
    wait $pid
  ' "$exe" "$out" "$photo" || exit 1
  convert "$out/smoke-photo.xwd" "$out/smoke-photo.png" || exit 1
  # The preview shows the photo: a patch of its magenta on the screen.
  share=$(convert "$out/smoke-photo.png" -fill black +opaque '#ff00ff' -fill white -opaque '#ff00ff' \
          -colorspace gray -format '%[fx:mean*100]' info:)
  awk -v s="$share" 'BEGIN { exit !(s > 1.5) }' || { echo "no preview of the photo ($share % magenta)"; exit 1; }
else
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$0" & pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^Tessiva$" | head -1)
    [ -n "$wid" ] || { echo "no window appeared"; kill $pid; exit 1; }
    sleep 0.5
    xwd -root -silent > "$1/smoke.xwd"
    xdotool windowfocus --sync "$wid"
    # Open Photo has the focus; eight Tabs on is Homepage, then Help (the
    # size fields are disabled until a photo is open).
    xdotool key --delay 40 Tab Tab Tab Tab Tab Tab Tab Tab Return
    sleep 0.5
    xdotool key --delay 40 Tab Return
    sleep 0.5
    # Back to Exit, second in the order.
    xdotool key --delay 40 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab
    sleep 0.3
    xdotool key Return
    for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    if kill -0 $pid 2>/dev/null; then kill $pid; echo "still running after Exit"; exit 1; fi
    wait $pid
  ' "$exe" "$out" || exit 1
  convert "$out/smoke.xwd" "$out/smoke.png" 2>/dev/null
fi

opened=$(cat "$home/opened" 2>/dev/null)
if [ "$mode" != --with-photo ]; then
  grep -q "^https://" <<<"$opened" || { echo "Homepage opened no web page: $opened"; exit 1; }
fi
grep -q "^file://.*/help/Introduction.htm$" <<<"$opened" || { echo "Help opened no help page: $opened"; exit 1; }
conf=$home/.config/VELTRIX/tessiva.conf
for key in nRotateAngel nFlipType CurrentLanguage last_output_folder lfHeight lfWidth lfEscapement \
           lfOrientation lfWeight lfItalic lfUnderline lfStrikeOut lfCharSet lfOutPrecision \
           lfClipPrecision lfPitchAndFamily lfFaceName nCurrentColor; do
  grep -q "^$key=" "$conf" 2>/dev/null || { echo "the settings lack $key"; cat "$conf" 2>/dev/null; exit 1; }
done
echo "window checks passed ($mode); help: $(grep help <<<"$opened"); screenshot $out/$shot.png"
