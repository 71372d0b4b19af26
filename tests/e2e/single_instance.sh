#!/usr/bin/env bash
# One instance per executable path, end to end: a second start hands over to
# the first and ends with exit code 0; copies in other folders run side by side;
# the automatic-mode switch shows in the caption.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup instance
EXE='C:\Apps\Vantrel\Vantrel.exe'
OTHER='C:\Apps\Other\Vantrel.exe'
e2e_install_exe "$EXE"
e2e_install_exe "$OTHER"

wine "$EXE" &
first=$!
e2e_check "first instance opens its window" e2e_wait_windows 1 60

for args in "" "/auto"; do
    rc=$(e2e_exit_code 20 wine "$EXE" $args)
    e2e_check "second start ${args:-(plain)} ends with exit code 0 (got $rc)" [ "$rc" = 0 ]
done
rc=$(e2e_exit_code 20 wine 'c:\apps\VANTREL\vantrel.EXE')
e2e_check "second start through a path in other letter case ends with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "first instance still runs" kill -0 "$first"
e2e_check "still exactly one window" [ "$(e2e_vantrel_windows | wc -l)" = 1 ]

wine "$OTHER" &
e2e_check "a copy in another folder runs beside it" e2e_wait_windows 2 60
e2e_close_all

caption_for() {  # caption of the window Vantrel opens with argument $1
    wine "$EXE" "$1" &
    local pid=$! caption=""
    if e2e_wait_windows 1 60; then
        caption=$(xdotool getwindowname "$(e2e_vantrel_windows | head -n 1)")
    fi
    e2e_close_all
    wait "$pid" 2>/dev/null
    printf '%s' "$caption"
}
for arg in /auto -auto /AUTO; do
    c=$(caption_for "$arg")
    e2e_check "$arg selects automatic mode (caption '$c')" [ "$c" = "Vantrel (自动模式)" ]
done
c=$(caption_for auto)
e2e_check "auto without a prefix does not (caption '$c')" [ "$c" = "Vantrel" ]

[ "$E2E_FAILURES" -eq 0 ]
