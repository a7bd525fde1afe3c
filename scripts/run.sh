#!/usr/bin/env bash
# Installs what is missing, builds the player and starts it. Arguments go to the player.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vantora_install_deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target vantora
exec ./build/app/vantora "$@"
