#!/usr/bin/env bash
# Real-time measurement: talvexctl batch upload on four programmers, each
# served by its own talvex-simulator on two pseudo-terminals at 115,200
# baud, against talvexctl upload on one programmer alone.
#   bash scripts/bench-batch.sh [BUILD_DIR]      (default: build)
#
# Two starts: every programmer in its boot loader (--boot), and every one
# running its application, sent back to its boot loader and re-plugged by
# the simulator (--replug-after 1000). The batch searches all eight
# terminals (--ports); a last run names only the four reader-1 terminals.
# Each run gets fresh simulators and the default answer delay. Prints one
# line per run and the batch's time as a multiple of the one upload's.
# Takes about four minutes; needs talvexctl and talvex-simulator built.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir=$(cd "${1:-$root/build}" && pwd)
ctl="$build_dir/src/talvexctl"
simulator="$build_dir/src/talvex-simulator"

say() { echo "bench-batch: $*"; }
fail() { echo "bench-batch: $*" >&2; exit 1; }

[[ -x $ctl && -x $simulator ]] || fail "build talvexctl and talvex-simulator in $build_dir first"

work=$(mktemp -d)
pids=()
stop_simulators() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    pids=()
}
trap 'stop_simulators; rm -rf "$work"' EXIT

# 102,400 bytes with every byte value: a lost or changed byte fails a
# block's checksum in the simulated boot loader.
firmware="$work/firmware.bin"
block=$(printf '\\%03o' {0..255})
for _ in $(seq 400); do printf "$block"; done >"$firmware"

# Starts one simulator and waits, at most 10 s, for the two lines naming
# its terminals; appends "reader1,reader2" to the array named by $1.
start_simulator() { # array name, simulator arguments...
    local -n into=$1
    shift
    local paths="$work/sim${#pids[@]}.paths"
    "$simulator" "$@" >"$paths" &
    pids+=($!)
    local tries
    for ((tries = 0; tries < 100; tries++)); do
        if [[ $(wc -l <"$paths") -ge 2 ]]; then
            into+=("$(awk '{print $2}' "$paths" | paste -sd,)")
            return
        fi
        kill -0 "${pids[-1]}" 2>/dev/null || fail "talvex-simulator $* ended: see above"
        sleep 0.1
    done
    fail "talvex-simulator $* named no terminals in 10 s"
}

serial() { printf '0123456789ABCDEF01%04d6789ABCDEF' "$1"; }

# Leaves the seconds taken in $took; fails unless talvexctl exits 0.
timed() { # name, talvexctl arguments...
    local name=$1 start end status=0
    shift
    start=$(date +%s.%N)
    timeout 600 "$ctl" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null || status=$?
    end=$(date +%s.%N)
    took=$(awk -v start="$start" -v end="$end" 'BEGIN { printf "%.1f", end - start }')
    if ((status != 0)); then
        cat "$work/$name.out" "$work/$name.err" >&2
        fail "$name: talvexctl exited $status"
    fi
}

declare -A seconds
run_single() { # name, simulator arguments...
    local name=$1 terminals=()
    shift
    start_simulator terminals --serial "$(serial 1)" "$@"
    timed "$name" upload --port "${terminals[0]%,*}" "$firmware"
    stop_simulators
    seconds[$name]=$took
    say "$(printf '%-36s %7.1f s' "$name" "$took")"
}

run_batch() { # name, reader-1 ports only (yes/no), simulator arguments...
    local name=$1 first_only=$2 terminals=() i ports
    shift 2
    for i in 1 2 3 4; do start_simulator terminals --serial "$(serial "$i")" "$@"; done
    if [[ $first_only == yes ]]; then
        ports=$(printf '%s\n' "${terminals[@]}" | cut -d, -f1 | paste -sd,)
    else
        ports=$(IFS=,; echo "${terminals[*]}")
    fi
    timed "$name" batch upload "$firmware" --ports "$ports"
    stop_simulators
    [[ $(grep -c '  ok  ' "$work/$name.out") == 4 ]] || { cat "$work/$name.out" >&2; fail "$name: not four ok rows"; }
    seconds[$name]=$took
    say "$(printf '%-36s %7.1f s' "$name" "$took")"
}

ratio() { awk -v batch="$1" -v one="$2" 'BEGIN { printf "%.2f", batch / one }'; }

say "four programmers on pseudo-terminals at 115,200 baud, real time ($(nproc) cores)"
run_single "boot loader: upload on one" --boot
run_batch "boot loader: batch on four" no --boot
run_batch "boot loader: batch, reader-1 ports" yes --boot
run_single "application: upload on one" --replug-after 1000
run_batch "application: batch on four" no --replug-after 1000

say "boot loader: batch / one upload = $(ratio "${seconds[boot loader: batch on four]}" "${seconds[boot loader: upload on one]}")" \
    "(reader-1 ports only: $(ratio "${seconds[boot loader: batch, reader-1 ports]}" "${seconds[boot loader: upload on one]}"))"
say "application: batch / one upload = $(ratio "${seconds[application: batch on four]}" "${seconds[application: upload on one]}")"
