#!/usr/bin/env bash
# Checks that tests are at most a third of the code, then builds
# everything and runs every test: the core tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the thread tests under
# ThreadSanitizer, the normal build with every test, the Windows build
# of the core with its tests under Wine, the Windows window program
# clicked through under Wine in Xvfb and its installer, and the fuzz
# targets for a fixed number of inputs each.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh

echo "== tests, fuzz targets and test scripts: at most a third of the code"
bash scripts/code-lines.sh

configure() { # dir, extra args...
    local dir=$1; shift
    local generator=()
    [[ -f "$dir/CMakeCache.txt" ]] || generator=(-G Ninja)
    cmake -S . -B "$dir" "${generator[@]}" "$@" >/dev/null
}

echo "== sanitizer build (ASan + UBSan)"
# The core and its simulator; the windows run in the normal build below.
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DTALVEX_SANITIZE=ON -DTALVEX_BUILD_GUI=OFF
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j2

echo "== thread tests under ThreadSanitizer"
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DTALVEX_TSAN=ON -DTALVEX_BUILD_GUI=OFF
cmake --build build-tsan -j2 --target talvex_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-tsan --output-on-failure -R 'CardPresence|Exchange|Batch|ProgrammerSearch|LockstepClock|DurableFile'

echo "== tests"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

echo "== Windows build and tests under Wine, the window program and the installer"
TALVEX_SIMULATOR="$root/build/src/talvex-simulator" bash scripts/wine-tests.sh "$root/build-mingw-tests"

echo "== fuzz targets (fixed runs)"
bash scripts/fuzz-ci.sh "$root/build-fuzz"

bash scripts/package-ci.sh "$root/build"
