#!/usr/bin/env bash
# The installer and the zip that scripts/windows-package.sh made, tried
# under Wine: installed silently, the installed talvexctl.exe run, then
# removed with its uninstaller; the zip unpacked, run and removed. When the
# package carries the window program (made with --gui), the installed one
# is started and must detect the simulated programmer (scripts/wine-gui.sh).
#   bash scripts/wine-installer.sh MINGW_BUILD_DIR PACKAGE_DIR
#
# Run by wine-tests.sh, which starts the Wine server and exports WINE,
# WINEPREFIX and DISPLAY. Exits non-zero when a check fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage="usage: wine-installer.sh MINGW_BUILD_DIR PACKAGE_DIR"
build_dir=$(cd "${1:?$usage}" && pwd)
package_dir=$(cd "${2:?$usage}" && pwd)
started=$SECONDS

say() { echo "wine-installer: $*"; }
fail() { echo "wine-installer: $*" >&2; exit 1; }
[[ -n ${WINE:-} && -n ${WINEPREFIX:-} ]] || fail "WINE and WINEPREFIX unset: run me from scripts/wine-tests.sh"

# shellcheck source=check-tally.sh
source "$(dirname "${BASH_SOURCE[0]}")/check-tally.sh"
# Bounded, so a hang is a failure and not a stuck run.
wine_run() { timeout 120 "$WINE" "$@" </dev/null; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
name="talvex-setting-manager-$version-win64"
checker="$build_dir/tests/win32/talvex_program_check.exe"
for file in "$package_dir/$name-setup.exe" "$package_dir/$name.zip" "$checker"; do
    [[ -f $file ]] || fail "no $file"
done
work="$build_dir/wine-run/installer"
rm -rf "$work"
mkdir -p "$work"

product="TalvexUSB-Setting Manager"
expected_version=$(wine_run "$build_dir/src/talvexctl.exe" --version | tr -d '\r')
[[ $expected_version == "talvexctl ($product) "* ]] || fail "the built talvexctl.exe printed \"$expected_version\""
version_text=${expected_version##* }
program_files="C:\\Program Files\\$product"
folder="$WINEPREFIX/drive_c/Program Files/$product"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$product"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# Shortcuts stay in the prefix: no menu entries on the machine running Wine.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

show_file() { sed 's/^/      | /' "$1"; }
registry_value() { # value name: its data, or nothing
    "$WINE" reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"
}
same_files() { # staged folder, folder, files allowed beside the staged ones...
    local stage=$1 folder=$2 extra
    shift 2
    diff -r "$stage" "$folder" >"$work/diff.txt" 2>&1 || true
    for extra in "$@"; do
        grep -vxF "Only in $folder: $extra" "$work/diff.txt" >"$work/diff.left" || true
        mv "$work/diff.left" "$work/diff.txt"
    done
    [[ ! -s $work/diff.txt ]] || { show_file "$work/diff.txt"; return 1; }
}
program_check() { # file, expectations...
    wine_run "$checker" "$@" >"$work/check.txt" 2>&1 || { show_file "$work/check.txt"; return 1; }
}
prints_version() { # talvexctl.exe
    local printed
    printed=$(wine_run "$1" --version | tr -d '\r') || return 1
    [[ $printed == "$expected_version" ]] || { say "      printed \"$printed\""; return 1; }
}
# A shortcut's paths are UTF-16 or ANSI; without the NULs both read as text.
shortcut_holds() { # shortcut, texts...
    local text
    text=$(tr -d '\0' <"$1") || return 1
    shift
    local part
    for part in "$@"; do
        [[ $text == *"$part"* ]] || { say "      no \"$part\" in the shortcut"; return 1; }
    done
}
listed_for_removal() {
    [[ $(registry_value DisplayName) == "$product" && $(registry_value DisplayVersion) == "$version_text" \
        && $(registry_value UninstallString) == "\"$program_files\\uninstall.exe\"" ]]
}
all_removed() {
    [[ ! -e $folder && ! -e $menu && -z $(registry_value DisplayName) ]]
}

install_and_remove() { # package folder, "gui" for the window program
    local package=$1 gui=${2:-}
    local installer="$package/$name-setup.exe" stage="$package/staging/$name"
    rm -rf "$folder" "$menu" # what an earlier, broken run may have left
    check "the installer carries its version and icon" \
        program_check "$installer" --product "$product" --company "$product" --version "$version" --icon any
    check "the installer runs silently (/S)" wine_run "$installer" /S
    check "it installs the files staged, and its uninstaller" same_files "$stage" "$folder" uninstall.exe
    check "the installed talvexctl.exe prints its version: $expected_version" \
        prints_version "$program_files\\talvexctl.exe"
    check "the installed talvexctl.exe keeps its version resource and icon" \
        program_check "$program_files\\talvexctl.exe" --product "$product" --version "$version" --icon IDI_ICON1 \
        --file-name talvexctl.exe --subsystem console
    check "the Start menu has a Command Prompt at the tool's folder" \
        shortcut_holds "$menu/talvexctl Command Prompt.lnk" "cmd.exe" "/k talvexctl.exe --version" "$program_files"
    if [[ -n $gui ]]; then
        check "the Start menu has the window program" \
            shortcut_holds "$menu/$product.lnk" "$program_files\\talvex-setting-manager.exe"
        check "the installed window program keeps its version resource and icon" \
            program_check "$program_files\\talvex-setting-manager.exe" --product "$product" --version "$version" \
            --icon IDI_ICON1 --file-name talvex-setting-manager.exe --subsystem gui
        check "the installed window program starts and detects the simulated programmer" \
            bash "$root/scripts/wine-gui.sh" "$folder" "$work/installed-gui" detect-only
    else
        check "the Start menu has no window program" test ! -e "$menu/$product.lnk"
    fi
    check "Windows lists it for removal" listed_for_removal

    # The uninstaller copies itself away and returns at once; the copy
    # removes the files, the shortcuts and the entry while this waits.
    check "the uninstaller runs silently (/S)" wine_run "$program_files\\uninstall.exe" /S
    local _
    for _ in $(seq 120); do
        [[ -e $folder ]] || ! all_removed || break
        sleep 0.5
    done
    check "it removes the tool's folder" test ! -e "$folder"
    check "it removes the Start-menu folder" test ! -e "$menu"
    check "it removes the entry in Windows' list" test -z "$(registry_value DisplayName)"
}

# --- the package ------------------------------------------------------------
say "the package in $package_dir"
gui=
[[ -f $package_dir/staging/$name/talvex-setting-manager.exe ]] && gui=gui
install_and_remove "$package_dir" $gui

unpacked="$work/unpacked"
mkdir -p "$unpacked"
unpacks_to_one_folder() {
    (cd "$unpacked" && cmake -E tar xf "$package_dir/$name.zip") && [[ $(ls "$unpacked") == "$name" ]] \
        && same_files "$package_dir/staging/$name" "$unpacked/$name"
}
check "the zip unpacks to one folder of the files staged" unpacks_to_one_folder
check "talvexctl.exe from the zip prints its version" prints_version "$unpacked/$name/talvexctl.exe"
rm -rf "$unpacked"

say "$passed passed, $failed failed, in $((SECONDS - started)) s"
((failed == 0))
