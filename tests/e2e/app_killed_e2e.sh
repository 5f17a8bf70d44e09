#!/usr/bin/env bash
# ticketflash.exe killed while its first probe has the spooler's printers on "FILE:": the
# journal in C:\ProgramData\ticketflash lists them, and the next start puts them back on their
# own ports before anything else, says so in a box, and removes the journal once its own exit
# has put them back again.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
# shellcheck source=tests/e2e/app-env
source "$(dirname "$0")/app-env"
e2e_start
journal=$WINEPREFIX/drive_c/ProgramData/ticketflash/spooler-ports.journal
rm -f "$journal"
app_queues

app_start killed
app_expect_ports "the first probe moved the printers to FILE:" "FILE:"
# Wine lists every queue on the port "CUPS:<queue>", so all three were moved.
for queue in $APP_QUEUES; do
    grep -qxF "printer $queue CUPS:$queue" "$journal" ||
        { e2e_log "FAILED: $queue not in the journal:"; cat "$journal"; exit 1; }
done
e2e_log "ok: the journal lists the moved printers with their ports"
sed 's/^/    journal: /' "$journal"

kill -KILL "${E2E_LAUNCHED[killed]}"
e2e_wait_exit killed 10 || true
e2e_log "killed the program while its printers were on FILE:"
app_expect_ports "the printers stay on FILE: after the kill" "FILE:"

WINEDEBUG=-all,+debugstr e2e_launch app "$APP_EXE"
e2e_robot message-box --title Error --timeout 30000 |
    e2e_expect "the next start says it put them back" \
        '.[0].text == "Printer ports restored after an interrupted run"'
app_expect_ports "the printers are back on their own ports before the dialog" own
[[ ! -e $journal ]] || { e2e_log "FAILED: the journal is still there"; exit 1; }
e2e_robot answer-box --title Error --button ok >/dev/null
app_robot wait-window --timeout 30000 >/dev/null
app_expect_ports "the new run's first probe moved them again" "FILE:"
app_exit
app_expect_ports "its exit put them back" own
[[ ! -e $journal ]] || { e2e_log "FAILED: the journal outlived the exit"; exit 1; }
e2e_log "ok: no journal after the exit"
app_debug_lines >"$E2E_TMP/debug"
grep -qxF "RestorePortsFromJournal - Entry" "$E2E_TMP/debug"
