#!/usr/bin/env bash
# ticketflash.exe from start to exit with no local printer: the dialog as the first probe left
# it, the start-up's debug lines, the spooler's printers on "FILE:" while it runs and back on
# their own ports after it, a second instance refused, "Display Versions", and the exit.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
# shellcheck source=tests/e2e/app-env
source "$(dirname "$0")/app-env"
e2e_start
app_queues
app_expect_ports "the spooler's printers start on their own ports" own

app_start
app_dump
app_expect "the first probe found no local printer" \
    'c(1013).text == "Did not find printer" and c(1029).text == "UPGRADE Firmware"'
app_expect "the default address in the edits" \
    '[c(1037), c(1036), c(1035), c(1034), c(1038)] | map(.text) == ["192", "168", "0", "1", "10001"]'
app_expect "the Ethernet controls enabled and shown" \
    "[$(tr ' ' ',' <<<"$ETHERNET_CONTROLS")] | map(c(.)) | all(.enabled and .visible)"
app_expect "the logo buttons and STATUS hidden, the upgrade button disabled" \
    '(c(1032).visible or c(1033).visible or c(1027).visible | not) and (c(1018).enabled | not)'
app_expect "the combo box hidden" '(c(1031).visible | not)'
app_screenshot dialog-at-start
if e2e_robot wait-window --title HRM_TO_G --timeout 300 2>/dev/null; then
    e2e_log "FAILED: the main window shows"
    exit 1
fi
e2e_log "ok: the main window stays hidden"

app_debug_lines >"$E2E_TMP/debug"
for line in "CreateSingleInstance - Entry" "IsAnotherInstanceRunning - Entry" \
    "WM_INITDIALOG - Calling refreshPrinterData" "refreshPrinterData - Entry" \
    "SetPortsToFile - Entry" "WM_INITDIALOG - After calling refreshPrinterData"; do
    grep -qxF "$line" "$E2E_TMP/debug" || { e2e_log "FAILED: no debug line \"$line\""; exit 1; }
done
e2e_log "ok: the start-up's debug lines"
first=$(grep -nxF "WM_INITDIALOG - Calling refreshPrinterData" "$E2E_TMP/debug" | cut -d: -f1)
last=$(grep -nxF "WM_INITDIALOG - After calling refreshPrinterData" "$E2E_TMP/debug" | cut -d: -f1)
((first < last)) || { e2e_log "FAILED: the first probe's lines out of order"; exit 1; }

app_expect_ports "the first probe moved every printer to FILE:" "FILE:"

WINEDEBUG=-all e2e_launch second "$APP_EXE"
e2e_robot message-box --title Error --timeout 30000 | e2e_expect "a second instance is refused" \
    '.[0].text == "Another KQ tool is currently running\rPlease try again latter" and .[0].buttons == ["ok"]'
e2e_robot answer-box --title Error --button ok >/dev/null
e2e_wait_exit second 20
e2e_log "ok: the second instance ended with exit code 0"
app_robot wait-window | e2e_expect "the first instance goes on" '.[0].enabled'
app_expect_ports "the refused instance left the printers alone" "FILE:"

app_robot click --id "$DISPLAY_VERSIONS" >/dev/null
e2e_robot message-box --process-of "$APP_TITLE" --timeout 10000 >"$E2E_TMP/versions"
e2e_expect "the versions list" '.[0].caption == "Versions" and .[0].buttons == ["ok"] and
    (.[0].text | startswith("Installed versions:\n\nVRA G    Logic Bd I  \t- V1.00\n")) and
    (.[0].text | contains("MZ-54 IBM Dual Driver       \t- V4.04a\n")) and
    (.[0].text | endswith("\nPlaceholder images: written only to the printer simulator, never to a real printer.\n"))' <"$E2E_TMP/versions"
e2e_robot answer-box --process-of "$APP_TITLE" --button ok >/dev/null

app_exit
app_expect_ports "the exit put every printer back on its own port" own
