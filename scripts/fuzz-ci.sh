#!/usr/bin/env bash
# The libFuzzer targets (fuzz/) as a check: builds each with clang, then
# runs it for a fixed number of inputs from its seed corpus; any finding
# fails the run.
#   bash scripts/fuzz-ci.sh BUILD_DIR [--build-only]
#
# The seed is fixed, so a failure reproduces with the same command.
# TALVEX_FUZZ_RUNS (default 20000) and TALVEX_FUZZ_SEED (default 1) change
# that. New corpus entries and findings stay in BUILD_DIR, never in the tree.
#
# A target listed in fuzz/known-defects/ has a property that production code
# is known to break (docs/fuzzing.md). It is not fuzzed, which would only
# find the same defect again; instead each reproducer there must still
# break it, so the run fails once the defect is mended and the entry can go.
#
# Installs cmake, ninja and clang with its fuzzer runtime when missing
# (Debian 12, as root or through sudo).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[[ $# -ge 1 && $1 != -* ]] || { echo "usage: scripts/fuzz-ci.sh BUILD_DIR [--build-only]" >&2; exit 2; }
build="$(mkdir -p "$1" && cd "$1" && pwd)"
build_only=false
[[ ${2:-} == --build-only ]] && build_only=true
runs=${TALVEX_FUZZ_RUNS:-20000}
seed=${TALVEX_FUZZ_SEED:-1}
# A safety cap only: each target needs seconds for its runs.
max_time=${TALVEX_FUZZ_MAX_TIME:-150}

say() { echo "fuzz-ci: $*"; }

install_missing() {
    local packages=(cmake ninja-build clang libclang-rt-14-dev llvm-14)
    local missing=() package
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [[ ${#missing[@]} -eq 0 ]] && return
    local sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    say "installing ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" </dev/null >/dev/null
}

install_missing
compiler=$(command -v clang++ || command -v clang++-14)
# llvm-symbolizer turns a finding's stack into file and line.
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)

generator=()
[[ -f "$build/CMakeCache.txt" ]] || generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DTALVEX_FUZZ=ON -DTALVEX_BUILD_GUI=OFF \
    -DTALVEX_BUILD_TESTS=OFF -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
cmake --build "$build" -j2 --target talvex_fuzz_targets
$build_only && exit 0

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
[[ -n $symbolizer ]] && export ASAN_SYMBOLIZER_PATH=$symbolizer

passed=0
failed=0
known=0
failures=()
work="$build/fuzz-ci"
rm -rf "$work"
mkdir -p "$work"

# Every reproducer of a known defect must still break its property.
check_known() { # target
    local target=$1 file
    for file in "$root/fuzz/known-defects/$target"/*; do
        [[ -f $file ]] || continue
        if "$build/fuzz/$target" "$file" >"$work/$target.known.log" 2>&1; then
            say "$target: $(basename "$file") no longer breaks its property: the defect is mended;"
            say "  move it to fuzz/corpus/$target/, update docs/fuzzing.md, and the target is fuzzed again"
            return 1
        fi
        if ! grep -q "property broken" "$work/$target.known.log"; then
            say "$target: $(basename "$file") fails otherwise than by the known property:"
            tail -n 30 "$work/$target.known.log"
            return 1
        fi
    done
    say "$target: known defect still present (docs/fuzzing.md), not fuzzed"
}

for source in "$root"/fuzz/*Fuzz.cpp; do
    target=$(basename "$source" .cpp)
    if [[ -d "$root/fuzz/known-defects/$target" ]]; then
        if check_known "$target"; then
            known=$((known + 1))
        else
            failed=$((failed + 1))
            failures+=("$target")
        fi
        continue
    fi
    mkdir -p "$work/$target" "$work/findings"
    seeds=()
    [[ -d "$root/fuzz/corpus/$target" ]] && seeds=("$root/fuzz/corpus/$target")
    dict=()
    [[ -f "$root/fuzz/$target.dict" ]] && dict=(-dict="$root/fuzz/$target.dict")
    log="$work/$target.log"
    if "$build/fuzz/$target" -runs="$runs" -seed="$seed" -max_total_time="$max_time" -timeout=30 "${dict[@]}" \
        -artifact_prefix="$work/findings/$target-" "$work/$target" "${seeds[@]}" >"$log" 2>&1; then
        done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
        say "$target: ${done_line:-done}"
        passed=$((passed + 1))
    else
        say "$target: FINDING"
        grep -E "property broken|ERROR:|SUMMARY:|Test unit written" "$log" || tail -n 40 "$log"
        failed=$((failed + 1))
        failures+=("$target")
    fi
done

[[ $failed -eq 0 ]] || say "failed: ${failures[*]} (logs and inputs in $work)"
say "$known known defects still present"
echo "fuzz-ci: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
