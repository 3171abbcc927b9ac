#!/usr/bin/env bash
# Installs the Debian packages Quillmere needs, when missing.
#   install-deps.sh          everything: building, running, testing and benchmarks
#   install-deps.sh build    only what building the programs and their package needs
set -euo pipefail
# Compilers, Qt, the libraries the programs link, and what cpack uses for the .deb.
build=(build-essential cmake pkg-config qt6-base-dev qt6-multimedia-dev qt6-svg-dev libgl-dev
       libmpg123-dev libsqlite3-dev libtag1-dev libpq-dev dpkg-dev file)
# Tests and benchmarks: their libraries, a database server, a virtual display, a sound server,
# the desktop files' validators, the format check, and a private session bus with a remote to
# drive the player on it.
tests=(libgtest-dev libbenchmark-dev postgresql xvfb xauth pulseaudio
       desktop-file-utils appstream e2fsprogs clang-format lame dbus-daemon playerctl)
case "${1:-all}" in
build) packages=("${build[@]}") ;;
all) packages=("${build[@]}" "${tests[@]}") ;;
*)
    echo "usage: install-deps.sh [build]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
