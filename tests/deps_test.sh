#!/usr/bin/env bash
# Runs the scripts on a machine that has nothing installed, with apt-get, dpkg-query, sudo,
# cmake and cpack replaced by stand-ins that record what they are asked, and checks which
# packages each script installs.   usage: deps_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

mkdir -p "$work/bin" "$work/tree/scripts" "$work/tree/build-package" "$work/tree/build-test" \
    "$work/tree/build-asan"
cp "$source_dir"/scripts/*.sh "$work/tree/scripts/"
for tool in apt-get cmake cpack ctest; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/asked"\n' "$tool" "$work" >"$work/bin/$tool"
done
# Nothing is installed; sudo runs the command it is given.
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work"/bin/*

# The packages a script asks apt-get to install.
installs() {
    rm -f "$work/asked"
    PATH="$work/bin:$PATH" bash "$work/tree/scripts/$1" >/dev/null 2>&1 || fail "$1 failed"
    grep '^apt-get install' "$work/asked" | sed 's/^apt-get install -y --no-install-recommends //'
}

package=" $(installs package.sh) "
for needed in build-essential cmake qt6-base-dev qt6-multimedia-dev qt6-svg-dev libmpg123-dev \
    libsqlite3-dev libtag1-dev libpq-dev dpkg-dev file; do
    [[ $package == *" $needed "* ]] || fail "package.sh does not install $needed:$package"
done
for unneeded in postgresql xvfb xauth pulseaudio libgtest-dev libbenchmark-dev clang-format \
    appstream desktop-file-utils; do
    [[ $package != *" $unneeded "* ]] || fail "package.sh installs $unneeded:$package"
done

# Both runs of the whole suite (CI runs them with CI set, where a missing server fails).
for script in test.sh sanitize.sh; do
    tests=" $(installs $script) "
    for needed in postgresql xvfb xauth pulseaudio libgtest-dev libbenchmark-dev qt6-base-dev \
        desktop-file-utils appstream e2fsprogs clang-format; do
        [[ $tests == *" $needed "* ]] || fail "$script does not install $needed:$tests"
    done
done
[[ $tests != *" libqt6sql6-sqlite "* ]] || fail "test.sh installs Qt's SQLite driver:$tests"
echo "deps test passed"
