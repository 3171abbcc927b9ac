#!/usr/bin/env bash
# Builds Quillmere and starts it on the library beside it, creating an empty one when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_BENCH=OFF
cmake --build build -j"$(nproc)" --target quillmere quillmere-lib
[ -f build/bin/quillmeredb.mdb ] || build/bin/quillmere-lib init build/bin/quillmeredb.mdb
exec build/bin/quillmere
