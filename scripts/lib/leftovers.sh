# Sourced by scripts/test; not a program of its own. Marks every process of the run, and at its
# end finds the ones still running: a stage must end whatever it started (a simulator, a
# scheduler, Wine's server), or the next run meets it.
#
#   mark_run           exports TICKETFLASH_TEST_RUN=<id>, which every process started from here
#                      on inherits, daemons that leave the run's process tree included
#   check_leftovers    names each process of the run that is still running (pid and command
#                      line), ends it, and fails; true when none is left
#
# A process belongs to the run when it carries the marker, or when it descends from the shell
# that sourced this file (a helper whose environment was replaced, as cupsd does for its
# backends). Nothing else is ever ended, and nothing by name.

leftovers_shell=$$

mark_run() {
    TICKETFLASH_TEST_RUN=$(date +%Y%m%d-%H%M%S)-$$
    export TICKETFLASH_TEST_RUN
}

# The pids of the run's processes, this shell's among them; also the short-lived ones of this
# listing itself, which have ended by the time the caller looks at them.
leftovers_listed() {
    {
        # A process that ends meanwhile cannot be read: grep then fails, for nothing.
        grep -lzx "TICKETFLASH_TEST_RUN=$TICKETFLASH_TEST_RUN" /proc/[0-9]*/environ 2>/dev/null |
            cut -d/ -f3 || true
        ps -e -o pid= -o ppid= | awk -v root="$leftovers_shell" '
            { parent[$1] = $2 }
            END {
                for (pid in parent) {
                    for (up = parent[pid]; up > 1; up = parent[up]) {
                        if (up == root) { print pid; break }
                    }
                }
            }'
    } | sort -un
}

# A process's parent, or nothing when it has ended (a zombie has ended, only its exit status
# waits to be collected).
leftovers_parent() { # pid
    local key value state='' parent=''
    while read -r key value _; do
        case $key in
        State:) state=$value ;;
        PPid:) parent=$value ;;
        esac
    done 2>/dev/null <"/proc/$1/status"
    if [[ -n $parent && $state != Z ]]; then echo "$parent"; fi
}

# The run's processes still running: one pid a line. Not this shell, nor the subshells this
# listing runs in.
leftovers_running() {
    local pid listed self=" " up=$BASHPID
    while [[ -n $up ]] && ((up > 1)); do
        self+="$up "
        [[ $up == "$leftovers_shell" ]] && break
        up=$(leftovers_parent "$up")
    done
    listed=$(leftovers_listed)
    for pid in $listed; do
        if [[ $self != *" $pid "* && -n $(leftovers_parent "$pid") ]]; then echo "$pid"; fi
    done
}

# Polls until none of the run's processes is left; false after the given number of seconds.
leftovers_wait() { # seconds
    local deadline=$((SECONDS + $1))
    until [[ -z $(leftovers_running) ]]; do
        ((SECONDS < deadline)) || return 1
        sleep 0.5
    done
}

# Ends the run's processes still running: politely, then for good (a Wine program ends only
# with SIGKILL). Each pid is listed afresh before a signal, so that only a process that still
# belongs to the run receives one.
leftovers_end() {
    local pid
    for pid in $(leftovers_running); do kill -TERM "$pid" 2>/dev/null || true; done
    leftovers_wait 5 && return
    for pid in $(leftovers_running); do kill -KILL "$pid" 2>/dev/null || true; done
    leftovers_wait 5 || true
}

check_leftovers() {
    local pid left
    # A process that is ending (a server whose last client has just gone) is given a moment.
    leftovers_wait 5 && { echo "no process of the run is left"; return 0; }
    left=$(leftovers_running)
    echo "FAILED: processes of the run are still running; ending them:"
    for pid in $left; do
        printf '    %s %s\n' "$pid" "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    done
    leftovers_end
    return 1
}
