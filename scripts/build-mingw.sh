#!/usr/bin/env bash
# Cross-compiles for 64-bit Windows with MinGW-w64.
#   bash scripts/build-mingw.sh [--tests|--gui] [build-dir]     (default: build-mingw)
# Without an option: the core and simulator libraries. With --tests: also the
# Windows test programs and the stand-in D2XX library, with GoogleTest built
# from the sources of the package googletest (scripts/wine-tests.sh runs them).
# With --gui: the window program against the MinGW Qt that
# scripts/qt-mingw.sh makes, and <build-dir>/deploy, the window program with
# the files it needs (scripts/windows-deploy.sh).
# Needs the MinGW-w64 compiler (package g++-mingw-w64-x86-64); installs nothing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tests=OFF
gui=OFF
if [[ ${1:-} == --tests ]]; then
    tests=ON
    shift
elif [[ ${1:-} == --gui ]]; then
    gui=ON
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
    -DCMAKE_BUILD_TYPE=Release
    -DTALVEX_BUILD_TESTS="$tests"
    -DTALVEX_BUILD_GUI="$gui"
)
if [[ $gui == ON ]]; then
    qt_dir=$(bash "$root/scripts/qt-mingw.sh" | tail -n1)
    # Qt's toolchain file finds Qt's packages, then hands over to ours.
    configure_args+=(
        -DCMAKE_TOOLCHAIN_FILE="$qt_dir/lib/cmake/Qt6/qt.toolchain.cmake"
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain"
        -DQT_HOST_PATH=/usr
    )
else
    configure_args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
fi
# The generator is fixed at the first configure; naming it again on a
# re-run would clash if it was chosen differently then.
if [[ ! -f "$build_dir/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
    configure_args+=(-G Ninja)
fi

cmake "${configure_args[@]}" >/dev/null
if [[ $gui == ON ]]; then
    cmake --build "$build_dir" --target talvex-setting-manager -j 2
    bash "$root/scripts/windows-deploy.sh" "$build_dir" "$qt_dir"
    echo "build-mingw: built the window program, gathered with what it needs in $build_dir/deploy"
elif [[ $tests == ON ]]; then
    cmake --build "$build_dir" -j 2
    echo "build-mingw: built the core, the simulator and the Windows tests in $build_dir"
else
    cmake --build "$build_dir" --target talvex_sim talvex_update -j 2
    echo "build-mingw: built the core layers and talvex_sim in $build_dir"
fi
