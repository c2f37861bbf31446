#!/usr/bin/env bash
# Takes doc/screenshot.png for the README: the built-in example on the sample
# image, ORIG and Vysledek side by side, the control panel open beside them
# with HH moved to 100 and the pointer over the star, on a private Xvfb.
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
width=2080
height=660
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
window ORIG >/dev/null || { echo "screenshot: no ORIG window" >&2; exit 1; }
sleep 1

# The panel, HH set through the box its label opens, and the pointer on the
# star of the mask, so that the status bar reads it out.
xdotool mousemove --window "$mask" 400 300 windowfocus --sync "$mask" key ctrl+p
panel=$(window "tesmic settings") || { echo "screenshot: no control panel" >&2; exit 1; }
xdotool windowmove --sync "$panel" $((2 * 816)) 0
xdotool mousemove --window "$panel" 20 12 click 1
dialog=$(window "Slider HH: H >") || { echo "screenshot: no input box for HH" >&2; exit 1; }
xdotool type --delay 30 100
xdotool key Return
sleep 1
xdotool mousemove --window "$mask" 621 318
sleep 1

# The panel is read from its own window: on the root window of a server
# without a compositor its pixels come out black.
xwd -root -silent | xwdtopnm 2>/dev/null >"$work/screen.ppm"
xwd -id "$panel" -silent | xwdtopnm 2>/dev/null >"$work/panel.ppm"
read -r px py < <(xdotool getwindowgeometry --shell "$panel" \
  | awk -F= '$1 == "X" { x = $2 } $1 == "Y" { y = $2 } END { print x, y }')
pnmpaste "$work/panel.ppm" "$px" "$py" "$work/screen.ppm" >"$work/composed.ppm"
mkdir -p doc
pnmtopng -compression 9 "$work/composed.ppm" >"$work/screenshot.png"
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
