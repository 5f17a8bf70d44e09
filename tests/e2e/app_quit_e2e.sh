#!/usr/bin/env bash
# ticketflash.exe when the first probe gives up: LPT3: opens (a file stands in for the port)
# and reads a status, but answers no device id, so the probe says "Can't get printer ID, exiting " and ends the
# run from inside the dialog's start. The dialog never shows, the program ends with exit code
# 0, and the spooler's printers that the probe moved to "FILE:" are put back exactly once.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
# shellcheck source=tests/e2e/app-env
source "$(dirname "$0")/app-env"
e2e_start
app_queues

# The link dangles once the test's folder is gone, so later tests find no port there either.
port=$WINEPREFIX/dosdevices/lpt3
printf 'S\0\0\0\0' >"$E2E_TMP/lpt3"
ln -sfn "$E2E_TMP/lpt3" "$port"

WINEDEBUG=-all,+debugstr e2e_launch app "$APP_EXE"
# The port's own complaints come first (a file has no port time-outs, no device id); each box
# is answered as a user would, until the probe gives up.
e2e_robot message-box --title Error --timeout 30000 >"$E2E_TMP/boxes"
app_expect_ports "the probe had moved the printers to FILE:" "FILE:"
until [[ $(jq -r .text "$E2E_TMP/boxes" | tail -n 1) == "Can't get printer ID, exiting " ]]; do
    (($(wc -l <"$E2E_TMP/boxes") < 8)) || { e2e_log "FAILED: boxes:"; cat "$E2E_TMP/boxes"; exit 1; }
    e2e_robot answer-box --title Error --button ok >/dev/null
    e2e_robot message-box --title Error >>"$E2E_TMP/boxes"
done
e2e_expect "the device id request failed, and the probe gave up" \
    'map(.text) | any(startswith("GetPrinterID - Error = ")) and
        .[-1] == "Can'"'"'t get printer ID, exiting "' <"$E2E_TMP/boxes"
e2e_robot answer-box --title Error --button ok >/dev/null
e2e_wait_exit app 30
rm -f "$port"
e2e_log "ok: the program ended with exit code 0"

app_expect_ports "the printers are back on their own ports" own
app_debug_lines >"$E2E_TMP/debug"
grep -qxF "WM_INITDIALOG - Calling refreshPrinterData" "$E2E_TMP/debug"
restores=$(grep -cxF "RestorePortsToOriginal - Entry" "$E2E_TMP/debug" || true)
((restores == 1)) || { e2e_log "FAILED: the printers were put back $restores times"; exit 1; }
e2e_log "ok: put back once"
