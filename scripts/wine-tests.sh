#!/usr/bin/env bash
# The Windows build's tests, run on this machine under Wine.
#   bash scripts/wine-tests.sh [build-dir [gui-build-dir]]
#        (default: build-mingw-tests, and build-mingw-gui beside it)
#
# Cross-builds the core and its tests with MinGW-w64, serves simulated
# programmers on pseudo-terminals (the native talvex-simulator) and links
# them as Wine COM ports, then runs every Windows test through ctest, which
# starts each program under Wine (CMAKE_CROSSCOMPILING_EMULATOR, set by the
# toolchain file). One wineserver serves the whole run.
#
# TALVEX_SIMULATOR may name an already built native talvex-simulator, with
# the Linux talvexctl beside it (or named by TALVEX_LINUX_TALVEXCTL);
# otherwise both are built in <build-dir>/native-simulator.
#
# After the tests, talvexctl.exe is tried against the simulators beside the
# Linux talvexctl (scripts/wine-talvexctl.sh); then, on an X display of its
# own (Xvfb), the window program built against the MinGW Qt
# (scripts/build-mingw.sh --gui, scripts/qt-mingw.sh) is clicked through
# (scripts/wine-gui.sh), and the installer and the zip that
# scripts/windows-package.sh makes from both are installed, run and removed
# (scripts/wine-installer.sh), in the same Wine prefix.
#
# Needs g++-mingw-w64-x86-64, googletest, wine64, nsis, qt6-base-dev-tools,
# librsvg2-bin, xvfb, xdotool and imagemagick (scripts/install-deps.sh
# installs them); installs nothing itself. Exits non-zero when a test fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(mkdir -p "${1:-$root/build-mingw-tests}" && cd "${1:-$root/build-mingw-tests}" && pwd)"
gui_build_dir="$(mkdir -p "${2:-$build_dir/../build-mingw-gui}" && cd "${2:-$build_dir/../build-mingw-gui}" && pwd)"
started=$SECONDS

say() { echo "wine-tests: $*"; }
fail() { echo "wine-tests: $*" >&2; exit 1; }

# Debian's wine64 keeps its programs in /usr/lib/wine, off the PATH.
find_tool() { # names...
    local name
    for name in "$@"; do
        if [[ -x /usr/lib/wine/$name ]]; then echo "/usr/lib/wine/$name"; return; fi
        if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return; fi
    done
    return 1
}
wine=$(find_tool wine64 wine) || fail "wine64 not found (install the package wine64)"
wineserver=$(find_tool wineserver) || fail "wineserver not found (install the package wine64)"

# --- the Windows programs --------------------------------------------------
say "cross-building in $build_dir"
bash "$root/scripts/build-mingw.sh" --tests "$build_dir"
say "cross-building the window program in $gui_build_dir"
bash "$root/scripts/build-mingw.sh" --gui "$gui_build_dir"
emulator=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p;s/^TALVEX_WINE:FILEPATH=//p' "$build_dir/CMakeCache.txt" | head -n1)
[[ -n $emulator && $emulator != *NOTFOUND ]] || fail "the cross build found no Wine to run its tests with"

# --- the simulator, a native program ---------------------------------------
simulator=${TALVEX_SIMULATOR:-}
if [[ -z $simulator ]]; then
    native_dir="$build_dir/native-simulator"
    say "building the native simulator in $native_dir"
    generator=()
    [[ -f $native_dir/CMakeCache.txt ]] || ! command -v ninja >/dev/null 2>&1 || generator=(-G Ninja)
    cmake -S "$root" -B "$native_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DTALVEX_BUILD_TESTS=OFF -DTALVEX_BUILD_GUI=OFF >/dev/null
    cmake --build "$native_dir" --target talvex-simulator talvexctl -j 2 >/dev/null
    simulator="$native_dir/src/talvex-simulator"
fi
[[ -x $simulator ]] || fail "no simulator program at $simulator"
linux_talvexctl=${TALVEX_LINUX_TALVEXCTL:-$(dirname "$simulator")/talvexctl}
[[ -x $linux_talvexctl ]] || fail "no Linux talvexctl at $linux_talvexctl (build the target talvexctl beside the simulator)"

# --- Wine: a prefix of our own, one server for the whole run ----------------
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer
export WINE="$wine"                          # for the scripts called below
unset DISPLAY WAYLAND_DISPLAY                # console programs only

server_started=
xvfb_pid=
simulator_pids=()
run_dir="$build_dir/wine-run"
stop_server() {
    # -k asks this prefix's server to end the Windows processes it serves
    # (services.exe and the like outlive a plain kill) and to exit; -w then
    # waits for it to be gone, within a bound.
    "$wineserver" -k >/dev/null 2>&1 || true
    timeout 10 "$wineserver" -w >/dev/null 2>&1 || true
    server_started=
}
cleanup() {
    local pid
    for pid in "${simulator_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [[ -z $server_started ]] || stop_server
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

mkdir -p "$run_dir" "$WINEPREFIX" # the server needs the directory; wineboot fills it
start_server() {
    # Persistent (-p), so no program pays Wine's start-up. Without -f the
    # server puts itself in the background only once its socket is ready, so
    # nothing below can race it and start a second server of its own.
    "$wineserver" -p >"$run_dir/wineserver.log" 2>&1 || fail "wineserver did not start ($(cat "$run_dir/wineserver.log"))"
    server_started=1
    # Creates the prefix the first time, and starts Wine's own background
    # processes now, with their output in a file: started by a test instead,
    # they would hold ctest's output pipe open.
    "$wine" wineboot --init >"$run_dir/wineboot.log" 2>&1 || fail "wineboot failed (see $run_dir/wineboot.log)"
}
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    say "creating the Wine prefix $WINEPREFIX"
fi
start_server

# --- simulated programmers behind COM ports --------------------------------
# name, first COM number, expected version text, simulator arguments.
# The version text is what the tool shows for the --version given.
declare -A sim_ports=()
start_simulator() { # name com-number version-text args...
    local name=$1 number=$2 version=$3
    shift 3
    local out="$run_dir/simulator-$name.out"
    # The file exists before the background job may have opened it, so the
    # wait below never looks at a missing file.
    : >"$out"
    "$simulator" "$@" >>"$out" 2>&1 &
    simulator_pids+=($!)
    # Generous: a loaded machine may take its time to start a process.
    local tries=0 seen=0
    while :; do
        seen=$(grep -c '^reader[12] ' "$out" 2>/dev/null) || seen=0
        ((seen >= 2)) && break
        kill -0 "${simulator_pids[-1]}" 2>/dev/null || fail "simulator $name ended: $(cat "$out")"
        ((tries++ < 600)) || fail "simulator $name printed no terminals in 30 s"
        sleep 0.05
    done
    local reader path ports=()
    for reader in 1 2; do
        path=$(sed -n "s/^reader$reader //p" "$out")
        [[ -n $path && -e $path ]] || fail "simulator $name gave no terminal for reader $reader: $(cat "$out")"
        ln -sfn "$path" "$WINEPREFIX/dosdevices/com$((number + reader - 1))"
        ports+=("COM$((number + reader - 1))")
    done
    local upper=${name^^}
    export "TALVEX_SIM_${upper}_PORTS=${ports[0]},${ports[1]}"
    export "TALVEX_SIM_${upper}_TERMINALS=$(sed -n 's/^reader1 //p' "$out"),$(sed -n 's/^reader2 //p' "$out")"
    export "TALVEX_SIM_${upper}_VERSION=$version"
    sim_ports[$name]="${ports[0]} -> $(sed -n 's/^reader1 //p' "$out"), ${ports[1]} -> $(sed -n 's/^reader2 //p' "$out")"
}
rm -f "$WINEPREFIX"/dosdevices/com1[1-6]
export TALVEX_SIM_NORMAL_SERIAL=00112233445566778899AABBCCDDEEFF
export TALVEX_SIM_LOW2_SERIAL=A1B2C3D4E5F60718293A4B5C6D7E8F90
export TALVEX_SIM_BOOT_SERIAL=0F1E2D3C4B5A69788796A5B4C3D2E1F0
start_simulator normal 11 1.10 --serial "$TALVEX_SIM_NORMAL_SERIAL" --version 1.0A
start_simulator low2 13 "" --variant low2 --serial "$TALVEX_SIM_LOW2_SERIAL"
start_simulator boot 15 "" --boot --serial "$TALVEX_SIM_BOOT_SERIAL"
# The Windows tests fail, rather than skip, when these are not seen.
export TALVEX_REQUIRE_SIMULATOR=1
for name in normal low2 boot; do say "simulator $name: ${sim_ports[$name]}"; done

# --- the tests ------------------------------------------------------------
say "running the Windows tests under $("$wine" --version 2>/dev/null || echo Wine)"
status=0
ctest --test-dir "$build_dir" --output-on-failure -j 2 --output-log "$run_dir/ctest.log" || status=$?

# A test program that Wine did not start at all leaves no output, not even
# gtest's first line; on a loaded machine that happens. Such tests, and only
# such, run once more; a test that failed in its own words stays failed.
log="$build_dir/Testing/Temporary/LastTest.log"
if ((status != 0)) && [[ -f $log ]]; then
    failed_tests=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Failed)$/\1/p' "$run_dir/ctest.log")
    silent=$(awk '/^[0-9]+\/[0-9]+ Test: /{name=$3} /^Output:$/{getline; getline; if ($0 == "<end of output>") print name}' "$log")
    unstarted=()
    for test in $failed_tests; do
        grep -qxF -- "$test" <<<"$silent" && unstarted+=("$test")
    done
    if [[ -n $failed_tests && ${#unstarted[@]} -eq $(wc -w <<<"$failed_tests") ]]; then
        say "Wine did not start ${unstarted[*]}: running it once more"
        status=0
        ctest --test-dir "$build_dir" --rerun-failed --output-on-failure --output-log "$run_dir/ctest-again.log" \
            || status=$?
        cat "$run_dir/ctest-again.log" >>"$run_dir/ctest.log"
    fi
fi

# What Wine could not check, in the tests' own words, and the count.
if [[ -f $log ]]; then
    grep -ho 'Wine differs from Windows here: .*' "$log" | sort -u | sed 's/^/wine-tests: under Wine only, /' || true
fi
summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$run_dir/ctest.log" | tail -n1 || true)
skipped=$(grep -c '(Skipped)$' "$run_dir/ctest.log" || true)
say "${summary:-no ctest summary} (${skipped:-0} skipped) under Wine, in $((SECONDS - started)) s"

# --- talvexctl.exe, the installer and the zip ---------------------------------
stage_started=$SECONDS
bash "$root/scripts/wine-talvexctl.sh" "$build_dir" "$linux_talvexctl" || status=1
say "talvexctl.exe checks done in $((SECONDS - stage_started)) s"

# --- the window program, on a display of its own ------------------------------
# Wine's desktop keeps the display it started with: a new server, so that
# the desktop and the programs after it draw on the Xvfb.
stage_started=$SECONDS
stop_server
display_file="$run_dir/xvfb.display"
: >"$display_file"
# -displayfd: Xvfb writes its display number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >"$run_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 600); do
    [[ -s $display_file ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended: $(cat "$run_dir/xvfb.log")"
    sleep 0.05
done
[[ -s $display_file ]] || fail "Xvfb gave no display in 30 s"
export DISPLAY=":$(head -n1 "$display_file")"
start_server
bash "$root/scripts/wine-gui.sh" "$gui_build_dir/deploy" "$run_dir/gui" || status=1
say "window program checks done in $((SECONDS - stage_started)) s"

stage_started=$SECONDS
if bash "$root/scripts/windows-package.sh" --gui "$gui_build_dir/deploy" "$build_dir" "$build_dir/package"; then
    bash "$root/scripts/wine-installer.sh" "$build_dir" "$build_dir/package" || status=1
else
    say "the installer and the zip could not be made"
    status=1
fi
say "installer and zip checks done in $((SECONDS - stage_started)) s"
exit "$status"
