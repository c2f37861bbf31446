#!/bin/sh
# Starts a private X server, as the tests and scripts/screenshot.sh do: Xvfb
# on a display number it picks itself, which it writes to standard output
# once it takes connections. Runs in the foreground; kill it to stop it.
#   scripts/start-xvfb.sh [WIDTHxHEIGHT [DEPTH [reset]]]
# Defaults: 4000x3000, 24 bits. With "reset" the server resets whenever its
# last client leaves, as Xvfb and some kiosk servers do by default.
noreset=-noreset
[ "${3:-}" = reset ] && noreset=
exec Xvfb -displayfd 1 -screen 0 "${1:-4000x3000}x${2:-24}" -br -nolisten tcp $noreset
