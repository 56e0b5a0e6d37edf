#!/usr/bin/env bash
# Builds the tool and starts it. Until the windows land, this serves the
# simulated programmer on two pseudo-terminals; open the printed paths with
# any serial terminal at 115200 baud and send 0xA5.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target talvex-simulator
exec build/src/talvex-simulator "$@"
