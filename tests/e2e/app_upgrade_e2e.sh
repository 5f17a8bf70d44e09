#!/usr/bin/env bash
# A whole firmware upgrade by ticketflash.exe over TCP, in real time (about 45 s): the
# progress texts as they change, exit ("Exit" and the close box) refused while the writer
# works and accepted after it, the image the simulated printer received (size and checksum of
# the chosen slot), the new version shown by the closing probe, a screenshot of the finished
# dialog, and the spooler's printers back on their own ports, once, after the exit.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
# shellcheck source=tests/e2e/app-env
source "$(dirname "$0")/app-env"
e2e_start
app_queues
app_sim printer
image=$E2E_ROOT/firmware/slot00-vre-g-logic1.bin # VRE G printer, logic board I: slot 0
# The writer sends an even number of bytes: an odd image's last byte stays behind.
image_size=$(($(stat -c %s "$image") / 2 * 2))
image_checksum=$(head -c "$image_size" "$image" | sha256sum | cut -d' ' -f1)

app_start
app_address "$APP_SIM_PORT"
app_find "Found Printer - Printer ready"
app_robot wait-text --id "$UPGRADE_BUTTON" --text "Update G printer to new version? (V1.12)" >/dev/null

# Two watchers follow the progress texts until the writer's last ones; they end by themselves.
follow() { # id, last text
    timeout --foreground -s KILL 120 wine "$E2E_BIN/tf-robot.exe" watch --title "$APP_TITLE" \
        --id "$1" --text "$2" --timeout 100000 >"$E2E_TMP/watch-$1" 2>&1
}
app_robot click --id "$UPGRADE_BUTTON" >/dev/null
started=$SECONDS
follow "$PROGRAM_STATUS" "Progamming complete" &
status_watcher=$!
follow "$PROGRAM_STATE" " " &
state_watcher=$!
app_robot wait-text --id "$PROGRAM_STATUS" --text "Delaying 15 seconds" --timeout 20000 >/dev/null
e2e_log "ok: the writer started"

app_robot click --id "$EXIT_BUTTON" >/dev/null
e2e_robot message-box --process-of "$APP_TITLE" --timeout 10000 |
    e2e_expect "exit refused while the writer works" \
        '.[0].text == "Cannot exit while printer FW is being updated" and .[0].caption == "Error"'
e2e_robot answer-box --process-of "$APP_TITLE" --button ok >/dev/null
app_robot close >/dev/null
e2e_robot message-box --process-of "$APP_TITLE" --timeout 10000 |
    e2e_expect "the close box refused alike" \
        '.[0].text == "Cannot exit while printer FW is being updated"'
e2e_robot answer-box --process-of "$APP_TITLE" --button ok >/dev/null
app_robot wait-window | e2e_expect "the dialog stays" '.[0].enabled'
app_robot click --id "$DISPLAY_VERSIONS" >/dev/null
app_robot click --id "$FIND_ETHERNET" >/dev/null
if e2e_robot message-box --process-of "$APP_TITLE" --timeout 1000 2>/dev/null; then
    e2e_log "FAILED: a command ignored during the upgrade showed a box"
    exit 1
fi
e2e_log "ok: \"Display Versions\" and \"Find Ethernet Printer\" ignored during the upgrade"

wait "$status_watcher" || { e2e_log "FAILED: the status never read Progamming complete"; cat "$E2E_TMP/watch-$PROGRAM_STATUS"; exit 1; }
wait "$state_watcher" || { e2e_log "FAILED: the state never ended"; cat "$E2E_TMP/watch-$PROGRAM_STATE"; exit 1; }
e2e_log "the upgrade took $((SECONDS - started)) s"
sed 's/^/    status: /' "$E2E_TMP/watch-$PROGRAM_STATUS"
# sed reads to the end: head would leave it a broken pipe, which fails the test.
uniq <"$E2E_TMP/watch-$PROGRAM_STATE" | sed -n '1,60s/^/    state: /p'
kbytes=$((image_size / 1024))
e2e_expect "the phases in order" '[.[].text] as $seen |
    ["Delaying 15 seconds", "Programming '$kbytes' KBytes", "Waiting for reset",
     "Progamming complete"] | map(. as $t | $seen | index($t)) | all(. != null) and . == sort' \
    <"$E2E_TMP/watch-$PROGRAM_STATUS"
e2e_expect "the counts within the phases" '[.[].text] |
    (["0 seconds elapsed", "14 seconds elapsed", "End Of File", "24 seconds elapsed"] -
        . == []) and .[-1] == " " and
    (map(select(test("^[0-9]+ KBytes programmed\r\n$")) | rtrimstr(" KBytes programmed\r\n") |
        tonumber) | all(. <= '$kbytes'))' <"$E2E_TMP/watch-$PROGRAM_STATE"

app_robot wait-text --id "$VERSION_TEXT" --text "V1.12;" --timeout 30000 >/dev/null
app_robot wait-text --id "$PROBE_STATUS" --text "Found Printer - Printer ready" >/dev/null
e2e_log "ok: the closing probe shows the new version"
jq -e -s "map(select(.event == \"reset\")) | length == 1 and .[0].size == $image_size and
    .[0].detail == \"$image_checksum V1.12\"" "$E2E_TMP/printer.events" >/dev/null ||
    { e2e_log "FAILED: the printer's record of the image"; grep reset "$E2E_TMP/printer.events"; exit 1; }
e2e_log "ok: the printer received slot 0 ($image_size bytes, sha256 $image_checksum)"

app_screenshot dialog-after-upgrade
app_exit
app_debug_lines >"$E2E_ARTIFACTS/app_upgrade-debug.log"
grep -cxF "RestorePortsToOriginal - Entry" "$E2E_ARTIFACTS/app_upgrade-debug.log" | grep -qx 1
app_expect_ports "the exit put every printer back on its own port" own
