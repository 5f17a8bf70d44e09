# Sourced by scripts/test; not a program of its own. Runs a list of stages, some in the
# foreground one after the other, some alongside (the ones that mostly wait: a real-time demo,
# programs under Wine), timing each and failing the run when any failed.
#
#   stage NAME COMMAND...             in the foreground, its output shown; a failure ends the run
#   stage_bg NAME COMMAND...          alongside; its output goes to build/stages/NAME.log
#   stage_bg NAME after OTHER COMMAND...  alongside, once the stage OTHER (started before it)
#                                     has passed
#   finish_stages                     waits for the stages alongside, shows the log of each that
#                                     failed, prints every stage with its start and time, and
#                                     returns non-zero when any failed
#
# Stage names are single words.

stage_dir=build/stages
stage_pids=()
stage_table=()
stage_bg_names=()
rm -rf "$stage_dir"
mkdir -p "$stage_dir"

stage_clock() { date +%T; }

# mm:ss of a number of seconds.
stage_duration() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

# Runs a stage's command and leaves its outcome in $stage_dir/NAME.result: the start time, the
# seconds taken and the exit code.
stage_run() { # name, command...
    local name=$1 started=$SECONDS start_clock status=0
    start_clock=$(stage_clock)
    shift
    # In a subshell of its own, so that the command stops at its first failure (errexit does
    # not apply to a command whose status is tested).
    set +e
    (
        set -e
        "$@"
    )
    status=$?
    set -e
    echo "$start_clock $((SECONDS - started)) $status" >"$stage_dir/$name.result"
    return "$status"
}

# Waits until stage OTHER has ended; true when it passed.
stage_wait_for() { # other
    local result=$stage_dir/$1.result
    until [[ -f $result ]]; do sleep 1; done
    [[ $(cut -d' ' -f3 "$result") == 0 ]]
}

stage_after() { # other, command...
    local other=$1
    shift
    stage_wait_for "$other" || { echo "not run: stage $other failed"; return 1; }
    "$@"
}

stage() { # name, command...
    local name=$1
    printf '\n=== %s: %s started\n' "$(stage_clock)" "$name"
    stage_table+=("$name")
    if ! stage_run "$@" 2>&1 | tee "$stage_dir/$name.log"; then
        printf '=== %s FAILED\n' "$name"
        finish_stages || true
        exit 1
    fi
    printf '=== %s: %s passed in %s\n' "$(stage_clock)" "$name" \
        "$(stage_duration "$(cut -d' ' -f2 "$stage_dir/$name.result")")"
}

stage_bg() { # name, [after other,] command...
    local name=$1
    shift
    if [[ $1 == after ]]; then
        set -- stage_after "${@:2}"
    fi
    printf '\n=== %s: %s started alongside (log: %s)\n' "$(stage_clock)" "$name" \
        "$stage_dir/$name.log"
    stage_table+=("$name")
    stage_bg_names+=("$name")
    stage_run "$name" "$@" </dev/null >"$stage_dir/$name.log" 2>&1 &
    stage_pids+=($!)
}

# The test runner's closing line in a stage's log, if it has one.
stage_summary() { # name
    grep -E '^[0-9]+% tests passed|^[0-9]+ passed, [0-9]+ failed' "$stage_dir/$1.log" 2>/dev/null |
        tail -n 1 || true
}

finish_stages() {
    local pid name start seconds status passed=0 failed=0
    for pid in "${stage_pids[@]}"; do
        wait "$pid" || true
    done
    stage_pids=()
    for name in "${stage_table[@]}"; do
        [[ -f $stage_dir/$name.result ]] || continue
        read -r start seconds status <"$stage_dir/$name.result"
        # A stage in the foreground has shown its output already.
        if ((status != 0)) && [[ " ${stage_bg_names[*]} " == *" $name "* ]]; then
            printf '\n=== %s FAILED (exit %d); its log, %s:\n' "$name" "$status" \
                "$stage_dir/$name.log"
            sed 's/^/    /' "$stage_dir/$name.log"
        fi
    done
    printf '\n=== stages (start, time, result)\n'
    for name in "${stage_table[@]}"; do
        if [[ ! -f $stage_dir/$name.result ]]; then
            printf '%-14s %8s %6s  %s\n' "$name" "-" "-" "not run"
            continue
        fi
        read -r start seconds status <"$stage_dir/$name.result"
        if ((status == 0)); then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
        printf '%-14s %8s %6s  %-16s %s\n' "$name" "$start" "$(stage_duration "$seconds")" \
            "$( ((status == 0)) && echo passed || echo "FAILED (exit $status)")" \
            "$(stage_summary "$name")"
    done
    echo "stages: $passed passed, $failed failed"
    ((failed == 0))
}
