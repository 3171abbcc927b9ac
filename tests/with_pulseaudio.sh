#!/usr/bin/env bash
# Runs a command with a private PulseAudio server that plays into a null sink, so the real
# audio output can be tested on a machine without sound hardware. Without pulseaudio the
# command runs as it is (and its sound tests skip).
set -u
dir=$(mktemp -d)
server=""
if command -v pulseaudio >/dev/null 2>&1; then
    HOME="$dir" XDG_RUNTIME_DIR="$dir" pulseaudio --daemonize=no --exit-idle-time=-1 -n \
        --use-pid-file=no --disable-shm=yes \
        --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        --load="module-null-sink sink_name=quiet" >"$dir/log" 2>&1 &
    server=$!
    for _ in $(seq 50); do
        [ -S "$dir/native" ] && break
        sleep 0.1
    done
    export PULSE_SERVER="unix:$dir/native"
fi
"$@"
status=$?
[ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
rm -rf "$dir"
exit $status
