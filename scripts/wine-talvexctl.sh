#!/usr/bin/env bash
# talvexctl.exe under Wine, against the simulated programmers that
# scripts/wine-tests.sh serves behind COM ports, beside the Linux talvexctl
# on the same programmers' terminals.
#   bash scripts/wine-talvexctl.sh MINGW_BUILD_DIR LINUX_TALVEXCTL
#
# Checks that the program is linked statically; that ports and detect find
# the programmer on its COM ports; that info, settings and set clock give
# the Linux build's exit status and results (COM names where Linux has
# terminal paths), refusals and failures included; that an upload of a
# generated image completes from the boot loader; that a batch upload on
# two built-in simulated programmers (--simulate=2) confirms both, asks for
# their re-plugs and writes its report; and that the USB serial commands
# work through a stand-in ftd2xx.dll.
#
# Run by wine-tests.sh, which starts the Wine server and the simulators and
# exports WINE, WINEPREFIX and the TALVEX_SIM_* variables. Exits non-zero
# when a check fails.
set -euo pipefail

build_dir=$(cd "${1:?usage: wine-talvexctl.sh MINGW_BUILD_DIR LINUX_TALVEXCTL}" && pwd)
linux_ctl=$(realpath "${2:?usage: wine-talvexctl.sh MINGW_BUILD_DIR LINUX_TALVEXCTL}")
started=$SECONDS

say() { echo "wine-talvexctl: $*"; }
fail() { echo "wine-talvexctl: $*" >&2; exit 1; }

[[ -n ${WINE:-} && -n ${WINEPREFIX:-} ]] || fail "WINE and WINEPREFIX unset: run me from scripts/wine-tests.sh"
for name in NORMAL LOW2 BOOT; do
    for kind in PORTS TERMINALS SERIAL; do
        variable="TALVEX_SIM_${name}_$kind"
        [[ -n ${!variable:-} ]] || fail "$variable unset: run me from scripts/wine-tests.sh"
    done
done
exe="$build_dir/src/talvexctl.exe"
standin_dll="$build_dir/tests/ftd2xx-standin/ftd2xx.dll"
[[ -f $exe ]] || fail "no $exe (built by scripts/build-mingw.sh --tests)"
[[ -f $standin_dll ]] || fail "no $standin_dll (built by scripts/build-mingw.sh --tests)"
[[ -x $linux_ctl ]] || fail "no Linux talvexctl at $linux_ctl"

work="$build_dir/wine-run/talvexctl"
rm -rf "$work"
mkdir -p "$work"

passed=0
failed=0
pass() { passed=$((passed + 1)); say "ok    $*"; }
mismatch() { failed=$((failed + 1)); say "FAIL  $*"; }

# A path as a Windows program is given one: Z: is the root of the Linux files.
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# {name} in an argument stands for a port or a file, named per platform.
declare -A win linux
IFS=, read -r 'win[normal1]' 'win[normal2]' <<<"$TALVEX_SIM_NORMAL_PORTS"
IFS=, read -r 'linux[normal1]' 'linux[normal2]' <<<"$TALVEX_SIM_NORMAL_TERMINALS"
IFS=, read -r 'win[low2_1]' 'win[low2_2]' <<<"$TALVEX_SIM_LOW2_PORTS"
IFS=, read -r 'linux[low2_1]' 'linux[low2_2]' <<<"$TALVEX_SIM_LOW2_TERMINALS"
IFS=, read -r 'win[boot1]' 'win[boot2]' <<<"$TALVEX_SIM_BOOT_PORTS"
IFS=, read -r 'linux[boot1]' 'linux[boot2]' <<<"$TALVEX_SIM_BOOT_TERMINALS"
win[missing]=COM99
linux[missing]=/dev/talvex-no-such-port
win[nofile]=$(windows_path "$work/no-such-firmware.bin")
linux[nofile]=$work/no-such-firmware.bin

# Starts one talvexctl in the background: platform (win or linux), name for
# its files, then its arguments; finish() waits for it. The output goes to
# $work/NAME.PLATFORM.out and .err, line ends as on Linux and, from Linux,
# COM names for the terminal paths.
declare -A pids begun shown
start() {
    local platform=$1 name=$2
    shift 2
    local args=() arg key
    for arg in "$@"; do
        key=${arg#\{}
        key=${key%\}}
        if [[ $arg == "{$key}" ]]; then
            if [[ $platform == win ]]; then arg=${win[$key]}; else arg=${linux[$key]}; fi
        fi
        args+=("$arg")
    done
    local program=$linux_ctl runner=()
    [[ $platform == win ]] && program=$exe runner=("$WINE")
    shown[$name.$platform]="$(basename "$program") ${args[*]}"
    begun[$name.$platform]=$SECONDS
    # Bounded, so a hang is a failure and not a stuck run; timeout hands a
    # signal on to the program.
    timeout 300 "${runner[@]}" "$program" "${args[@]}" \
        >"$work/$name.$platform.out.raw" 2>"$work/$name.$platform.err.raw" </dev/null &
    pids[$name.$platform]=$!
}

# Leaves the status in $status and the time taken in $took.
finish() { # platform, name
    local platform=$1 name=$2 file key sed_args=()
    status=0
    wait "${pids[$name.$platform]}" || status=$?
    unset "pids[$name.$platform]"
    took=$((SECONDS - ${begun[$name.$platform]}))
    if [[ $platform == win ]]; then
        sed_args=(-e 's/\r$//') # Windows ends lines with CR LF; one CR more would stay and show
    else
        for key in "${!linux[@]}"; do
            [[ ${linux[$key]} == /dev/* ]] && sed_args+=(-e "s#${linux[$key]}\\b#${win[$key]}#g")
        done
    fi
    for file in out err; do
        sed "${sed_args[@]}" "$work/$name.$platform.$file.raw" >"$work/$name.$platform.$file"
    done
}

run() { # platform, name, arguments...
    start "$@"
    finish "$1" "$2"
}

stop_all() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_all EXIT

show() { # file: indented, for a failure
    sed 's/^/      | /' "$1"
}

# The Windows program's status, and lines its output must hold.
judge() { # name, expected status, lines (one argument each)
    local name=$1 expected=$2
    shift 2
    local missing=() line
    for line in "$@"; do
        grep -qxF -- "$line" "$work/$name.win.out" "$work/$name.win.err" || missing+=("$line")
    done
    if [[ $status == "$expected" && ${#missing[@]} -eq 0 ]]; then
        pass "${shown[$name.win]} : exit $expected with the lines expected ($took s)"
    else
        mismatch "${shown[$name.win]} : exit $status, $expected expected; lines missing: ${missing[*]:-none}"
        say "      standard output:"
        show "$work/$name.win.out"
        say "      standard error:"
        show "$work/$name.win.err"
    fi
}

expect() { # name, expected status, lines (one argument each), --, arguments...
    local name=$1 expected=$2
    shift 2
    local lines=()
    while [[ $1 != -- ]]; do lines+=("$1"); shift; done
    shift
    run win "$name" "$@"
    judge "$name" "$expected" "${lines[@]}"
}

# --- the program itself ----------------------------------------------------
objdump=$(command -v x86_64-w64-mingw32-objdump) || fail "x86_64-w64-mingw32-objdump not found (package binutils-mingw-w64-x86-64)"
dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')
# MinGW's own runtime DLLs (libstdc++-6, libgcc_s_seh-1, libwinpthread-1)
# are not on a user's PC; Windows' own DLLs are.
if [[ -n $dlls && ! ${dlls,,} =~ (^|\ )lib ]]; then
    pass "talvexctl.exe needs only Windows' own DLLs: $dlls"
else
    mismatch "talvexctl.exe needs DLLs a PC lacks: $dlls"
fi
run win version --version
judge version 0 "$("$linux_ctl" --version)"

# --- finding the programmer (Windows' COM names only) -----------------------
normal=(${TALVEX_SIM_NORMAL_PORTS//,/ })
boot=(${TALVEX_SIM_BOOT_PORTS//,/ })
tab=$'\t'
# Wine's SetupAPI knows no USB device behind these ports: no description.
expect ports 0 "${normal[0]}${tab}-${tab}application" "${normal[1]}${tab}-${tab}application" \
    "${boot[0]}${tab}-${tab}boot loader" \
    -- ports
expect detect 0 "mode: application" "serial: $TALVEX_SIM_NORMAL_SERIAL" "reader1-port: ${normal[0]}" \
    "reader2-port: ${normal[1]}" -- detect

# --- the same steps on Windows and on Linux ----------------------------------
# Each step is run on Windows, then all of them again on Linux; both must
# end with the status expected, and a step's results on Windows must be
# those of its partner on Linux. Linux's turn runs beside the upload below,
# which it cannot disturb: it uses other simulators and no Wine.
step_names=() step_expected=() step_partners=() step_args=()
step() { # name, expected status, partner on Linux, arguments...
    step_names+=("$1")
    step_expected+=("$2")
    step_partners+=("$3")
    shift 3
    step_args+=("$(printf '%q ' "$@")")
}
declare -A step_status step_took
run_steps() { # platform
    local i
    for i in "${!step_names[@]}"; do
        eval "run $1 ${step_names[i]} ${step_args[i]}"
        step_status[$1.${step_names[i]}]=$status step_took[$1.${step_names[i]}]=$took
    done
}

# Windows writes a new clock, Linux reads it and writes the old one back:
# what one reads before its write, the other reads after its own.
win[clock]=6.00
step settings-before 0 settings-after settings --port '{normal1}'
step set-clock 0 set-clock set clock --port '{normal1}' '{clock}'
step settings-after 0 settings-before settings --port '{normal1}'
step info 0 info info --port '{normal1}' --json
# Refusals and failures.
step uniprog-refuses-clock 5 uniprog-refuses-clock set clock --port '{low2_1}' 4.00 --variant low2
step nothing-answers 3 nothing-answers info --port '{low2_2}' --variant normal
step missing-port 8 missing-port info --port '{missing}'
step missing-file 2 missing-file upload --port '{normal1}' '{nofile}'
step bad-arguments 2 bad-arguments frobnicate
step version-server-unreachable 1 version-server-unreachable check-version --server 127.0.0.1:1
run_steps win
linux[clock]=$(sed -n 's/^clock: \([0-9.]*\) MHz$/\1/p' "$work/settings-before.win.out")
[[ -n ${linux[clock]} && ${linux[clock]} != "${win[clock]}" ]] \
    || fail "settings printed no clock, or ${win[clock]} MHz already: $(cat "$work/settings-before.win.out")"

# --- firmware upload from the boot loader -----------------------------------
# 102,400 bytes with every byte value, so a lost or changed byte fails a
# block's checksum.
image="$work/generated-firmware.bin"
block=$(printf '\\%03o' {0..255})
for _ in $(seq 400); do printf "$block"; done >"$image"
[[ $(stat -c %s "$image") == 102400 ]] || fail "the generated image is not 102,400 bytes"
win[image]=$(windows_path "$image")
start win upload upload --port '{boot1}' '{image}'
# The batch runs its built-in programmers in real time (about 45 s): beside
# the upload and Linux's turn, which share nothing with it.
batch_report="$work/batch-report.csv"
win[batch_report]=$(windows_path "$batch_report")
start win batch --simulate=2 batch upload '{image}' --serialize --report '{batch_report}'
run_steps linux
finish win upload
judge upload 0 "Uploading firmware successfully finished ! Please, unplug the reader to restart-it."

# --- two programmers at once (--simulate=2) ----------------------------------
finish win batch
image_sha256=$(sha256sum "$image" | cut -d' ' -f1)
rows=$(grep -cE '^[12]  COM[3-6]/COM[3-6] +[0-9A-F]{32} +1\.10 +.+ +EF01[0-9]{4} +ok +[0-9.]+ s$' \
    "$work/batch.win.out" || true)
records=$(grep -cE "^[^,]+,[^,]+,[^,]+,$image_sha256,[12],.*,ok,,[0-9.]+\$" "$batch_report" 2>/dev/null || true)
if [[ $status == 0 && $rows == 2 && $records == 2 ]] \
    && grep -qF '] Unplug programmer 2 (USB 2-2, COM5/COM6, serial 0123456789ABCDEF0100026789ABCDEF) and plug it in again.' \
        "$work/batch.win.err"; then
    pass "${shown[batch.win]} : exit 0, two ok rows, the re-plug asked for, two records with the image's SHA-256 ($took s)"
else
    mismatch "${shown[batch.win]} : exit $status, $rows ok rows and $records records of 2"
    say "      standard output:"
    show "$work/batch.win.out"
    say "      standard error:"
    show "$work/batch.win.err"
    say "      report:"
    show "$batch_report" 2>/dev/null || true
fi

for i in "${!step_names[@]}"; do
    name=${step_names[i]} partner=${step_partners[i]} expected=${step_expected[i]}
    win_status=${step_status[win.$name]} linux_status=${step_status[linux.$partner]}
    if [[ $win_status == "$expected" && $linux_status == "$expected" ]] \
        && cmp -s "$work/$name.win.out" "$work/$partner.linux.out"; then
        pass "${shown[$name.win]} : exit $expected, the results of ${shown[$partner.linux]}" \
            "(${step_took[win.$name]} s, ${step_took[linux.$partner]} s on Linux)"
    else
        mismatch "${shown[$name.win]} : exit $win_status, ${shown[$partner.linux]} exit $linux_status," \
            "$expected expected"
        diff -u --label Linux "$work/$partner.linux.out" --label Wine "$work/$name.win.out" | sed 's/^/      | /' || true
        say "      Wine's standard error:"
        show "$work/$name.win.err"
    fi
done
for name in settings-after settings-before; do
    if [[ $name == settings-after ]]; then platform=win; else platform=linux; fi
    if grep -qxF "clock: ${win[clock]} MHz" "$work/$name.$platform.out"; then
        pass "${shown[$name.$platform]} reads the clock talvexctl.exe wrote, ${win[clock]} MHz"
    else
        mismatch "${shown[$name.$platform]} does not read the clock talvexctl.exe wrote, ${win[clock]} MHz"
    fi
done

# --- USB serial number through ftd2xx.dll ------------------------------------
expect usb-serial-no-library 1 -- usb-serial list
# Beside the program, as Windows looks there first; the stand-in keeps its
# chips in the file its variable names.
ftdi="$work/ftdi"
mkdir -p "$ftdi"
cp "$exe" "$standin_dll" "$ftdi/"
state="$ftdi/chips.state"
# One FT2232C whose 93C46 is blank: no serial number, the chip's own name.
blank=$(printf ' ffff%.0s' {1..64})
printf 'talvex-ftdi-bus 1\nchip\nkind FT2232C\npart 93C46\nbus 2\naddress 2\nports 1\neeprom%s\nenumerated%s\n' \
    "$blank" "$blank" >"$state"
export TALVEX_USB_STATE
TALVEX_USB_STATE=$(windows_path "$state")
exe_saved=$exe
exe="$ftdi/talvexctl.exe"
expect usb-serial-list 0 "   SerialNumber=" "   Description=Dual RS232 A" -- usb-serial list
expect usb-serial-write 0 -- usb-serial write 1234ABCD
# The blank chip's EEPROM was saved first, in the user's %LOCALAPPDATA%.
backup=$(ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/Talvex/eeprom-backups/eeprom-blank-*.bin 2>/dev/null | tail -n 1)
if grep -q 'EEPROM backup saved to C:\\users\\.*\\AppData\\Local\\Talvex\\eeprom-backups\\eeprom-blank-' \
        "$work/usb-serial-write.win.err" && [[ -s $backup && -z $(od -An -v -tx1 "$backup" | tr -d ' \nf') ]]; then
    pass "the blank EEPROM was backed up under %LOCALAPPDATA%\\Talvex\\eeprom-backups"
else
    mismatch "no backup of the blank EEPROM under %LOCALAPPDATA%\\Talvex\\eeprom-backups (${backup:-none found})"
fi
win[eeprom]=$(windows_path "$work/eeprom.bin")
expect usb-serial-image 0 -- usb-serial image 1234ABCD --out '{eeprom}'
exe=$exe_saved
unset TALVEX_USB_STATE
# The chip holds the image "usb-serial image" writes, word for word.
written=$(sed -n 's/^eeprom //p' "$state" | tr -d '\r' | tr ' ' '\n' | sed 's/^/0x/' | xargs printf '%04x ')
planned=$(od -An -v -tx2 --endian=little "$work/eeprom.bin" 2>/dev/null | xargs printf '%s ')
if [[ -n $planned && $written == "$planned" ]]; then
    pass "the chip's EEPROM holds the image for 1234ABCD"
else
    mismatch "the chip's EEPROM is not the image for 1234ABCD"
    say "      chip:  $written"
    say "      image: $planned"
fi

say "$passed passed, $failed failed, in $((SECONDS - started)) s"
((failed == 0))
