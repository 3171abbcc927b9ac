#!/usr/bin/env bash
# Two real starts of the window on one portable library: the second hands its files to the
# first and ends; the first imports the songs and makes playlists of the playlist files.
# usage: single_instance_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
first=""
cleanup() {
    if [ -n "$first" ]; then
        kill "$first" 2>/dev/null || true
        wait "$first" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A portable copy with its library beside it; a home and runtime folder of its own.
mkdir -p "$work/bin" "$work/home" "$work/run" "$work/music/folder"
chmod 700 "$work/run"
cp "$build/bin/quillmere" "$build/bin/quillmere-lib" "$work/bin/"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export QT_QPA_PLATFORM=offscreen
"$work/bin/quillmere-lib" init >/dev/null
lib() { "$work/bin/quillmere-lib" "$@"; }

# Silent MPEG-1 layer III seconds with an ID3v1 tag.
song() {
    for _ in $(seq 40); do
        printf '\xff\xfb\x90\x64'
        head -c 413 /dev/zero
    done >"$1"
    printf 'TAG%-30s%-30s%-30s1999%-30s\x11' "$2" "Artist" "Album" "" >>"$1"
}
song "$work/music/first.mp3" "First"
song "$work/music/second.mp3" "Second"
song "$work/music/folder/third.mp3" "Third"
printf '#EXTM3U\nsecond.mp3\n' >"$work/music/Evening.m3u"

echo "== a first start takes its own files"
(cd "$work/music" && exec "$work/bin/quillmere" first.mp3) >"$work/first.log" 2>&1 &
first=$!
for _ in $(seq 300); do
    lib songs | grep -q $'\tFirst ' && break
    kill -0 "$first" 2>/dev/null || fail "the first start ended: $(cat "$work/first.log")"
    sleep 0.1
done
lib songs | grep -q $'\tFirst ' || fail "the first start did not import its file"

echo "== a second start hands over its files and ends"
status=0
(cd "$work/music" && timeout 60 "$work/bin/quillmere" "file://$work/music/folder" Evening.m3u) ||
    status=$?
[ "$status" = 0 ] || fail "the second start ended with $status"
kill -0 "$first" 2>/dev/null || fail "the first window ended"
for _ in $(seq 300); do
    lib playlists | grep -q 'Evening' && lib songs | grep -q $'\tThird ' && break
    sleep 0.1
done
lib songs | grep -q $'\tThird ' || fail "the folder did not reach the first window"
lib playlists | grep -q 'Evening' || fail "the playlist file did not become a playlist"
id=$(lib playlists | grep 'Evening' | cut -f1)
lib playlist entries "$id" | grep -q 'second.mp3' || fail "the playlist lacks its entry"
[ "$(lib songs | wc -l)" = 4 ] || fail "songs were imported twice: $(lib songs)"
echo "single instance test passed"
