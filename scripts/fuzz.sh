#!/usr/bin/env bash
# Longer fuzzing of the libFuzzer targets (fuzz/), one after the other.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Runs each target (default: all) for SECONDS (default 60) with a random
# seed. What it learns stays in a scratch folder outside the tree and is
# used again by the next run: TALVEX_FUZZ_SCRATCH (default build-fuzz/scratch)
# holds corpus/<target>/ and findings/. The tree's seed corpus is only read;
# copy an entry worth keeping into fuzz/corpus/<target>/ by hand.
# Builds in TALVEX_FUZZ_BUILD (default build-fuzz) through scripts/fuzz-ci.sh.
# Exits non-zero when a target found something new; a target listed in
# fuzz/known-defects/ is fuzzed too, and what it finds is reported apart.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2; exit 2; }
[[ $# -gt 0 ]] && shift
build=${TALVEX_FUZZ_BUILD:-$root/build-fuzz}
scratch=${TALVEX_FUZZ_SCRATCH:-$build/scratch}

say() { echo "fuzz: $*"; }

bash "$root/scripts/fuzz-ci.sh" "$build" --build-only

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for source in "$root"/fuzz/*Fuzz.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
[[ -n $symbolizer ]] && export ASAN_SYMBOLIZER_PATH=$symbolizer

new_findings=()
known_findings=()
mkdir -p "$scratch/findings" "$scratch/logs"
for target in "${targets[@]}"; do
    [[ -x "$build/fuzz/$target" ]] || { say "no target $target"; exit 2; }
    mkdir -p "$scratch/corpus/$target"
    seeds=()
    [[ -d "$root/fuzz/corpus/$target" ]] && seeds=("$root/fuzz/corpus/$target")
    dict=()
    [[ -f "$root/fuzz/$target.dict" ]] && dict=(-dict="$root/fuzz/$target.dict")
    log="$scratch/logs/$target.log"
    say "$target for ${seconds} s"
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="$scratch/findings/$target-" "$scratch/corpus/$target" "${seeds[@]}" >"$log" 2>&1; then
        say "$target: $(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1), corpus $(ls "$scratch/corpus/$target" | wc -l) entries"
    else
        grep -E "property broken|ERROR:|SUMMARY:|Test unit written" "$log" || tail -n 40 "$log"
        if [[ -d "$root/fuzz/known-defects/$target" ]]; then
            say "$target: found its known defect again (docs/fuzzing.md)"
            known_findings+=("$target")
        else
            say "$target: FINDING (log $log)"
            new_findings+=("$target")
        fi
    fi
done

[[ ${#known_findings[@]} -eq 0 ]] || say "known defects met again: ${known_findings[*]}"
if [[ ${#new_findings[@]} -gt 0 ]]; then
    say "new findings: ${new_findings[*]} (inputs in $scratch/findings)"
    exit 1
fi
say "no new findings"
