#!/usr/bin/env bash
# The Windows installer and zip, from a Windows build.
#   bash scripts/windows-package.sh [--gui DEPLOY_DIR] BUILD_DIR [OUT_DIR]
#
# BUILD_DIR is the build that made talvexctl.exe: the MinGW-w64 cross build
# here (scripts/wine-tests.sh), or on Windows a preset's build folder
# (build-windows-msvc, build-windows-mingw; run this from Git Bash). The
# window program and its Qt files come in when their windeployqt folder is
# there: BUILD_DIR/deploy, which the presets' "deploy" target makes, or the
# folder given with --gui.
#
# Writes to OUT_DIR (default BUILD_DIR/package):
#   talvex-setting-manager-VERSION-win64-setup.exe   the installer (NSIS)
#   talvex-setting-manager-VERSION-win64.zip         the same files in one folder
# The installer puts them in Program Files, adds a Start-menu folder (a
# Command Prompt in the tool's folder, and the window program when there)
# and an uninstaller listed by Windows' "Apps".
#
# Needs makensis (Debian: nsis; Windows: NSIS, found in its usual folder
# too) and cmake, which writes the zip.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage="usage: windows-package.sh [--gui DEPLOY_DIR] BUILD_DIR [OUT_DIR]"
fail() { echo "windows-package: $*" >&2; exit 1; }
say() { echo "windows-package: $*"; }

gui_dir=
if [[ ${1:-} == --gui ]]; then
    gui_dir=${2:?$usage}
    [[ -f $gui_dir/talvex-setting-manager.exe ]] || fail "no talvex-setting-manager.exe in $gui_dir"
    shift 2
fi
build_dir=$(cd "${1:?$usage}" && pwd)
out_dir=${2:-$build_dir/package}
mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)
[[ -z $gui_dir && -f $build_dir/deploy/talvex-setting-manager.exe ]] && gui_dir=$build_dir/deploy

# A path as the Windows programs want it: on Windows (Git Bash) C:/...,
# here unchanged.
native() { if command -v cygpath >/dev/null 2>&1; then cygpath -m "$1"; else echo "$1"; fi; }

makensis=${MAKENSIS:-}
if [[ -z $makensis ]]; then
    for candidate in makensis "/c/Program Files (x86)/NSIS/makensis.exe" "/c/Program Files/NSIS/makensis.exe"; do
        if command -v "$candidate" >/dev/null 2>&1; then makensis=$(command -v "$candidate"); break; fi
    done
fi
[[ -n $makensis ]] || fail "makensis not found (Debian: apt-get install nsis; Windows: install NSIS, or set MAKENSIS)"

cache="$build_dir/CMakeCache.txt"
[[ -f $cache ]] || fail "$build_dir is no CMake build folder"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$cache")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no project version in $cache"
IFS=. read -r major minor patch <<<"$version"
version_text=$(printf '%d.%02d.%02d' "$major" "$minor" "$patch") # as the tool prints it

talvexctl=
for candidate in "$build_dir/src/talvexctl.exe" "$build_dir/src/Release/talvexctl.exe"; do
    [[ -f $candidate ]] && { talvexctl=$candidate; break; }
done
[[ -n $talvexctl ]] || fail "no talvexctl.exe in $build_dir/src (build the target talvexctl)"

# --- the files, in one folder ------------------------------------------------
name="talvex-setting-manager-$version-win64"
staging="$out_dir/staging"
stage="$staging/$name"
rm -rf "$staging"
mkdir -p "$stage"
cp "$talvexctl" "$stage/talvexctl.exe"
# The symbols only make the download bigger.
strip_program=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$cache")
if [[ -n $strip_program && -x $strip_program ]]; then
    "$strip_program" "$stage/talvexctl.exe"
fi
cp "$root/README.md" "$stage/README.md"
cp "$root/docs/WINDOWS.md" "$stage/WINDOWS.md"
gui_define=()
if [[ -n $gui_dir ]]; then
    say "with the window program from $gui_dir"
    cp -R "$gui_dir/." "$stage/"
    gui_define=(-DGUI)
fi

# --- the installer ------------------------------------------------------------
# Install and remove exactly the staged files, folders deepest last.
files="$staging/files.nsh"
unfiles="$staging/unfiles.nsh"
nsis_escape() { local text=${1//\$/\$\$}; echo "${text//\//\\}"; }
{
    (cd "$stage" && find . -mindepth 1 -type d | sed 's#^\./##' | sort) | while IFS= read -r folder; do
        echo "CreateDirectory \"\$INSTDIR\\$(nsis_escape "$folder")\""
    done
    (cd "$stage" && find . -type f | sed 's#^\./##' | sort) | while IFS= read -r file; do
        folder=$(dirname "$file")
        if [[ $folder == . ]]; then echo "SetOutPath \"\$INSTDIR\""; else echo "SetOutPath \"\$INSTDIR\\$(nsis_escape "$folder")\""; fi
        echo "File \"$(native "$stage/$file" | sed 's/\$/$$/g')\""
    done
} >"$files"
{
    (cd "$stage" && find . -type f | sed 's#^\./##' | sort) | while IFS= read -r file; do
        echo "Delete \"\$INSTDIR\\$(nsis_escape "$file")\""
    done
    (cd "$stage" && find . -mindepth 1 -type d | sed 's#^\./##' | sort -r) | while IFS= read -r folder; do
        echo "RMDir \"\$INSTDIR\\$(nsis_escape "$folder")\""
    done
} >"$unfiles"

installer="$out_dir/$name-setup.exe"
zip="$out_dir/$name.zip"
rm -f "$installer" "$zip"
"$makensis" -V2 \
    "-DVERSION=$version" "-DVERSION_TEXT=$version_text" \
    "-DOUTFILE=$(native "$installer")" "-DICON=$(native "$root/src/app/talvex.ico")" \
    "-DFILES=$(native "$files")" "-DUNFILES=$(native "$unfiles")" "${gui_define[@]}" \
    "$(native "$root/scripts/windows-installer.nsi")" >"$staging/makensis.log" 2>&1 \
    || { cat "$staging/makensis.log" >&2; fail "makensis failed"; }
[[ -f $installer ]] || fail "makensis wrote no $installer"

# --- the zip ----------------------------------------------------------------
(cd "$staging" && cmake -E tar cf "$zip" --format=zip "$name")
[[ -f $zip ]] || fail "no $zip"

say "$(basename "$installer") ($(du -k "$installer" | cut -f1) KiB) and $(basename "$zip") ($(du -k "$zip" | cut -f1) KiB) in $out_dir"
