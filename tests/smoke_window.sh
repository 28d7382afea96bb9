#!/usr/bin/env bash
# Starts the program in a real X window on a fresh settings folder, presses Tab
# and Enter with real X input (Exit is second in the tab order), then checks the
# settings it wrote. Keeps a screenshot in OUTPUT_DIR.
#   smoke_window.sh TESSIVA OUTPUT_DIR
set -u
exe=$1 out=$2
for tool in xvfb-run xdotool xwd; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Pictures" "$out"
export HOME=$home XDG_CONFIG_HOME=$home/.config
unset QT_QPA_PLATFORM

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" & pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^Tessiva$" | head -1)
  [ -n "$wid" ] || { echo "no window appeared"; kill $pid; exit 1; }
  sleep 0.5
  xwd -root -silent > "$1/smoke.xwd"
  xdotool windowfocus --sync "$wid"
  xdotool key Tab
  sleep 0.3
  xdotool key Return
  for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then kill $pid; echo "still running after Exit"; exit 1; fi
  wait $pid
' "$exe" "$out" || exit 1

command -v convert >/dev/null && convert "$out/smoke.xwd" "$out/smoke.png" 2>/dev/null
conf=$home/.config/VELTRIX/tessiva.conf
for key in nRotateAngel nFlipType CurrentLanguage last_output_folder lfHeight lfWidth lfEscapement \
           lfOrientation lfWeight lfItalic lfUnderline lfStrikeOut lfCharSet lfOutPrecision \
           lfClipPrecision lfPitchAndFamily lfFaceName nCurrentColor; do
  grep -q "^$key=" "$conf" 2>/dev/null || { echo "the settings lack $key"; cat "$conf" 2>/dev/null; exit 1; }
done
echo "Exit wrote every setting; screenshot in $out"
