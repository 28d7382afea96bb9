#!/usr/bin/env bash
# Starts the program in a real X window on a fresh settings folder and drives it
# with real X input along the tab order: Homepage and Help (the desktop's opener
# is a stand-in that records what it is asked to open), then Exit. Checks what
# was opened and the settings written. Keeps a screenshot in OUTPUT_DIR.
#   smoke_window.sh TESSIVA OUTPUT_DIR
set -u
exe=$1 out=$2
for tool in xvfb-run xdotool xwd; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Pictures" "$home/bin" "$out"
printf '#!/bin/sh\necho "$@" >> "%s/opened"\n' "$home" > "$home/bin/xdg-open"
chmod +x "$home/bin/xdg-open"
export HOME=$home XDG_CONFIG_HOME=$home/.config PATH=$home/bin:$PATH
unset QT_QPA_PLATFORM

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

opened=$(cat "$home/opened" 2>/dev/null)
grep -q "^https://" <<<"$opened" || { echo "Homepage opened no web page: $opened"; exit 1; }
grep -q "^file://.*/help/Introduction.htm$" <<<"$opened" || { echo "Help opened no help page: $opened"; exit 1; }
command -v convert >/dev/null && convert "$out/smoke.xwd" "$out/smoke.png" 2>/dev/null
conf=$home/.config/VELTRIX/tessiva.conf
for key in nRotateAngel nFlipType CurrentLanguage last_output_folder lfHeight lfWidth lfEscapement \
           lfOrientation lfWeight lfItalic lfUnderline lfStrikeOut lfCharSet lfOutPrecision \
           lfClipPrecision lfPitchAndFamily lfFaceName nCurrentColor; do
  grep -q "^$key=" "$conf" 2>/dev/null || { echo "the settings lack $key"; cat "$conf" 2>/dev/null; exit 1; }
done
echo "Homepage and Help opened their pages, Exit wrote every setting; screenshot in $out"
