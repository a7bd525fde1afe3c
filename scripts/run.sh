#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the player and starts it. Arguments go to the player.
# On a machine without a display the player runs on a virtual one (Xvfb) just long enough to save
# a picture of itself, whose path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vantora_install_deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target vantora vantora-drive

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/app/vantora "$@"
fi

mkdir -p build/screenshots
# A session on a bare machine has no runtime directory; give Qt a private one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
shot="$(pwd)/build/screenshots/vantora.png"
echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): starting the player on a"
echo "virtual display (Xvfb) to take a picture of it."
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" \
  ./build/app/vantora --screenshot "$shot" "$@"
echo "Open $shot to see the player."
