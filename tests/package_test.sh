#!/usr/bin/env bash
# Builds the Debian package of the build with cpack and checks its dependencies and files.
# usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/quillmere_*_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "no single quillmere .deb: ${debs[*]}"
deb=${debs[0]}

# The libraries the programs link, found by dpkg-shlibdeps, and the Qt plug-ins they load.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6multimedia6 libqt6dbus6 libmpg123-0 libsqlite3-0 \
    qt6-qpa-plugins xdg-utils; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
# SQLite is opened directly: Qt's SQL module and its drivers are not needed.
for package in libqt6sql6 libqt6sql6-sqlite; do
    if grep -qE "(^|, )$package( |,|$)" <<<"$depends"; then
        fail "Depends names $package, which nothing uses: $depends"
    fi
done
[ "$(dpkg-deb -f "$deb" Package)" = quillmere ] || fail "the package has another name"

dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/quillmere usr/bin/quillmere-lib "usr/share/quillmere/Release Notes.htm" \
    usr/share/applications/com.corvanta.Quillmere.desktop \
    usr/share/metainfo/com.corvanta.Quillmere.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/com.corvanta.Quillmere.svg \
    usr/share/icons/hicolor/48x48/apps/com.corvanta.Quillmere.png; do
    [ -f "$work/root/$file" ] || fail "the package lacks /$file"
done
[ -x "$work/root/usr/bin/quillmere" ] || fail "the program is not executable"
echo "package test passed: $(basename "$deb")"
