#!/usr/bin/env bash
# ticketflash-cli.exe, the command line on Windows, under Wine against simulated printers on
# 127.0.0.1: find on a ready printer and on a port where nothing listens, a raster printer's
# upgrade without --variant, and a whole upgrade over TCP in real time (about 45 s), each
# judged by its JSON and its exit code as the Linux tool's are. The upgrade's JSON is kept in
# build/e2e-artifacts/cli-upgrade.json.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
# shellcheck source=tests/e2e/app-env
source "$(dirname "$0")/app-env" # for app_sim and app_closed_port
CLI_EXE=$E2E_ROOT/build/win64/cli/ticketflash-cli.exe
[[ -f $CLI_EXE ]] || { echo "no $CLI_EXE: build the Windows target first" >&2; exit 1; }
e2e_start

# Runs the tool with --json; its exit code in $CLI_EXIT, its JSON in $E2E_TMP/NAME.out.
cli_run() { # name, seconds, arguments...
    local name=$1 seconds=$2
    shift 2
    e2e_launch "$name" "$CLI_EXE" --json "$@"
    CLI_EXIT=0
    e2e_wait_exit "$name" "$seconds" || CLI_EXIT=$?
    e2e_log "$name: exit code $CLI_EXIT"
}

cli_expect() { # name, what, jq filter over the one JSON object
    e2e_expect "$2" ".[0] | $3" <"$E2E_TMP/$1.out"
}

app_sim g_printer
cli_run find 30 find --ip 127.0.0.1 --port "$APP_SIM_PORT"
cli_expect find "find: a ready G printer over TCP, exit code 0" \
    '.exitCode == 0 and .command == "find" and .status == "Found Printer - Printer ready" and
        .port == "ETHERNET" and .version == "V1.00;" and .upgradeEnabled'
((CLI_EXIT == 0))

cli_run nothing 30 find --ip 127.0.0.1 --port "$(app_closed_port)"
cli_expect nothing "find: nothing listening, exit code 3" '.exitCode == 3 and (.ready | not)'
((CLI_EXIT == 3))

app_sim raster_printer --device-id "MFG:SIM;CMD:RASTER;MDL:VRK-54 SIM;FWV:V2.00;"
cli_run raster 30 upgrade --ip 127.0.0.1 --port "$APP_SIM_PORT" --yes
cli_expect raster "a raster printer's upgrade without --variant is a usage error" \
    '.exitCode == 64 and (.verified | not) and .bytesSent == 0'
((CLI_EXIT == 64))

app_sim upgraded_printer
cli_run upgrade 120 upgrade --ip 127.0.0.1 --port "$APP_SIM_PORT" --yes
cp "$E2E_TMP/upgrade.out" "$E2E_ARTIFACTS/cli-upgrade.json"
cli_expect upgrade "upgrade: written, verified, the printer back with V1.12" \
    '.exitCode == 0 and .command == "upgrade" and .verified and .newVersion == "V1.12;" and
        .bytesSent > 0 and .version == "V1.12;"'
((CLI_EXIT == 0))
grep -q '"command":"flash-mode"' "$E2E_TMP/upgraded_printer.events"
e2e_log "ok: the printer was put into flash mode"
