#!/usr/bin/env bash
# Builds the Debian package talvex-setting-manager with CPack.
#   bash scripts/package.sh [build-dir] [out-dir]   (defaults: build, <build-dir>/package)
#
# An existing build tree is reused as it is (scripts/test.sh leaves one in
# build); a new one is configured RelWithDebInfo without the tests. Prints
# the package's path on its last line. Needs dpkg-dev and file for the
# library dependencies (scripts/install-deps.sh installs them).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)"
out="$(mkdir -p "${2:-$build/package}" && cd "${2:-$build/package}" && pwd)"

if [[ ! -f $build/CMakeCache.txt ]]; then
    generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_BUILD_TESTS=OFF >/dev/null
fi
# The packaged programs and files; in a tree already built this does nothing.
cmake --build "$build" -j2 --target talvex-setting-manager talvexctl talvex-simulator talvex_package_files

# Files and directories in the package get these permissions, whoever runs it.
umask 022
rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
deb=$(find "$out" -maxdepth 1 -name '*.deb' -print -quit)
[[ -n $deb ]] || { echo "package: cpack made no .deb (see $out/cpack.log)" >&2; exit 1; }
echo "$deb"
