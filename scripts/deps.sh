# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that Vantora needs to build, test and run; sourced by the other scripts.

VANTORA_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-dev clang-format pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libxcb1-dev fonts-liberation fonts-dejavu-core xvfb xauth xdotool x11-utils openbox
  dbus playerctl pulseaudio pulseaudio-utils libpulse-dev
  python3 desktop-file-utils appstream appstream-compose groff-base
  build-essential dpkg-dev debhelper lintian devscripts
  libcdio-dev libcdio-paranoia-dev qt6-multimedia-dev libsndfile1-dev libdiscid-dev
)

vantora_install_deps() {
  local missing=()
  local pkg
  for pkg in "${VANTORA_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "error: packages missing (${missing[*]}) and neither root nor sudo is available" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
