#!/usr/bin/env bash
# Languages end to end: `/auto` under an English locale logs in English and
# keeps the ticks stored by their Chinese names (a file written in English opens
# unchanged in Chinese); under the Chinese locale it logs in Chinese as always;
# `/lang:en` and `/lang:zh` decide one run, the stored choice the runs without.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

vt_install_locale
e2e_setup lang --drive d
D="$WINEPREFIX/drive_d"
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
rm -rf "$D"/* "$APPDATA_DIR/Holvane"
cfg="$APPDATA_DIR/Holvane/Vantrel/Vantrel.cfg"
log="$APPDATA_DIR/Holvane/Vantrel/Vantrel.log"

old() { mkdir -p "$(dirname "$1")"; printf 'junk %s\n' "$1" >"$1"; touch -d '40 days ago' "$1"; }
# Backup files stay unticked, by the action's Chinese name; temporary files go.
BACKUP='删除备份文件 (*.bak, *.old, *.000)'
mkdir -p "$(dirname "$cfg")"
printf '<?xml version="1.0"?>\r\n<VantrelSettings><CleanupItems><CleanupItem Name="%s" Enabled="False"/></CleanupItems></VantrelSettings>\r\n' \
    "$BACKUP" >"$cfg"

e2e_install_exe 'C:\Apps\Vantrel.exe'
run() {  # run <locale> [arguments]: one /auto run; prints its exit code
    local locale=$1; shift
    rm -f "$log"
    LANG=$locale LC_ALL=$locale timeout 180 wine 'C:\Apps\Vantrel.exe' /auto "$@" >/dev/null 2>&1
    echo $?
}
last_line() { tail -n 1 "$log" 2>/dev/null | tr -d '\r'; }
has_chinese() { grep -qP '[\x{4e00}-\x{9fff}]' "$1"; }

old "$D/Projects/report.doc.bak"; old "$D/work/build.tmp"
rc=$(run en_US.UTF-8)
e2e_check "English locale: /auto ends with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "English locale: the log ends in English ($(last_line))" \
    grep -qE '^Automatic cleanup finished: deleted [0-9]+ files?, freed [0-9]+ bytes?' <<<"$(last_line | cut -c22-)"
e2e_check "English locale: no Chinese in the log" bash -c "! grep -qP '[\x{4e00}-\x{9fff}]' '$log'"
e2e_check "English locale: the backup action stayed unticked" test -e "$D/Projects/report.doc.bak"
e2e_check "English locale: temporary files went" test ! -e "$D/work/build.tmp"
e2e_check "settings written in English keep the Chinese key and its tick" \
    grep -qF "<CleanupItem Name=\"$BACKUP\" Enabled=\"False\"/>" "$cfg"
e2e_check "settings written in English name no action in English" bash -c "! grep -q 'Name=\"Delete\\|Name=\"Clear\\|Name=\"Empty the' '$cfg'"
e2e_check "settings written in English store no language" bash -c "! grep -q 'Language=' '$cfg'"

old "$D/work/build.tmp"
rc=$(run zh_CN.UTF-8)
e2e_check "Chinese locale: /auto ends with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "Chinese locale: the log ends in Chinese ($(last_line | cut -c22-))" \
    grep -qE '^自动清理结束: 删除了 [0-9]+ 个文件' <<<"$(last_line | cut -c22-)"
e2e_check "Chinese locale: the tick written in English is kept" test -e "$D/Projects/report.doc.bak"

rc=$(run zh_CN.UTF-8 /lang:en)
e2e_check "/lang:en under the Chinese locale logs in English" grep -q '^Automatic cleanup finished' <<<"$(last_line | cut -c22-)"
# The stored choice holds for runs without a switch; the switch still wins.
sed -i 's/<Options /<Options Language="en" /' "$cfg"
e2e_check "the language is stored as an attribute of Options" grep -q '<Options Language="en"' "$cfg"
rc=$(run zh_CN.UTF-8)
e2e_check "a stored English choice holds under the Chinese locale" grep -q '^Automatic cleanup finished' <<<"$(last_line | cut -c22-)"
e2e_check "the stored choice survives the run" grep -q 'Language="en"' "$cfg"
rc=$(run en_US.UTF-8 -LANG:ZH)
e2e_check "-LANG:ZH wins over the stored choice" grep -q '^自动清理结束' <<<"$(last_line | cut -c22-)"

[ "$E2E_FAILURES" -eq 0 ]
