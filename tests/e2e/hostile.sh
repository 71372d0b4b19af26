#!/usr/bin/env bash
# Hostile but real environments, end to end: the real Vantrel.exe /auto in a
# sandbox with drives C: and D:, each case with a canary folder outside the
# drives. The cases live in tests/e2e/hostile/*.sh, one file per theme, and are
# sourced in name order; each starts from hostile_reset and checks what went and
# what stayed. VT_HOSTILE_FILTER runs only the case files whose name holds it.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup hostile --drive d
case "$WINEPREFIX" in "$VT_BUILD"/wine-*) ;; *) e2e_fail "sandbox outside build/"; exit 1 ;; esac
H_D="$WINEPREFIX/drive_d"
H_TEMP=$(realpath "$(vt_sandbox_folder TEMP)")
H_APPDATA=$(realpath "$(vt_sandbox_folder APPDATA)")
H_PROFILE=$(realpath "$(vt_sandbox_folder USERPROFILE)")
H_SETTINGS_DIR="$H_APPDATA/Holvane/Vantrel"
H_EXE='C:\Apps\Vantrel\Vantrel.exe'
e2e_install_exe "$H_EXE"
e2e_install_probe 'C:\Apps'
# Outside every drive of the sandbox, inside build/: nothing may ever reach it.
H_CANARY="$WINEPREFIX/canary"

h_old() { mkdir -p "$(dirname "$1")"; printf 'old %s\n' "$1" >"$1"; touch -d '40 days ago' "$1"; }
h_young() { mkdir -p "$(dirname "$1")"; printf 'new %s\n' "$1" >"$1"; touch "$1"; }

# The short 8.3 name of the entry $2 of the Windows folder $1 (no trailing
# backslash) as "dir /x" lists it; empty when the entry has none.
h_short_name() {
    (cd "$E2E_C" && wine cmd /c dir /x "$1\\*" 2>/dev/null) | iconv -f gbk -t utf-8 | tr -d '\r' |
        awk -v long="$2" '{
            n = index($0, "  " long)
            if (n && substr($0, n + 2) == long) { k = split(substr($0, 1, n), f, " "); if (f[k] != "<DIR>") print f[k] }
        }'
}

# Empties drive D:, the user's temporary folder and the settings, and lays the
# canary anew (old junk of every default mask, and a folder tree).
hostile_reset() {
    find "$H_D" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
    find "$H_TEMP" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
    rm -rf "$H_SETTINGS_DIR" "$H_CANARY"
    local f
    for f in outside.tmp outside.bak outside.old Thumbs.db "~\$x.doc" sub/deeper/inner.tmp; do h_old "$H_CANARY/$f"; done
    mkdir -p "$H_CANARY/empty-folder"
    (cd "$H_CANARY" && find . | sort) >"$WINEPREFIX/canary.list"
}

# True when the canary is exactly as hostile_reset laid it.
hostile_canary_intact() { [ "$(cd "$H_CANARY" 2>/dev/null && find . | sort)" = "$(cat "$WINEPREFIX/canary.list")" ]; }

# Writes a settings file with the given inner XML (e.g. excluded folders).
hostile_settings() {
    mkdir -p "$H_SETTINGS_DIR"
    printf '<?xml version="1.0"?>\r\n<VantrelSettings>%s</VantrelSettings>\r\n' "$1" >"$H_SETTINGS_DIR/Vantrel.cfg"
}

# Runs Vantrel.exe /auto with environment changes NAME=value (NAME= removes it),
# at most H_AUTO_LIMIT seconds (180). Sets H_RC (the exit code, or "timeout") and H_CAPTIONS.
hostile_auto() {
    local out
    out=$(e2e_probe captions "${H_AUTO_LIMIT:-180}" "$@" "$H_EXE" /auto)
    H_RC=$(printf '%s\n' "$out" | sed -n 's/^exit_code=//p')
    H_CAPTIONS=$(printf '%s\n' "$out" | sed -n 's/^caption=//p')
    [ -n "$H_RC" ] || H_RC="none ($out)"
}

# The files of the sandbox's drives, for before/after comparisons.
hostile_snapshot() { (cd "$WINEPREFIX" && find drive_c drive_d \( -type f -o -type l \) ! -path '*/Holvane/Vantrel/*' | sort); }

for case_file in "$VT_ROOT"/tests/e2e/hostile/*.sh; do
    [ -e "$case_file" ] || continue
    if [ -n "${VT_HOSTILE_FILTER:-}" ] && [[ "$(basename "$case_file")" != *"$VT_HOSTILE_FILTER"* ]]; then continue; fi
    vt_say "hostile: $(basename "$case_file" .sh)"
    # shellcheck disable=SC1090
    source "$case_file"
done

[ "$E2E_FAILURES" -eq 0 ]
