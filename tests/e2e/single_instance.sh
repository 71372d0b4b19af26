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

# Automatic mode reads, cleans and closes by itself (the sandbox is small, so
# within seconds); the caption is read while the window is there. A plain start
# stays open with the plain caption.
run_with() {  # prints "<caption>|<exited by itself: yes/no>"
    wine "$EXE" "$1" &
    local pid=$! caption="" i
    for i in $(seq 1 600); do
        # Minimised at once, so not "visible": look for the caption among all windows.
        local w; w=$(xdotool search --name '自动模式' 2>/dev/null | head -n 1)
        if [ -n "$w" ]; then caption=$(xdotool getwindowname "$w" 2>/dev/null) && [ -n "$caption" ] && break; fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    local exited=no
    for i in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || { exited=yes; break; }; sleep 0.1; done
    [ "$1" = auto ] && exited=no  # (a plain start is closed below; it never ends by itself)
    e2e_close_all
    wait "$pid" 2>/dev/null
    printf '%s|%s' "$caption" "$exited"
}
# Enough files that a reading pass lasts long enough to read the caption.
if [ ! -d "$E2E_C/bulk" ]; then
    for d in $(seq 1 200); do mkdir -p "$E2E_C/bulk/d$d"; (cd "$E2E_C/bulk/d$d" && touch $(seq -f 'f%g.dat' 1 100)); done
fi
for arg in /auto -auto /AUTO; do
    r=$(run_with "$arg")
    e2e_check "$arg selects automatic mode (caption '${r%|*}', ended by itself: ${r#*|})" \
        test "${r#*|}" = yes -a "${r%|*}" = "Vantrel (自动模式)"
done
wine "$EXE" auto &
plain=$!
e2e_wait_windows 1 60
sleep 3
c=$(xdotool getwindowname "$(e2e_vantrel_windows | head -n 1)" 2>/dev/null)
still_open=no; kill -0 "$plain" 2>/dev/null && still_open=yes
e2e_check "auto without a prefix does not (caption '$c', still open: $still_open)" test "$c" = Vantrel -a "$still_open" = yes
e2e_close_all
wait "$plain" 2>/dev/null

[ "$E2E_FAILURES" -eq 0 ]
