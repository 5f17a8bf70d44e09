#!/usr/bin/env bash
# Wine's spooler against the test's own cupsd: a Windows program lists exactly the queues the
# test made, each on port "CUPS:<queue>", because CUPS_SERVER names the private socket; with
# CUPS_SERVER on a socket where nothing listens it lists none. The machine's own CUPS
# configuration is left untouched.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
touch "$E2E_TMP/before"
e2e_start

e2e_add_queue TF_File file:///dev/null
e2e_add_queue TF_Parallel parallel:/dev/lp0
e2e_add_queue TF_USB 'usb://Maker/Thermal?serial=TF0001'

printers() { wine "$E2E_BIN/tf-printers.exe" | sort; }
expected=$'TF_File\tCUPS:TF_File\nTF_Parallel\tCUPS:TF_Parallel\nTF_USB\tCUPS:TF_USB'
listed=$(printers)
if [[ $listed != "$expected" ]]; then
    e2e_log "FAILED: Wine's spooler lists:"$'\n'"$listed"
    exit 1
fi
e2e_log "ok: Wine's spooler lists exactly the three private queues"
grep -q "CUPS-Get-Printers" "$E2E_TMP/cups/log/access_log"
e2e_log "ok: the private cupsd answered Wine's spooler"

listed=$(CUPS_SERVER=$E2E_TMP/nobody.sock printers)
[[ -z $listed ]] || { e2e_log "FAILED: without a cupsd Wine lists $listed"; exit 1; }
e2e_log "ok: without a cupsd Wine's spooler lists no printer"

changed=$(find /etc/cups /run/cups -newer "$E2E_TMP/before" 2>/dev/null || true)
[[ -z $changed ]] || { e2e_log "FAILED: the machine's CUPS files changed: $changed"; exit 1; }
e2e_log "ok: the machine's CUPS files are untouched"
