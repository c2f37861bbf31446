#!/usr/bin/env bash
# Takes doc/screenshot.png for the README: the built-in example on the sample
# image, ORIG and Vysledek side by side and the control panel beside them,
# the bounds fitted to a sample dragged with Shift across the star and the
# pointer over it, on a private Xvfb.
#   scripts/screenshot.sh [BUILD_DIR]    (default build; tesmic must be built)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
tesmic=$(realpath "$build_dir/tesmic")
[[ -x $tesmic ]] || { echo "screenshot: no $tesmic, build first" >&2; exit 1; }
bash scripts/install-deps.sh screenshot

work=$(mktemp -d)
xvfb_pid=""
tesmic_pid=""
cleanup() {
  if [[ -n $tesmic_pid ]]; then kill "$tesmic_pid" 2>/dev/null || true; fi
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Room for two windows of the 800x600 sample and the panel.
width=2200
height=700
sh scripts/start-xvfb.sh ${width}x${height} >"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(cat "$work/display")"
XDG_RUNTIME_DIR=$work
export DISPLAY XDG_RUNTIME_DIR

# The built-in example reads cerven.jpg from the working directory.
(cd sample && exec "$tesmic") >"$work/tesmic.out" 2>"$work/tesmic.log" &
tesmic_pid=$!

window() {  # the visible top-level window titled exactly $1
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}
mask=$(window Vysledek) || { echo "screenshot: no Vysledek window" >&2; exit 1; }
orig=$(window ORIG) || { echo "screenshot: no ORIG window" >&2; exit 1; }
sleep 1

# The panel (Ctrl+P unchained: the panel takes the focus on the press), a
# sample dragged with Shift across the middle of the star in ORIG, whose
# image starts below the toolbar, 28 pixels down, shown 1:1, and the
# pointer on the star in the mask, so that the status bar reads it out.
xdotool mousemove --window "$mask" 400 300 windowfocus --sync "$mask"
xdotool key ctrl+p
window "tesmic - ovladaci panel" >/dev/null || { echo "screenshot: no control panel" >&2; exit 1; }
sleep 1
xdotool mousemove --window "$orig" 655 353 keydown shift mousedown 1 \
  mousemove --window "$orig" 670 360 mousemove --window "$orig" 690 378 sleep 0.3 \
  mouseup 1 keyup shift
sleep 1
xdotool mousemove --window "$mask" 700 360
sleep 1

xwd -root -silent | xwdtopnm 2>/dev/null >"$work/screen.ppm"
mkdir -p doc
pnmtopng -compression 9 "$work/screen.ppm" >"$work/screenshot.png"
mv "$work/screenshot.png" doc/screenshot.png

# A key in a window ends the run, as it would for a user; the tuned bounds
# come out as the command that repeats the run.
xdotool mousemove --window "$mask" 20 100 windowfocus --sync "$mask" key q
for _ in $(seq 100); do
  kill -0 "$tesmic_pid" 2>/dev/null || break
  sleep 0.1
done
status=0
wait "$tesmic_pid" || status=$?
tesmic_pid=""
if [[ $status -ne 0 ]]; then
  echo "screenshot: tesmic ended with status $status" >&2
  exit 1
fi
echo "screenshot: doc/screenshot.png, ${width}x${height}; tesmic printed: $(tail -n 1 "$work/tesmic.out")"
