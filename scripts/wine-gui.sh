#!/usr/bin/env bash
# The Windows window program (the deploy folder of scripts/build-mingw.sh
# --gui) tried under Wine on an X display: started with --simulate, clicked
# with xdotool, and read two ways, so that a window that shows nothing fails:
# the program's own report of its controls (TALVEX_UI_REPORT, see
# src/ui/common/UiReport.h) says what they hold and where, and screenshots
# of those places must show it drawn.
#   bash scripts/wine-gui.sh DEPLOY_DIR WORK_DIR [detect-only]
# detect-only: the main window's detection alone (an installed program).
#
# Run by wine-tests.sh, which exports WINE, WINEPREFIX and DISPLAY (an Xvfb
# of its own) with the Wine server running. Leaves the screenshots of the
# three windows in WORK_DIR (main-window-windows.png, ...). Exits non-zero
# when a check fails.
set -euo pipefail

usage="usage: wine-gui.sh DEPLOY_DIR WORK_DIR [detect-only]"
deploy=$(cd "${1:?$usage}" && pwd)
work=$(mkdir -p "${2:?$usage}" && cd "$2" && pwd)
started=$SECONDS

say() { echo "wine-gui: $*"; }
fail() { echo "wine-gui: $*" >&2; exit 1; }
[[ -n ${WINE:-} && -n ${WINEPREFIX:-} && -n ${DISPLAY:-} ]] || fail "WINE, WINEPREFIX or DISPLAY unset: run me from scripts/wine-tests.sh"
for tool in xdotool import compare convert; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (install xdotool and imagemagick)"
done

# shellcheck source=check-tally.sh
source "$(dirname "${BASH_SOURCE[0]}")/check-tally.sh"

report="$work/ui-report.txt"
rm -f "$report" "$report.request" "$work"/*.png
export TALVEX_UI_REPORT="Z:${report//\//\\}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
gui_pid=
cleanup() {
    if [[ -n $gui_pid ]]; then
        kill "$gui_pid" 2>/dev/null || true
        wait "$gui_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

program="$deploy/talvex-setting-manager.exe"
printed=$(timeout 120 "$WINE" "$program" --version </dev/null 2>&1 | tr -d '\r') || true
check "--version prints through the console handling: $printed" \
    test "${printed%% [0-9]*}" = "TalvexUSB-Setting Manager"

# The simulated chip's backups go to Windows' temporary folder, never among
# a real chip's (%LOCALAPPDATA%\Talvex\eeprom-backups); old ones would hide a missing one.
windows_temp=$("$WINE" cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')
backups=$("$WINE" winepath -u "$windows_temp\\talvex-simulated-eeprom-backups" </dev/null 2>/dev/null | tr -d '\r')
[[ -n $backups ]] || fail "no temporary folder from Wine (%TEMP% is \"$windows_temp\")"
rm -rf "$backups"

"$WINE" "$program" --simulate </dev/null >"$work/program.log" 2>&1 &
gui_pid=$!

# The program's report, asked for and waited for; bounded, as a loaded
# machine may be slow but a stuck program must fail.
ask() {
    rm -f "$report"
    touch "$report.request"
    local _
    for _ in $(seq 300); do
        [[ -f $report && ! -e $report.request ]] && return 0
        kill -0 "$gui_pid" 2>/dev/null || { say "      the program ended: $(tail -n 5 "$work/program.log")"; return 1; }
        sleep 0.2
    done
    say "      no report in 60 s"
    return 1
}
field() { # kind, name: the first line of that kind and name, tab-separated
    awk -F'\t' -v kind="$1" -v name="$2" '$1 == kind && $2 == name { print; exit }' "$report"
}
text_of() { field widget "$1" | cut -f9-; }
# Waits until the report holds a widget whose text matches the pattern.
wait_text() { # name, extended regular expression, seconds
    local deadline=$((SECONDS + ${3:-60}))
    while ((SECONDS < deadline)); do
        ask || return 1
        text_of "$1" | grep -Eq -- "$2" && return 0
        sleep 0.5
    done
    say "      $1 shows \"$(text_of "$1" | cut -c1-200)\", not /$2/"
    return 1
}
wait_window() { # object name, shown (1) or gone (0)
    local _
    for _ in $(seq 60); do
        ask || return 1
        if [[ $2 == 1 ]]; then [[ -n $(field window "$1") ]] && return 0
        else [[ -z $(field window "$1") ]] && return 0; fi
        sleep 0.5
    done
    return 1
}
wait_enabled() { # widget name
    local _
    for _ in $(seq 60); do
        ask || return 1
        [[ $(field widget "$1" | cut -f8) == enabled ]] && return 0
        sleep 0.5
    done
    say "      $1 stays disabled"
    return 1
}
click() { # widget name; as a user, never a hidden or disabled one
    local x y w h
    read -r x y w h <<<"$(field widget "$1" | cut -f4-7 | tr '\t' ' ')"
    [[ -n ${h:-} ]] || { say "      no $1 to click"; return 1; }
    [[ $(field widget "$1" | cut -f8) == enabled ]] || { say "      $1 is disabled"; return 1; }
    xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
}
press() { wait_enabled "$1" && click "$1"; }
click_item() { # list or tab widget name, item text
    local line x y w h
    line=$(awk -F'\t' -v name="$1" -v text="$2" '$1 == "item" && $2 == name && $8 == text { print; exit }' "$report")
    read -r x y w h <<<"$(cut -f4-7 <<<"$line" | tr '\t' ' ')"
    [[ -n ${h:-} ]] || { say "      no item \"$2\" in $1"; return 1; }
    xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
}
shoot() { import -window root "$work/$1.png"; }
# How many pixels differ between two screenshots inside a rectangle.
changed_pixels() { # before, after, x y w h
    local crop="${5}x${6}+${3}+${4}"
    convert "$work/$1.png" -crop "$crop" +repage "$work/crop-a.png"
    convert "$work/$2.png" -crop "$crop" +repage "$work/crop-b.png"
    # compare's status is 1 when the pictures differ; the count is on stderr.
    compare -metric AE "$work/crop-a.png" "$work/crop-b.png" null: 2>&1 | cut -d' ' -f1 || true
}
drawn() { # before, after, widget name: its place changed on the screen
    local x y w h count
    read -r x y w h <<<"$(field widget "$3" | cut -f4-7 | tr '\t' ' ')"
    count=$(changed_pixels "$1" "$2" "$x" "$y" "$w" "$h")
    [[ $count =~ ^[0-9]+$ ]] && ((count > 20)) || { say "      only $count pixels of $3 changed on the screen"; return 1; }
}
colours() { # screenshot, x y w h: distinct colours there
    convert "$work/$1.png" -crop "${4}x${5}+${2}+${3}" +repage -format %k info:
}
window_shot() { # screenshot, window name, file
    local x y w h
    read -r x y w h <<<"$(field window "$2" | cut -f4-7 | tr '\t' ' ')"
    convert "$work/$1.png" -crop "${w}x${h}+${x}+${y}" +repage "$work/$3.png"
}

serial=0123456789ABCDEF0123456789ABCDEF # the --simulate programmer's
# --- the main window ---------------------------------------------------------
check "the main window opens" wait_window Form3 1 || fail "no main window: $(tail -n 20 "$work/program.log")"
if [[ ${3:-} != detect-only ]]; then
    check "\"Manual Scan\" is clicked" click Form3/Button3
    check "the manual scan finds two ports" \
        wait_text Form3/GroupBox2 '\(2 found\)' 90
    ask
    check "the port list names COM3 with its FT2232" \
        bash -c "awk -F'\t' '\$1 == \"item\" && \$2 == \"Form3/ListBox1\" { print \$8 }' '$report' | grep -q '^COM3 .*FT2232'"
    sleep 1
    shoot scanned
    icon_line=$(awk -F'\t' '$1 == "item" && $2 == "Form3/ListBox1" { print; exit }' "$report")
    read -r ix iy _ _ <<<"$(cut -f4-7 <<<"$icon_line" | tr '\t' ' ')"
    icon_colours=$(colours scanned $((ix + 155)) $((iy + 2)) 170 26)
    check "the port's chip icon is drawn ($icon_colours colours)" test "$icon_colours" -gt 8
    window_shot scanned Form3 main-window-scan-windows
fi
shoot before-detect
check "\"Automatic Detect\" is clicked" click Form3/Button4
check "the serial number is shown" wait_text Form3/Label2 "^$serial\$" 90
check "the firmware version is shown" wait_text Form3/Label4 '^1\.10$' 5
check "reader 1 is on COM3" wait_text Form3/Label7 '^COM3$' 5
check "reader 2 is on COM4" wait_text Form3/Label8 '^COM4$' 5
sleep 1 # the report comes from the widgets; give the screen its repaint
shoot after-detect
for label in Label2 Label4 Label7 Label8; do
    check "$label is drawn on the screen" drawn before-detect after-detect "Form3/$label"
done

window_shot after-detect Form3 main-window-windows

summary() { say "$passed passed, $failed failed, in $((SECONDS - started)) s"; ((failed == 0)); }
if [[ ${3:-} == detect-only ]]; then
    summary
    exit
fi

# --- the settings window -----------------------------------------------------
check "\"Programmer Settings\" is clicked" click Form3/Button2
check "the settings window opens" wait_window Form4 1
check "its port list holds COM3" wait_text Form4/ComboBox1 '^COM3$' 10
# Not connected, the Serial tab writes the simulated FTDI chip's serial number.
[[ $(text_of Form4/TabControl1) == Serial ]] || click_item Form4/TabControl1 Serial
check "\"Read Serial\" is clicked" press Form4/Button26
check "\"generate\" is clicked" press Form4/Button100
check "\"Write Serial\" is clicked" press Form4/Button27
check "the USB serial number is written" wait_text Form4/Memo2 "Write serial number: EF012345 OK" 60
backup_file() { find "$backups" -type f 2>/dev/null | grep -q .; }
check "its EEPROM backup is in $windows_temp\\talvex-simulated-eeprom-backups" backup_file
check "\"Connect\" is clicked" press Form4/Button1
check "it connects to the programmer" wait_text Form4/Memo2 "Programmer in PROGRAM mode" 60
check "it shows the serial number" wait_text Form4/Label8 "^$serial\$" 5
[[ $(text_of Form4/TabControl1) == "SmartCard Clock" ]] || click_item Form4/TabControl1 "SmartCard Clock"
check "\"Read Settings\" is clicked" press Form4/Button_read_settings
clock_read() {
    local _
    for _ in $(seq 60); do
        ask || return 1
        grep -q $'^widget\tForm4/clock_[0-9]*\tQRadioButton\t.*\[checked\]$' "$report" && return 0
        sleep 0.5
    done
    return 1
}
check "it reads the programmer's clock" clock_read
sleep 1
shoot screen
window_shot screen Form4 settings-window-windows
xdotool key Escape
check "the settings window closes (Escape)" wait_window Form4 0
check "the program still runs" kill -0 "$gui_pid"
cleanup
gui_pid=

# --- the smartcard tool --------------------------------------------------------
# The main window never enables its button: the tool opens from the command line.
"$WINE" "$program" --simulate --smartcard-tool </dev/null >"$work/program.log" 2>&1 &
gui_pid=$!
check "the smartcard tool opens (--smartcard-tool)" wait_window Form1 1
sleep 1
shoot screen
read -r px py pw ph <<<"$(field widget Form1/Image1 | cut -f4-7 | tr '\t' ' ')"
picture_colours=$(colours screen "${px:-0}" "${py:-0}" "${pw:-1}" "${ph:-1}")
check "the reader's picture is drawn ($picture_colours colours)" test "$picture_colours" -gt 8
window_shot screen Form1 smartcard-tool-windows
xdotool key Escape
check "the smartcard tool closes (Escape)" wait_window Form1 0
check "the main window stays" wait_window Form3 1

summary
