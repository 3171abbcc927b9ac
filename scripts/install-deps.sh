#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when missing.
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev qt6-multimedia-dev libqt6sql6-sqlite
          libmpg123-dev libsqlite3-dev libtag1-dev libgl-dev libgtest-dev libbenchmark-dev
          libpq-dev postgresql
          xvfb xauth pulseaudio lame
          qt6-svg-dev desktop-file-utils appstream dpkg-dev file e2fsprogs clang-format)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
