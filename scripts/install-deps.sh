#!/usr/bin/env bash
# Installs the Debian packages Marlo needs to build, run and test, when any is missing; with
# package names as arguments, those instead (scripts/fuzz.sh asks for clang).
set -euo pipefail
packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev qt6-translations-l10n libgl-dev
  fonts-noto-cjk
  liblhasa-dev
  libgtest-dev libgmock-dev
  libvterm-dev vttest                                # the xterm emulation's oracle and screens
  lrzsz socat xvfb xauth inetutils-telnetd
  librsvg2-bin                                       # renders the icon sizes
  desktop-file-utils appstream dpkg-dev file man-db  # the packaging tests
)
if [ $# -gt 0 ]; then packages=("$@"); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
