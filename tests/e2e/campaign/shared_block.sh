#!/usr/bin/env bash
# The single-instance shared block written by someone else: another process
# creates "JCL<EXE PATH>_Map" (and the lock's block) first and fills it with a
# huge count, garbage, or makes it smaller than the program's block. Vantrel
# /auto must neither crash nor hang nor read past the block: it ends with exit
# code 0, and it cleans exactly when the planted maximum and count let it run.
set -u
source "$(dirname "$0")/../../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup campaign --drive d
helper_unix="$VT_CMAKE_BUILD/tests/campaign-helper.exe"
[ -f "$helper_unix" ] || vt_build campaign_helper || { e2e_fail "campaign-helper.exe not built"; exit 1; }
cp "$helper_unix" "$E2E_C/campaign-helper.exe"
e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'
D="$WINEPREFIX/drive_d"
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
case "$D:$E2E_C" in "$VT_BUILD"/wine-*:"$VT_BUILD"/wine-*) ;; *) e2e_fail "the sandbox is not under $VT_BUILD"; exit 1 ;; esac
mkdir -p "$APPDATA_DIR/Holvane/Vantrel"
printf '<?xml version="1.0"?>\r\n<VantrelSettings><Options FileProtection="None" ScanMode="Complete"/></VantrelSettings>\r\n' \
    >"$APPDATA_DIR/Holvane/Vantrel/Vantrel.cfg"

id='JCLC:_PROGRAM FILES_VANTREL_VANTREL.EXE'
# pattern, block name, size, expectation (run: cleans; refused: leaves the sentinel; either: by the planted header)
cases=(
  "huge-count|${id}_Map|1032|refused"
  "huge-both|${id}_Map|1032|run"
  "ones|${id}_Map|1032|run"
  "random|${id}_Map|1032|header"
  "small|${id}_Map|8|any"
  "random|Optex_MMF_${id}_Otx|12|run"
  "ones|Optex_MMF_${id}_Otx|12|run"
  "small|Optex_MMF_${id}_Otx|4|any"
)
for c in "${cases[@]}"; do
    IFS='|' read -r pattern name size expect <<<"$c"
    rm -f "$E2E_C"/campaign-block.* "$D/sentinel.bak"
    printf 'old\n' >"$D/sentinel.bak"; touch -d '40 days ago' "$D/sentinel.bak"
    printf 'map\t%s\t%s\t%s\n' "$name" "$size" "$pattern" >"$E2E_C/campaign-block.cmd"
    wine 'C:\campaign-helper.exe' 'C:\campaign-block.cmd' 'C:\campaign-block.ready' 'C:\campaign-block.stop' \
        >/dev/null 2>&1 &
    helper=$!
    for _ in $(seq 1 100); do [ -e "$E2E_C/campaign-block.ready" ] && break; sleep 0.1; done
    header=""
    header=$(grep -o '^block [0-9]* [0-9]*' "$E2E_C/campaign-block.ready.log" 2>/dev/null)
    rc=$(e2e_exit_code 60 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
    touch "$E2E_C/campaign-block.stop"; wait "$helper"
    what="$pattern block $name ($size bytes${header:+, planted max/count ${header#block }})"
    if [ "$rc" = 124 ]; then
        e2e_fail "$what: Vantrel hung (a message box or a wait without end)"
        wineserver -k; wineserver -w; vt_sandbox_start "$E2E_SANDBOX" >/dev/null 2>&1
        continue
    fi
    e2e_check "$what: exit code 0 (got $rc)" [ "$rc" = 0 ]
    if [ "$expect" = header ]; then
        read -r _ max count <<<"$header"
        [ "$max" = 0 ] && max=1
        [ "$count" -gt 257 ] && count=257
        if [ "$count" -ge "$max" ]; then expect=refused; else expect=run; fi
    fi
    case "$expect" in
        run) e2e_check "$what: runs and cleans" [ ! -e "$D/sentinel.bak" ] ;;
        refused) e2e_check "$what: refused as a second instance, nothing cleaned" [ -e "$D/sentinel.bak" ] ;;
        *) if [ -e "$D/sentinel.bak" ]; then e2e_pass "$what: refused"; else e2e_pass "$what: ran"; fi ;;
    esac
done
rm -f "$E2E_C"/campaign-block.* "$D/sentinel.bak"
[ "$E2E_FAILURES" -eq 0 ]
