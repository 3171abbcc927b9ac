#!/usr/bin/env bash
# Builds the Debian package build-package/quillmere_<version>_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_TESTS=OFF -DQUILLMERE_BENCH=OFF
cmake --build build-package -j"$(nproc)" --target quillmere quillmere-lib
cd build-package
cpack -G DEB
