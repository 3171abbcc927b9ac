#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed program as the desktop and
# its users meet it: files in place, both validators, the per-user library of the command line
# and of the window, a read-only home.   usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
id=com.corvanta.Quillmere
# Under the build folder: a disk that keeps file attributes, unlike some temporary folders.
work=$(mktemp -d -p "$build" install-test.XXXXXX)
prefix=$work/prefix
immutable=()
cleanup() {
    for d in "${immutable[@]}"; do chattr -i "$d"; done
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Root writes into any folder that only lacks write bits; the immutable flag stops it too.
make_unwritable() {
    chmod a-w "$1"
    if [ -w "$1" ]; then
        chattr +i "$1" || fail "cannot make $1 unwritable (chattr +i)"
        immutable+=("$1")
    fi
    [ ! -w "$1" ] || fail "$1 is still writable"
}

# A program run as a user whose home is $1, with the standard folders left to their defaults.
as_user() {
    local home=$1
    shift
    env -u XDG_DATA_HOME -u XDG_CACHE_HOME -u XDG_CONFIG_HOME HOME="$home" "$@"
}

# The installed window, ended right after its start-up; message boxes go to stderr.
start_window() {
    as_user "$1" QT_QPA_PLATFORM=offscreen QUILLMERE_QUIT_AFTER_START=1 \
        timeout 120 "$prefix/bin/quillmere"
}

cmake --install "$build" --prefix "$prefix" >/dev/null

echo "== files where the desktop expects them"
expected="bin/quillmere
bin/quillmere-lib
share/applications/$id.desktop
share/icons/hicolor/scalable/apps/$id.svg
share/metainfo/$id.metainfo.xml
share/quillmere/Release Notes.htm"
for size in 16 22 24 32 48 64 128 256; do
    expected+=$'\n'"share/icons/hicolor/${size}x${size}/apps/$id.png"
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" |
        grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "the ${size}x${size} icon is not a $size x $size PNG with alpha"
done
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(LC_ALL=C sort <<<"$expected")" ] ||
    fail "installed files differ:"$'\n'"$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$installed"))"
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
grep -qx 'Exec=quillmere %U' "$prefix/share/applications/$id.desktop" ||
    fail "the desktop entry does not hand the program its files"
for type in audio/mpeg audio/x-mpegurl audio/mpegurl application/vnd.apple.mpegurl \
    audio/x-scpls application/xspf+xml; do
    grep -q "^MimeType=.*$type;" "$prefix/share/applications/$id.desktop" ||
        fail "the desktop entry does not declare $type"
    grep -q "<mediatype>$type</mediatype>" "$prefix/share/metainfo/$id.metainfo.xml" ||
        fail "the metadata does not name $type"
done
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "the entry names another icon"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
    "$prefix/share/metainfo/$id.metainfo.xml" || fail "the metadata names another desktop entry"

echo "== an installed program: its folder cannot be written"
make_unwritable "$prefix/bin"
bin_before=$(ls -A "$prefix/bin")

home=$work/home
mkdir "$home"
library=$home/.local/share/Quillmere/quillmeredb.mdb
songs=$(as_user "$home" "$prefix/bin/quillmere-lib" songs)
[ -f "$library" ] || fail "quillmere-lib songs did not create $library"
[ "$(wc -l <<<"$songs")" = 1 ] || fail "a new library lists songs: $songs"

# One silent MPEG-1 layer III second with an ID3v1 tag, imported into the user's library.
music=$work/music
mkdir "$music"
for _ in $(seq 40); do
    printf '\xff\xfb\x90\x64'
    head -c 413 /dev/zero
done >"$music/song.mp3"
printf 'TAG%-30s%-30s%-30s1999%-30s\x11' "Installed" "Artist" "Album" "" >>"$music/song.mp3"
as_user "$home" "$prefix/bin/quillmere-lib" import "$music" | grep -qx 'imported 1, existing 0, failed 0' ||
    fail "the import into the user's library failed"
as_user "$home" "$prefix/bin/quillmere-lib" songs | grep -q $'\tInstalled ' ||
    fail "the imported song is not listed from the user's library"
init=$(as_user "$home" "$prefix/bin/quillmere-lib" init 2>&1) && fail "init replaced the library"
grep -qF "\"$library\" already exists" <<<"$init" || fail "init names another file: $init"

echo "== the installed window"
if ! start_window "$home" 2>"$work/window.err"; then
    cat "$work/window.err" >&2
    fail "the window did not start cleanly on the user's library"
fi
grep '^quillmere: ' "$work/window.err" && fail "the window showed messages at start-up"
[ "$(ls -A "$prefix/bin")" = "$bin_before" ] || fail "something was written beside the program"

echo "== a second user has a library of their own"
other=$work/other
mkdir "$other"
start_window "$other" 2>/dev/null || fail "the window did not start for a second user"
[ -f "$other/.local/share/Quillmere/quillmeredb.mdb" ] || fail "the window made no library"
[ "$(as_user "$other" "$prefix/bin/quillmere-lib" songs | wc -l)" = 1 ] ||
    fail "the second user sees the first user's songs"

echo "== XDG_DATA_HOME places the library; init makes its folder"
made=$(env XDG_DATA_HOME="$work/xdg" HOME="$other" "$prefix/bin/quillmere-lib" init)
[ "$made" = "created $work/xdg/Quillmere/quillmeredb.mdb" ] || fail "init: $made"
env XDG_DATA_HOME="$work/xdg" HOME="$other" "$prefix/bin/quillmere-lib" playlists >/dev/null

echo "== a library in a folder that cannot be written is read as it stands"
make_unwritable "$home/.local/share/Quillmere"
if ! start_window "$home" 2>"$work/window.err"; then
    cat "$work/window.err" >&2
    fail "the window did not start on a library in a read-only folder"
fi
grep '^quillmere: ' "$work/window.err" && fail "the window showed messages on a read-only library"
as_user "$home" "$prefix/bin/quillmere-lib" songs | grep -q $'\tInstalled ' ||
    fail "the songs of a library in a read-only folder are not listed"
err=$(as_user "$home" "$prefix/bin/quillmere-lib" playlist create New 2>&1) && fail "a read-only library was written"
grep -qF "is read-only; nothing was changed" <<<"$err" || fail "the refusal does not say read-only: $err"
[ "$(ls -A "$home/.local/share/Quillmere")" = "quillmeredb.mdb" ] ||
    fail "files were left beside a read-only library: $(ls -A "$home/.local/share/Quillmere")"

echo "== a read-only home: a clear error, nothing written"
locked=$work/locked
mkdir "$locked"
make_unwritable "$locked"
folder="$locked/.local/share/Quillmere"
status=0
err=$(as_user "$locked" "$prefix/bin/quillmere-lib" songs 2>&1 >/dev/null) || status=$?
[ "$status" = 2 ] || fail "quillmere-lib ended with $status on a read-only home"
grep -qF "Cannot create the folder \"$folder\" for the library: " <<<"$err" ||
    fail "quillmere-lib did not name the folder: $err"
status=0
start_window "$locked" 2>"$work/window.err" || status=$?
[ "$status" = 1 ] || fail "the window ended with $status on a read-only home"
grep -qF "quillmere: Cannot create the folder \"$folder\" for the library: " "$work/window.err" ||
    fail "the window did not name the folder: $(cat "$work/window.err")"
[ -z "$(ls -A "$locked")" ] || fail "something was written in the read-only home"
[ "$(ls -A "$prefix/bin")" = "$bin_before" ] || fail "something was written beside the program"

echo "== an installed prefix that can be written still gives each user a library of their own"
for d in "${immutable[@]}"; do chattr -i "$d"; done
immutable=()
chmod u+w "$prefix/bin"
fresh=$work/fresh
mkdir "$fresh"
as_user "$fresh" "$prefix/bin/quillmere-lib" songs >/dev/null ||
    fail "quillmere-lib did not open the user's library from a prefix its owner can write"
[ -f "$fresh/.local/share/Quillmere/quillmeredb.mdb" ] || fail "no per-user library for the prefix's owner"
start_window "$fresh" 2>"$work/window.err" || fail "the window failed: $(cat "$work/window.err")"
[ "$(ls -A "$prefix/bin")" = "$bin_before" ] || fail "a library was made beside an installed program"

# Another user, with a copy of the prefix they own, in a folder they can reach (the checkout
# may lie where only its owner may enter).
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    echo "== another user who owns the prefix"
    shared=$(mktemp -d /tmp/quillmere-install.XXXXXX)
    trap 'cleanup; rm -rf "$shared"' EXIT
    cp -a "$prefix" "$shared/prefix"
    mkdir "$shared/home"
    chown -R nobody "$shared"
    chmod 755 "$shared"
    runuser -u nobody -- env -u XDG_DATA_HOME -u XDG_CACHE_HOME -u XDG_CONFIG_HOME \
        -u XDG_RUNTIME_DIR HOME="$shared/home" "$shared/prefix/bin/quillmere-lib" songs >/dev/null ||
        fail "quillmere-lib did not open the library of another user who owns the prefix"
    [ -f "$shared/home/.local/share/Quillmere/quillmeredb.mdb" ] ||
        fail "no per-user library for another user who owns the prefix"
    [ "$(ls -A "$shared/prefix/bin")" = "$bin_before" ] ||
        fail "a library was made beside the program of another user's prefix"
else
    echo "== another user who owns the prefix: skipped, it needs root and the user nobody"
fi

echo "== a portable copy stays portable"
portable=$work/portable
mkdir "$portable"
cp "$prefix/bin/quillmere" "$prefix/bin/quillmere-lib" "$portable/"
err=$(as_user "$fresh" "$portable/quillmere-lib" songs 2>&1 >/dev/null) && fail "a missing portable library opened"
grep -qF "$portable/quillmeredb.mdb" <<<"$err" || fail "the portable library is not beside the program: $err"
[ "$(ls -A "$portable")" = "$(printf 'quillmere\nquillmere-lib')" ] || fail "a portable run created a library"
echo "install test passed"
