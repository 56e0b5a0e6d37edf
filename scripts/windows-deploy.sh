#!/usr/bin/env bash
# Gathers the window program of a MinGW build and what it needs, by the list
# scripts/windows-deploy.list, into BUILD_DIR/deploy: the job windeployqt
# does on Windows. Then checks the list against the imports (objdump -p):
# every DLL a program or plugin there imports is there or is Windows' own
# (one of the DLLs Wine provides), and every DLL listed is imported.
#   bash scripts/windows-deploy.sh BUILD_DIR QT_DIR
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage="usage: windows-deploy.sh BUILD_DIR QT_DIR"
build_dir=$(cd "${1:?$usage}" && pwd)
qt_dir=$(cd "${2:?$usage}" && pwd)
fail() { echo "windows-deploy: $*" >&2; exit 1; }

triple=x86_64-w64-mingw32
objdump=$triple-objdump
gcc_dir=$(dirname "$($triple-g++-posix -print-libgcc-file-name)")
windows_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
[[ -d $windows_dlls ]] || fail "no $windows_dlls (install wine64): it tells Windows' own DLLs"

program="$build_dir/src/talvex-setting-manager.exe"
[[ -f $program ]] || fail "no $program"
deploy="$build_dir/deploy"
rm -rf "$deploy"
mkdir -p "$deploy"
cp "$program" "$deploy/"
while read -r from file to; do
    [[ -z $from || $from == \#* ]] && continue
    case $from in
        qt) source="$qt_dir/$file" ;;
        gcc) source="$gcc_dir/$file" ;;
        mingw) source="/usr/$triple/$file" ;;
        *) fail "unknown source folder \"$from\" in windows-deploy.list" ;;
    esac
    [[ -f $source ]] || fail "no $source"
    mkdir -p "$deploy/$to"
    cp "$source" "$deploy/$to/"
done <"$root/scripts/windows-deploy.list"
# Debian's runtime DLLs keep their symbols (libstdc++ 24 MB).
find "$deploy" -name '*.dll' -exec "$triple-strip" --strip-unneeded {} +
"$triple-strip" "$deploy/talvex-setting-manager.exe"

# --- the list against the imports ---------------------------------------------
lower() { tr '[:upper:]' '[:lower:]'; }
problems=0
imported=$(mktemp)
trap 'rm -f "$imported"' EXIT
while IFS= read -r -d '' pe; do
    "$objdump" -p "$pe" | sed -n 's/^\tDLL Name: //p' | lower >>"$imported"
    while IFS= read -r dll; do
        # api-ms-win-*: API sets, which Windows resolves itself.
        [[ $dll == api-ms-win-* || $dll == ext-ms-* ]] && continue
        if [[ ! -f $deploy/$dll && ! -f $windows_dlls/$dll ]] && ! ls "$deploy" | lower | grep -qxF "$dll"; then
            echo "windows-deploy: ${pe#"$deploy"/} imports $dll, which is neither deployed nor Windows' own" >&2
            problems=$((problems + 1))
        fi
    done < <("$objdump" -p "$pe" | sed -n 's/^\tDLL Name: //p' | lower)
done < <(find "$deploy" -type f \( -name '*.exe' -o -name '*.dll' \) -print0)
for dll in "$deploy"/*.dll; do
    name=$(basename "$dll" | lower)
    grep -qxF "$name" "$imported" || { echo "windows-deploy: $name is listed but nothing imports it" >&2; problems=$((problems + 1)); }
done
headers=$("$objdump" -p "$deploy/talvex-setting-manager.exe")
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" \
    || { echo "windows-deploy: talvex-setting-manager.exe is not a GUI-subsystem program" >&2; problems=$((problems + 1)); }
((problems == 0)) || fail "$problems problem(s) with windows-deploy.list"
echo "windows-deploy: $(find "$deploy" -type f | wc -l) files ($(du -sm "$deploy" | cut -f1) MB) in $deploy; imports checked"
