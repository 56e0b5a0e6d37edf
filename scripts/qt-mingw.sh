#!/usr/bin/env bash
# Qt for 64-bit Windows, cross-built with MinGW-w64 from Debian's qt6-base
# source package, for the window program's Windows build.
#   bash scripts/qt-mingw.sh            prints the Qt folder (its last line)
#
# The Qt lands in a cache folder named by the Qt version and a hash of the
# recipe below (toolchain, configure line, features, source change):
#   ${TALVEX_QT_MINGW_CACHE:-${XDG_CACHE_HOME:-~/.cache}/talvex/qt-mingw}/<version>-<hash>
# When that folder is complete, nothing is done. Else, when the prebuilt
# copy ../shared/qt6-mingw/ (or TALVEX_QT_MINGW_PREBUILT) is the one this
# recipe made, it is unpacked; otherwise Qt is built from source: about
# 23 CPU-minutes, 15 to 25 min on 2 idle cores (see README.md). Needs the
# host's qt6-base-dev-tools of the same version (moc, rcc, uic) and
# g++-mingw-w64-x86-64.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
say() { echo "qt-mingw: $*" >&2; }
fail() { echo "qt-mingw: $*" >&2; exit 1; }

triple=x86_64-w64-mingw32
# The Qt built is the host tools' Qt: its moc and rcc must match.
debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null) \
    || fail "qt6-base-dev-tools is not installed"
qt_version=${debian_version%%+*}

toolchain_text() {
    cat <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_AR $triple-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB $triple-ranlib CACHE FILEPATH "Ranlib")
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}
# Only what the windows need; the rest is off, to keep the build short.
configure_args=(
    -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_dbus=OFF -DFEATURE_xml=OFF
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF
    -DFEATURE_tabletevent=OFF # Debian's source has no src/3rdparty/wintab
    -DFEATURE_androiddeployqt=OFF -DFEATURE_pkg_config=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_testlib=ON
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
)
# With direct2d off, 6.4.2's windows platform plugin still refers to the
# DirectWrite font database and fails to link.
patch_source() { # source folder
    sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
        "$1/src/plugins/platforms/windows/qwindowsintegration.cpp"
    [[ $(grep -c 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' \
        "$1/src/plugins/platforms/windows/qwindowsintegration.cpp") == 2 ]] \
        || fail "the source change no longer applies to $1"
}
recipe_hash=$( { toolchain_text; printf '%s\n' "${configure_args[@]}"; declare -f patch_source; } \
    | sha256sum | cut -c1-12)

# The prebuilt copy this recipe made (its README tells how, in the same words).
prebuilt_sha256=2ef191a0343002d7581f789f92faeeacb7cc313e957ddb00aae65765c2fcd132
prebuilt_version=6.4.2
prebuilt_recipe=24ba7c0314ac

cache_root=${TALVEX_QT_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/talvex/qt-mingw}
qt_dir="$cache_root/$qt_version-$recipe_hash"
complete() {
    [[ -f $1/.complete && -f $1/lib/cmake/Qt6/qt.toolchain.cmake && -f $1/bin/Qt6Widgets.dll \
        && -f $1/plugins/platforms/qwindows.dll ]]
}
if complete "$qt_dir"; then
    echo "$qt_dir"
    exit 0
fi
mkdir -p "$cache_root"
partial="$qt_dir.partial"
rm -rf "$partial"
mkdir -p "$partial"

prebuilt=${TALVEX_QT_MINGW_PREBUILT:-$root/../shared/qt6-mingw/qt$qt_version-mingw-w64-x86_64.tar.xz}
if [[ -f $prebuilt && $qt_version == "$prebuilt_version" && $recipe_hash == "$prebuilt_recipe" ]] \
    && [[ $(sha256sum "$prebuilt" | cut -d' ' -f1) == "$prebuilt_sha256" ]]; then
    say "unpacking the prebuilt Qt $qt_version from $prebuilt"
    tar xJf "$prebuilt" -C "$partial" --strip-components=1
else
    [[ -f $prebuilt ]] && say "$prebuilt is not this recipe's Qt $qt_version: building from source"
    say "building Qt $qt_version for MinGW-w64 from Debian's source (about 23 CPU-minutes)"
    started=$SECONDS
    work="$cache_root/work-$qt_version-$recipe_hash"
    rm -rf "$work"
    mkdir -p "$work/src"
    # The source package, with a deb-src entry of our own when the system has none.
    apt_options=()
    if ! (cd "$work/src" && apt-get source --print-uris qt6-base="$debian_version" >/dev/null 2>&1); then
        . /etc/os-release
        mkdir -p "$work/apt/lists/partial"
        echo "deb-src http://deb.debian.org/debian $VERSION_CODENAME main" >"$work/apt/sources.list"
        apt_options=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=-"
                     -o "Dir::State::Lists=$work/apt/lists")
        apt-get "${apt_options[@]}" update -qq
    fi
    (cd "$work/src" && apt-get "${apt_options[@]}" source -qq qt6-base="$debian_version") >&2
    source_dir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
    [[ -n $source_dir ]] || fail "apt-get source gave no qt6-base folder in $work/src"
    patch_source "$source_dir"
    toolchain_text >"$work/toolchain.cmake"
    cmake -S "$source_dir" -B "$work/build" "${configure_args[@]}" \
        -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$partial" >"$work/configure.log" 2>&1 \
        || { tail -n 40 "$work/configure.log" >&2; fail "configure failed (see $work/configure.log)"; }
    cmake --build "$work/build" -j "${TALVEX_JOBS:-2}" >"$work/build.log" 2>&1 \
        || { tail -n 40 "$work/build.log" >&2; fail "build failed (see $work/build.log)"; }
    cmake --install "$work/build" >"$work/install.log" 2>&1 || fail "install failed (see $work/install.log)"
    rm -rf "$work"
    say "built Qt $qt_version in $(((SECONDS - started) / 60)) min"
fi
touch "$partial/.complete"
complete "$partial" || fail "$partial lacks Qt's toolchain file, Qt6Widgets.dll or qwindows.dll"
rm -rf "$qt_dir"
mv "$partial" "$qt_dir"
echo "$qt_dir"
