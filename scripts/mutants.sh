#!/usr/bin/env bash
# Applies each mutant of docs/mutants.list (or the list given) to the source
# in turn, rebuilds BUILD_DIR and runs the tests; a mutant the tests fail on
# is killed. Usage: scripts/mutants.sh BUILD_DIR [LIST]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build=$(realpath "${1:?usage: mutants.sh BUILD_DIR [LIST]}")
list=$(realpath "${2:-$root/docs/mutants.list}")
cd "$root"
# The real-time program runs over pseudo-terminals take minutes; left out.
slow='TalvexctlBatchProgram|TalvexctlProgram'
current=""
restore() { [[ -n "$current" ]] && git checkout -- "$current"; current=""; }
trap 'restore; exit 130' INT TERM
trap restore EXIT
export QT_QPA_PLATFORM=offscreen
killed=0 survived=0 unbuilt=0 total=0 survivors=() unbuilts=()
while IFS="|" read -r -u 3 file original replacement label; do
    [[ -z "$file" || "$file" == \#* ]] && continue
    total=$((total + 1))
    current=$file
    if ! python3 - "$file" "$original" "$replacement" <<'PY'; then
import sys
path, old, new = sys.argv[1:]
text = open(path).read()
if text.count(old) != 1:
    sys.exit(f"{path}: '{old}' does not apply (found {text.count(old)} times)")
open(path, "w").write(text.replace(old, new))
PY
        restore; exit 2
    fi
    if ! cmake --build "$build" -j2 >"$build/mutant-build.log" 2>&1; then
        result="not built"; unbuilt=$((unbuilt + 1)); unbuilts+=("$label")
    elif ctest --test-dir "$build" -j2 --stop-on-failure --timeout 120 -E "$slow" >"$build/mutant-test.log" 2>&1; then
        result=SURVIVED; survived=$((survived + 1)); survivors+=("$label")
    else
        result="killed by $(grep -m1 -oE '[0-9]+ - [^ ]+ \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)' "$build/mutant-test.log" | cut -d' ' -f3)"
        killed=$((killed + 1))
    fi
    restore
    echo "$(date -u +%H:%M:%S) $label: $result"
done 3<"$list"
cmake --build "$build" -j2 >/dev/null 2>&1 # back to the unmutated build
echo "killed $killed of $total ($survived survived, $unbuilt not built) at $(git rev-parse --short HEAD)"
for label in "${survivors[@]}"; do echo "survived: $label"; done
for label in "${unbuilts[@]}"; do echo "not built: $label"; done
(( survived == 0 && unbuilt == 0 ))
