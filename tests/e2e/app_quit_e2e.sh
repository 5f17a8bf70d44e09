#!/usr/bin/env bash
# ticketflash.exe when the first probe gives up: LPT3: opens (a file stands in for the port)
# but answers no device id, so the probe says "Can't get printer ID, exiting " and ends the
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
touch "$E2E_TMP/lpt3"
ln -sfn "$E2E_TMP/lpt3" "$port"

WINEDEBUG=-all,+debugstr e2e_launch app "$APP_EXE"
e2e_robot message-box --title Error --timeout 30000 | e2e_expect "the device id request fails" \
    '.[0].text | startswith("GetPrinterID - Error = ")'
app_expect_ports "the probe had moved the printers to FILE:" "FILE:"
e2e_robot answer-box --title Error --button ok >/dev/null
e2e_robot message-box --title Error | e2e_expect "the probe gives up" \
    '.[0].text == "Can'"'"'t get printer ID, exiting "'
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
