#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows
# cross build of the core.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh

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
    ctest --test-dir build-tsan --output-on-failure -R 'CardPresence|PortSlot|Exchange'

echo "== Windows cross build (MinGW-w64)"
bash scripts/build-mingw.sh "$root/build-mingw"

echo "== tests"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
