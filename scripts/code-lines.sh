#!/usr/bin/env bash
# Counts lines of code in the files git tracks and fails when tests, fuzz
# targets and test scripts are more than one third of them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
code='(\.(cpp|h|c|sh|py|cmake|nsi|in|list|dict)|(^|/)CMakeLists\.txt|^\.ci/run)$'
tests='^(tests/|fuzz/|\.ci/run$|scripts/(wine-tests|wine-gui|wine-talvexctl|wine-installer|check-tally|fuzz-ci|fuzz|test|package-ci|mutants|code-lines)\.sh$)'
files=$(git ls-files | grep -Ev '^(docs/|fuzz/corpus/)' | grep -E "$code")
count() { local n; n=$(grep -E "$1" <<<"$files" | tr '\n' '\0' | xargs -0 cat | wc -l); echo "$n"; }
all=$(count .)
test=$(count "$tests")
echo "test lines: $test  all lines: $all  test share: $((test * 1000 / all / 10)).$((test * 1000 / all % 10)) %"
(( test * 3 <= all )) || { echo "over one third" >&2; exit 1; }
