#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing tesmic
# need, and only those that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libopencv-dev libhwy-dev libx11-dev libxcb1-dev libxrandr-dev qtbase5-dev libseccomp-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth libxdo-dev zlib1g-dev tesseract-ocr tesseract-ocr-eng openbox tint2
  dpkg-dev lintian groff-base man-db
)
# Extra groups, asked for by name: scripts/install-deps.sh screenshot
for extra in "$@"; do
  case "$extra" in
    screenshot) packages+=(xdotool x11-apps netpbm) ;;
    *) echo "install-deps: unknown group '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

# env carries DEBIAN_FRONTEND through sudo, which would drop it.
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
  --no-install-recommends "${missing[@]}"
