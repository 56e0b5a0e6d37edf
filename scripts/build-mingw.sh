#!/usr/bin/env bash
# Cross-compiles the core and simulator libraries for 64-bit Windows.
#   bash scripts/build-mingw.sh [build-dir]      (default: build-mingw)
# Needs the MinGW-w64 compiler (package g++-mingw-w64-x86-64); installs nothing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-$root/build-mingw}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
    echo "build-mingw: x86_64-w64-mingw32-g++-posix not found (install g++-mingw-w64-x86-64)" >&2
    exit 1
fi

configure_args=(
    -S "$root" -B "$build_dir"
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
    -DCMAKE_BUILD_TYPE=Release
    -DTALVEX_BUILD_TESTS=OFF
    -DTALVEX_BUILD_GUI=OFF
)
# The generator is fixed at the first configure; naming it again on a
# re-run would clash if it was chosen differently then.
if [[ ! -f "$build_dir/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
    configure_args+=(-G Ninja)
fi

cmake "${configure_args[@]}"
cmake --build "$build_dir" --target talvex_core talvex_sim -j 2
echo "build-mingw: built talvex_core and talvex_sim in $build_dir"
