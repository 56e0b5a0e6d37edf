# Sourced by the Wine check scripts: named checks counted, each said through
# the sourcing script's own say().
passed=0
failed=0
check() { # description, command...
    local description=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        say "ok    $description"
    else
        failed=$((failed + 1))
        say "FAIL  $description"
    fi
}
