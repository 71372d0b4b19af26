# Helpers for the end-to-end scripts in tests/e2e: each script gets its own
# sandbox, a display, and small checks that count failures.
# Source after common.sh and sandbox.sh.

E2E_FAILURES=0

e2e_fail() { printf '  FAIL: %s\n' "$*" >&2; E2E_FAILURES=$((E2E_FAILURES + 1)); }
e2e_pass() { printf '  ok: %s\n' "$*" >&2; }
e2e_check() {  # e2e_check "what" command...
    local what=$1; shift
    if "$@"; then e2e_pass "$what"; else e2e_fail "$what"; fi
}

# Creates and starts sandbox "<test sandbox>-<name>" and a display when none is set.
# Options go to vt_sandbox_create. Sets E2E_SANDBOX and E2E_C (the Unix path of C:).
e2e_setup() {
    local name=$1; shift
    E2E_SANDBOX="${VT_TEST_SANDBOX:-test}-$name"
    vt_sandbox_create "$E2E_SANDBOX" "$@" || exit 1
    vt_sandbox_start "$E2E_SANDBOX" || exit 1
    E2E_C="$WINEPREFIX/drive_c"
    if [ -z "${DISPLAY:-}" ]; then vt_xvfb_start || exit 1; fi
    cd "$E2E_C" || exit 1
    trap e2e_teardown EXIT
}

e2e_teardown() {
    vt_sandbox_stop "$E2E_SANDBOX"
    vt_xvfb_stop
}

# Installs window-probe.exe and its caption-hook.dll into the sandbox folder $1
# (a C: path, e.g. 'C:\Apps'), for e2e_probe.
e2e_install_probe() {
    local unix; unix=$(e2e_unix_path "$1")
    mkdir -p "$unix"
    cp "$VT_CMAKE_BUILD/tests/window-probe.exe" "$VT_CMAKE_BUILD/tests/caption-hook.dll" "$unix/" || return 1
    E2E_PROBE="$1\window-probe.exe"
}
# Runs the installed window-probe with its arguments; prints its lines (UTF-8, no CR).
e2e_probe() { (cd "$E2E_C" && wine "$E2E_PROBE" "$@" 2>/dev/null | tr -d '\r'); }
# e2e_has_line "<text>" "<line>": the text holds that line exactly.
e2e_has_line() { printf '%s\n' "$1" | grep -qxF -- "$2"; }

# Installs the built Vantrel.exe at the Windows path $1 (e.g. 'C:\Apps\Vantrel.exe').
e2e_install_exe() {
    local unix; unix=$(e2e_unix_path "$1")
    mkdir -p "$(dirname "$unix")"
    cp "$(VT_EXE)" "$unix"
}

# The Unix path of a C: path of the sandbox (case as given).
e2e_unix_path() {
    local p=${1#[Cc]:\\}
    printf '%s/%s' "$E2E_C" "${p//\\//}"
}

# Visible top-level windows whose title starts with "Vantrel", one id per line.
e2e_vantrel_windows() { xdotool search --onlyvisible --name '^Vantrel' 2>/dev/null || true; }

# Waits up to $2 seconds (default 30) until $1 windows are visible.
e2e_wait_windows() {
    local want=$1 limit=${2:-30} i
    for i in $(seq 1 $((limit * 10))); do
        [ "$(e2e_vantrel_windows | wc -l)" -ge "$want" ] && return 0
        sleep 0.1
    done
    return 1
}

# Runs a command with a time limit; prints its exit code (124 on time-out).
e2e_exit_code() {
    local limit=$1; shift
    timeout "$limit" "$@" >/dev/null 2>&1
    echo $?
}

# Closes every Vantrel window and waits for the processes of this sandbox to end.
e2e_close_all() {
    local w
    for w in $(e2e_vantrel_windows); do xdotool windowclose "$w" 2>/dev/null || true; done
    sleep 0.5
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    vt_sandbox_start "$E2E_SANDBOX" >/dev/null 2>&1
}
