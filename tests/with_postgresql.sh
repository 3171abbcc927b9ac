#!/usr/bin/env bash
# Runs a command with a private PostgreSQL server in a temporary folder and exports
# QUILLMERE_TEST_PG, the address of an empty database on it that the command may use as it
# likes. The server is stopped and its folder removed afterwards, also when the command fails.
# Without the server's programs the command runs as it is (and its server tests skip), unless
# CI is set: there a missing server fails, so that server tests never pass by skipping.
set -u
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ] || [ ! -x "$bin/pg_ctl" ]; then
    if [ -n "${CI:-}" ]; then
        echo "with_postgresql: no PostgreSQL server programs under /usr/lib/postgresql, and CI is" \
            "set: the server tests fail (scripts/install-deps.sh installs the server)" >&2
        exit 1
    fi
    echo "with_postgresql: no PostgreSQL server programs under /usr/lib/postgresql; server tests skip"
    exec "$@"
fi
dir=$(mktemp -d)
chmod 755 "$dir"
mkdir "$dir/data" "$dir/socket"
# The server refuses to run as root: it runs as an unprivileged user then.
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$dir/data" "$dir/socket"
    as=(runuser -u nobody --)
fi
started=""
cleanup() {
    [ -n "$started" ] && "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
    rm -rf "$dir"
}
trap cleanup EXIT
# A free port: the system's choice where python3 is there, else a random one.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' \
    2>/dev/null || shuf -i 20000-60000 -n 1)
if ! "${as[@]}" "$bin/initdb" -D "$dir/data" -U quillmere --auth=trust -E UTF8 --locale=C.UTF-8 \
        >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
fi
if ! "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/socket/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $dir/socket -c fsync=off" start >/dev/null; then
    cat "$dir/socket/server.log" >&2
    exit 1
fi
started=yes
if ! "$bin/psql" -q -h 127.0.0.1 -p "$port" -U quillmere -d postgres \
        -c "CREATE DATABASE quillmere_test" >/dev/null; then
    exit 1
fi
export QUILLMERE_TEST_PG="postgresql://quillmere@127.0.0.1:$port/quillmere_test"
"$@"
