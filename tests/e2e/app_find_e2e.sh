#!/usr/bin/env bash
# "Find Ethernet Printer" in ticketflash.exe against simulated printers on 127.0.0.1: a ready
# G printer, a printer that is not ready, a ready raster printer (combo box shown, upgrade
# button disabled until a variant is chosen), and a port where nothing listens; then the
# caption's close box ends the program as "Exit" does.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
# shellcheck source=tests/e2e/app-env
source "$(dirname "$0")/app-env"
e2e_start
app_queues # with no printer at all, the first probe would stop at "No printer driver installed"

app_sim g_printer
g_port=$APP_SIM_PORT
app_sim busy_printer --not-ready --device-id "MFG:SIM;CMD:HRM;MDL:VRA HRM SIM;FWV:V2.06a;"
busy_port=$APP_SIM_PORT
app_sim raster_printer --device-id "MFG:SIM;CMD:RASTER;MDL:VRK-54 SIM;FWV:V2.00;"
raster_port=$APP_SIM_PORT

app_start
app_address "$g_port"
app_find "Found Printer - Printer ready"
app_dump
app_expect "a ready G printer over TCP" \
    '[c(1014), c(1015), c(1026), c(1016), c(1017)] | map(.text) ==
        ["VRE G SIM", "ETHERNET", "G", "LOGIC BD I", "V1.00;"]'
app_expect "its upgrade offered, no variant to choose" \
    'c(1018).enabled and c(1018).text == "Update G printer to new version? (V1.12)" and
        (c(1031).visible | not)'
app_expect "the Ethernet controls stay" 'c(1039).visible and c(1039).enabled'

app_robot set-text --id "$TCP_PORT" --text "$busy_port" >/dev/null
app_find "Found Printer - Printer NOT ready"
app_dump
app_expect "a printer that is not ready" \
    '[c(1014), c(1026), c(1016)] | map(.text) == ["VRA HRM SIM", "HRM", "LOGIC BD II ROHS"]'
app_expect "nothing to upgrade" '(c(1018).enabled or c(1031).visible) | not'

app_robot set-text --id "$TCP_PORT" --text "$raster_port" >/dev/null
app_find "Found Printer - Printer ready"
app_dump
app_expect "a ready raster printer" \
    '[c(1014), c(1026), c(1016)] | map(.text) == ["VRK-54", "RASTER", "LOGIC BD II ROHS"]'
app_expect "its variants offered, the upgrade waiting for a choice" \
    'c(1031).visible and c(1031).selection == 0 and (c(1031).entries | length) == 2 and
        (c(1018).enabled | not) and c(1018).text == "Update VRK-54 printer FW file not selected"'
app_robot select --id "$FIRMWARE_COMBO" --index 1 >/dev/null
caption="Update VRK-54 printer to V2.01b LOGIC BD II (V2.01b)?"
app_robot wait-text --id "$UPGRADE_BUTTON" --text "$caption" >/dev/null
app_dump
app_expect "the choice enables the upgrade" 'c(1018).enabled and c(1031).selection == 1'

app_robot set-text --id "$TCP_PORT" --text "$(app_closed_port)" >/dev/null
app_find "Did not find Ethernet attached printer"
app_dump
app_expect "no printer: the last one's texts stay" \
    'c(1014).text == "VRK-54" and (c(1031).visible | not) and c(1039).enabled'

app_robot close >/dev/null
e2e_wait_exit app 20
e2e_log "ok: the close box ended the program with exit code 0"
grep -q '"command":"device-id"' "$E2E_TMP/g_printer.events"
grep -q '"command":"status"' "$E2E_TMP/g_printer.events"
e2e_log "ok: the G printer was asked for its device id and status"
