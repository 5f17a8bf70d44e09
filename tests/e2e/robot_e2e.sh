#!/usr/bin/env bash
# The test robot against its sample dialog under Wine on a private X display: every robot
# command, a message box read and answered, a yes/no question answered both ways, the refusals
# a user would meet (hidden, disabled, behind a modal box), and a screenshot.
set -euo pipefail
# shellcheck source=scripts/e2e-env
source "$(dirname "$0")/../../scripts/e2e-env"
e2e_start

title="Robot Sample"
robot() { e2e_robot "$1" --title "$title" "${@:2}"; }
refused() { # what, robot command...: the command must fail, quickly
    local what=$1
    shift
    if "$@" --timeout 300 2>"$E2E_TMP/refusal"; then
        e2e_log "FAILED: $what was not refused"
        return 1
    fi
    e2e_log "ok: $what refused ($(cat "$E2E_TMP/refusal"))"
}

e2e_launch sample "$E2E_BIN/tf-sample-dialog.exe"
robot wait-window --timeout 20000 | e2e_expect "the dialog appears, enabled" '.[0].enabled'

robot dump >"$E2E_TMP/dump"
e2e_expect "controls in z order" \
    'map(.id) == [201, 206, 202, 203, 204, 205, -1, 207, 208, 209, 2]' <"$E2E_TMP/dump"
e2e_expect "combo entries whole, nothing selected" \
    '.[] | select(.id == 204) | .entries == ["First entry", "Second entry"] and .selection == -1' \
    <"$E2E_TMP/dump"
e2e_expect "hidden and disabled buttons" \
    '(.[] | select(.id == 208) | .visible == false) and (.[] | select(.id == 209) | .enabled == false)' \
    <"$E2E_TMP/dump"
refused "pressing the hidden button" robot click --id 208
refused "pressing the disabled button" robot click --id 209
refused "pressing a control that does not exist" robot click --id 999

robot click --id 201 | e2e_expect "the message button is pressed" '.[0].clicked == 201'
e2e_robot message-box --process-of "$title" | e2e_expect "the message box, default caption" \
    '.[0] == {caption: "Error", text: "Hello from the sample\rSecond line", buttons: ["ok"]}'
refused "pressing a button behind the message box" robot click --id 206
refused "answering yes to an ok box" e2e_robot answer-box --process-of "$title" --button yes
e2e_robot answer-box --process-of "$title" --button ok |
    e2e_expect "the box is answered" '.[0].answered == "ok"'

robot click --id 206 >/dev/null
e2e_robot message-box --title Question | e2e_expect "the box found by its caption" \
    '.[0].caption == "Question"'
refused "finding a box by another caption" e2e_robot message-box --title Error
e2e_robot answer-box --title Question --button no >/dev/null

for answer in yes no; do
    robot click --id 206 >/dev/null
    e2e_robot message-box | e2e_expect "the question, without naming its owner" \
        '.[0] == {caption: "Question", text: "Proceed with the sample?", buttons: ["yes", "no"]}'
    e2e_robot answer-box --process-of "$title" --button "$answer" >/dev/null
    robot wait-text --id 207 --text "$answer" |
        e2e_expect "the dialog heard $answer" ".[0].text == \"$answer\""
done

text="Adresse réseau: 127.0.0.1"
robot set-text --id 202 --text "$text" >/dev/null
robot wait-text --id 203 --text "$text" |
    e2e_expect "the edit told its dialog (EN_CHANGE)" ".[0].text == \"$text\""
robot set-text --id 202 --text "second" >/dev/null
robot watch --id 203 --text "second" | e2e_expect "watch ends at the awaited text" \
    '.[-1].text == "second" and (map(.text) | unique | length) == length'
refused "waiting for a text that never comes" robot wait-text --id 203 --text "something else"

robot select --id 204 --index 1 >/dev/null
robot wait-text --id 205 --text "selected 1" |
    e2e_expect "the dialog heard the selection (CBN_SELCHANGE)" '.[0].id == 205'
robot dump | e2e_expect "the combo box shows the selection" \
    '.[] | select(.id == 204) | .selection == 1 and .text == "Second entry"'
refused "selecting an entry that does not exist" robot select --id 204 --index 2

e2e_screenshot robot-sample
[[ $(head -c 8 "$E2E_ARTIFACTS/robot-sample.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]]

robot click --id 2 >/dev/null
robot wait-closed | e2e_expect "the dialog closes" '.[0].closed == "Robot Sample"'
e2e_wait_exit sample 10
e2e_log "the sample dialog ended with exit code 0"
