#!/bin/sh
# Starts a private X server, as the tests and scripts/screenshot.sh do: Xvfb
# on a display number it picks itself, which it writes to standard output
# once it takes connections. Runs in the foreground; kill it to stop it.
#   scripts/start-xvfb.sh [WIDTHxHEIGHT]    (default 4000x3000)
exec Xvfb -displayfd 1 -screen 0 "${1:-4000x3000}x24" -br -nolisten tcp -noreset
