#!/usr/bin/env bash
# Takes doc/screenshot.png for the README: the built-in example on the sample
# image, ORIG and Vysledek side by side, on a private Xvfb.
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

# Wide enough for two windows of the 800x600 sample, each as wide as its
# toolbar (about 1500 pixels). -displayfd picks a free display number and
# writes it once the server takes connections.
Xvfb -displayfd 3 -screen 0 3200x720x24 -br -nolisten tcp 3>"$work/display" \
  2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY

# The built-in example reads cerven.jpg from the working directory.
(cd sample && exec "$tesmic") >/dev/null 2>"$work/tesmic.log" &
tesmic_pid=$!

window() {  # the visible top-level window titled exactly $1
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}
orig=$(window ORIG) || { echo "screenshot: no ORIG window" >&2; exit 1; }
mask=$(window Vysledek) || { echo "screenshot: no Vysledek window" >&2; exit 1; }
# The timing line comes after the pass, right before the images are shown.
for _ in $(seq 100); do
  grep -q '^Cas' "$work/tesmic.log" && break
  sleep 0.1
done
grep -q '^Cas' "$work/tesmic.log" || { echo "screenshot: tesmic did not run" >&2; exit 1; }

# With no window manager both windows sit at 0,0: put the mask to the right.
size() {  # width and height of window $1
  xdotool getwindowgeometry --shell "$1" \
    | awk -F= '$1 == "WIDTH" { w = $2 } $1 == "HEIGHT" { h = $2 } END { print w, h }'
}
gap=12
read -r orig_width orig_height < <(size "$orig")
xdotool windowmove --sync "$mask" $((orig_width + gap)) 0
read -r mask_width mask_height < <(size "$mask")
width=$((orig_width + gap + mask_width))
height=$((orig_height > mask_height ? orig_height : mask_height))

# Qt may not have painted a window yet, which leaves it black on the screen
# although it is mapped: take the screen until both windows show something.
brightness() {  # mean of the region $1 wide from x $2 of the capture, 0..1
  pamcut -left "$2" -top 0 -width "$1" -height "$height" "$work/screen.ppm" \
    | pamsumm -mean -brief -normalize
}
painted=no
for _ in $(seq 20); do
  sleep 0.5
  xwd -root -silent | xwdtopnm 2>/dev/null \
    | pamcut -left 0 -top 0 -width "$width" -height "$height" >"$work/screen.ppm"
  if awk -v a="$(brightness "$orig_width" 0)" \
         -v b="$(brightness "$mask_width" $((orig_width + gap)))" \
         'BEGIN { exit !(a > 0.2 && b > 0.2) }'; then
    painted=yes
    break
  fi
done
[[ $painted == yes ]] || { echo "screenshot: the windows stayed black" >&2; exit 1; }
mkdir -p doc
pnmtopng -compression 9 "$work/screen.ppm" >"$work/screenshot.png"
mv "$work/screenshot.png" doc/screenshot.png

# A key in a window ends the run, as it would for a user.
xdotool mousemove --window "$mask" 20 20 key q
for _ in $(seq 100); do
  kill -0 "$tesmic_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$tesmic_pid" 2>/dev/null; then
  echo "screenshot: tesmic did not end on a key" >&2
  exit 1
fi
status=0
wait "$tesmic_pid" || status=$?
tesmic_pid=""
if [[ $status -ne 0 ]]; then
  echo "screenshot: tesmic ended with status $status" >&2
  exit 1
fi
echo "screenshot: doc/screenshot.png, ${width}x${height}"
