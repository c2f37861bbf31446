#!/usr/bin/env bash
# Measures what an untouched run costs while it waits: CPU time as a share
# of one core and wake-ups (context switches of all its threads) a second,
# over SECONDS, once with the windows alone and once with the control panel
# open. Each binary runs on a private Xvfb, one after the other. Needs
# xdotool (scripts/install-deps.sh screenshot).
#   scripts/idle-cost.sh [SECONDS] BINARY...
set -euo pipefail
seconds=20
if [[ ${1:-} =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
[[ $# -gt 0 ]] || { echo "usage: $0 [SECONDS] BINARY..." >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
sample="$here/../sample/cerven.jpg"
hz=$(getconf CLK_TCK)

# CPU ticks and context switches of every thread of the process.
counters() {
  local pid=$1 ticks=0 switches=0 t f
  for t in /proc/"$pid"/task/*; do
    read -r -a f < <(sed 's/^.*) //' "$t/stat")
    ticks=$((ticks + f[11] + f[12]))
    switches=$((switches + $(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status")))
  done
  echo "$ticks $switches"
}

measure() {
  local pid=$1 label=$2 before after
  before=($(counters "$pid"))
  sleep "$seconds"
  after=($(counters "$pid"))
  awk -v l="$label" -v t=$((after[0] - before[0])) -v s=$((after[1] - before[1])) \
      -v hz="$hz" -v d="$seconds" \
      'BEGIN { printf "%-40s %6.2f %% of a core %8.1f wake-ups/s\n", l, 100 * t / hz / d, s / d }'
}

for binary in "$@"; do
  exec 3< <(exec "$here/start-xvfb.sh" 1920x1080 24 2>/dev/null)
  xvfb=$!
  read -r display <&3
  export DISPLAY=":$display"
  runtime=$(mktemp -d); chmod 700 "$runtime"
  XDG_RUNTIME_DIR=$runtime "$binary" "$sample" 175 30 160 240 90 0 >/dev/null 2>&1 &
  pid=$!
  xdotool search --sync --onlyvisible --name '^Vysledek$' >/dev/null
  sleep 2
  measure "$pid" "$binary, windows"
  xdotool search --onlyvisible --name '^Vysledek$' windowfocus --sync
  # A key of its own, not chained to the window: the panel takes the focus
  # on the press, and a chained key's release would then go to Vysledek as
  # a sent event, leaving the key down in the server, repeating.
  xdotool key ctrl+p
  # The program's own panel, or OpenCV's "... settings" of earlier versions.
  xdotool search --sync --onlyvisible --name '(^tesmic - ovladaci panel| settings)$' >/dev/null
  sleep 2
  measure "$pid" "$binary, control panel open"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  kill "$xvfb"; wait "$xvfb" 2>/dev/null || true
  rm -rf "$runtime"
done
