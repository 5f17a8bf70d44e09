# Sourced by the package checks: check WHAT COMMAND... counts a check that passed or names one
# that failed; checks_end prints the counts and fails when any check failed.
passed=0
failed=0
check() { # what, command...
    if "${@:2}"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1"
    fi
}
checks_end() {
    echo "$passed passed, $failed failed"
    ((failed == 0))
}
