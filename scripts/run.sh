#!/usr/bin/env bash
# Builds the tool and starts it with the built-in simulated programmer on
# COM3/COM4. Extra arguments go to the program; a real device is used when
# the program is started without --simulate (build/src/talvex-setting-manager).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target talvex-setting-manager
exec build/src/talvex-setting-manager --simulate "$@"
