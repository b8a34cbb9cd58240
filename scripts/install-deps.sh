#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and runs with.
# Quiet and quick when they are all there already.
set -euo pipefail

packages=(
  cmake make ninja-build g++ pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  # Qt Charts needs the OpenGL module's CMake files, which its package does not pull in.
  qt6-charts-dev libqt6opengl6-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  clang clang-format libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core
  postgresql libqt6sql6-psql libpq-dev zlib1g-dev
  locales libc-l10n
  # quarn-plant-web: its HTTP server, the charts it serves, and its tests in a
  # real headless browser and behind Debian's nginx (a certificate and a
  # password made with openssl).
  libmicrohttpd-dev libjs-chart.js chromium chromium-driver nginx-light openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
