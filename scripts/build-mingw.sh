#!/usr/bin/env bash
# Cross-compiles for 64-bit Windows with MinGW-w64.
#   bash scripts/build-mingw.sh [--tests] [build-dir]     (default: build-mingw)
# Without --tests: the core and simulator libraries. With --tests: also the
# Windows test programs and the stand-in D2XX library, with GoogleTest built
# from the sources of the package googletest (scripts/wine-tests.sh runs them).
# Needs the MinGW-w64 compiler (package g++-mingw-w64-x86-64); installs nothing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tests=OFF
if [[ ${1:-} == --tests ]]; then
    tests=ON
    shift
fi
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
    -DTALVEX_BUILD_TESTS="$tests"
    -DTALVEX_BUILD_GUI=OFF
)
# The generator is fixed at the first configure; naming it again on a
# re-run would clash if it was chosen differently then.
if [[ ! -f "$build_dir/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
    configure_args+=(-G Ninja)
fi

cmake "${configure_args[@]}" >/dev/null
if [[ $tests == ON ]]; then
    cmake --build "$build_dir" -j 2
    echo "build-mingw: built the core, the simulator and the Windows tests in $build_dir"
else
    cmake --build "$build_dir" --target talvex_core talvex_sim -j 2
    echo "build-mingw: built talvex_core and talvex_sim in $build_dir"
fi
