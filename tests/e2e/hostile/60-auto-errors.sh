# An unattended /auto never waits for a person: a settings file it cannot use,
# one that declares a document type, a settings file it cannot save and an
# action that raises are each written to Vantrel.log beside the settings file,
# the run goes on and ends by itself, and the exit code says that something failed.
# A run that showed an error box would wait until the time limit.
H_LOG="$H_SETTINGS_DIR/Vantrel.log"
H_CFG="$H_SETTINGS_DIR/Vantrel.cfg"
a60_auto() { H_AUTO_LIMIT=90 hostile_auto "$@"; }
# The log holds every text given.
a60_logged() {
    local text
    for text in "$@"; do grep -qF -- "$text" "$H_LOG" 2>/dev/null || return 1; done
}
a60_error_lines() { grep -cF '  错误' "$H_LOG" 2>/dev/null || true; }
# The log's last line matches the extended expression $1.
a60_last_line() { tail -n 1 "$H_LOG" 2>/dev/null | tr -d '\r' | grep -qE -- "$1"; }
# Every line starts with a local time stamp and two blanks.
a60_stamped() {
    [ -s "$H_LOG" ] && ! grep -qvE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}  [^ ]' "$H_LOG"
}
a60_whole_settings() {
    [ -f "$H_CFG" ] && tail -c 20 "$H_CFG" | grep -q '</VantrelSettings>' && grep -q '<CleanupItem ' "$H_CFG" &&
        ! grep -q 'DOCTYPE' "$H_CFG"
}

# --- A settings file that is not well-formed ---
hostile_reset
hostile_settings '<CleanupItems><CleanupItem Name="x" Enabled="True"/>'
cp "$H_CFG" "$WINEPREFIX/a60-broken.cfg"
h_old "$H_D/work/draft.bak"
a60_auto
e2e_check "unreadable settings: /auto ends by itself with 1 (got $H_RC)" [ "$H_RC" = 1 ]
e2e_check "unreadable settings: the log says why and where the file went" \
    a60_logged '错误 (读取设置): 设置文件 ' 'Vantrel.cfg.unreadable'
e2e_check "unreadable settings: kept byte for byte" cmp -s "$WINEPREFIX/a60-broken.cfg" "$H_CFG.unreadable"
e2e_check "unreadable settings: nothing cleaned (the defaults would ignore the user's choices)" \
    test -e "$H_D/work/draft.bak"
e2e_check "unreadable settings: the log says nothing was cleaned" a60_logged '设置文件无法读取, 自动清理没有清理任何内容。'
e2e_check "unreadable settings: the file left for the user, byte for byte" cmp -s "$WINEPREFIX/a60-broken.cfg" "$H_CFG"
e2e_check "unreadable settings: the run's line tells it failed" a60_logged '。运行中出现了错误 (退出代码 1)。'
e2e_check "unreadable settings: every log line has its time" a60_stamped
e2e_check "unreadable settings: the canary stays" hostile_canary_intact

# --- A well-formed file with a document type: unreadable the same way; once the
# user has removed it, the next run saves a whole file ---
hostile_reset
mkdir -p "$H_SETTINGS_DIR"
printf '<?xml version="1.0"?>\r\n<!DOCTYPE VantrelSettings [<!ENTITY q "Quick">]>\r\n<VantrelSettings><Options ScanMode="&q;"/></VantrelSettings>\r\n' \
    >"$H_CFG"
cp "$H_CFG" "$WINEPREFIX/a60-doctype.cfg"
a60_auto
e2e_check "document type: /auto ends by itself with 1 (got $H_RC)" [ "$H_RC" = 1 ]
e2e_check "document type: the log says why" a60_logged '文档类型声明'
e2e_check "document type: kept byte for byte as .unreadable" cmp -s "$WINEPREFIX/a60-doctype.cfg" "$H_CFG.unreadable"
e2e_check "document type: left as it was" cmp -s "$WINEPREFIX/a60-doctype.cfg" "$H_CFG"
# The user removes the file; the next run starts from the defaults and saves them.
rm -f "$H_CFG"
errors_before=$(a60_error_lines)
h_old "$H_D/work/one.bak"
h_old "$H_D/work/two.tmp"
two_files=$(( $(stat -c %s "$H_D/work/one.bak") + $(stat -c %s "$H_D/work/two.tmp") ))
a60_auto
e2e_check "document type, next run: ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "document type, next run: no new error in the log" [ "$(a60_error_lines)" = "$errors_before" ]
e2e_check "document type, next run: saved again" a60_whole_settings
e2e_check "document type, next run: its line counts the two files deleted, no failure ($(tail -n 1 "$H_LOG" 2>/dev/null))" \
    a60_last_line "自动清理结束: 删除了 2 个文件, 释放了 $two_files 字节, 可用空间增加了 [0-9]+ 字节( \\([^)]+\\))?。\$"
e2e_check "document type, next run: the two files are gone" test ! -e "$H_D/work/one.bak" -a ! -e "$H_D/work/two.tmp"

# --- Settings that cannot be saved: a folder where the file belongs ---
hostile_reset
mkdir -p "$H_CFG"
a60_auto
e2e_check "settings path is a folder: /auto ends by itself with 1 (got $H_RC)" [ "$H_RC" = 1 ]
e2e_check "settings path is a folder: the log says it could not save" a60_logged '错误 (保存设置): 无法保存设置文件 '
e2e_check "settings path is a folder: the folder stays, nothing left over" test -d "$H_CFG" -a ! -e "$H_CFG.new"
e2e_check "settings path is a folder: the cleanup itself finished" a60_logged '自动清理结束: 删除了 '

# --- An action that raises: Outlook (the tests' stand-in) refuses to delete ---
hostile_reset
A60_CLSID='{7D3C41E2-5A8B-4F06-9C1D-B2E4A6F80C35}'  # tests/helpers/FakeOutlookIds.h
A60_MAILBOX="$E2E_C/Apps/outlook-mailbox.txt"
cp "$VT_CMAKE_BUILD/tests/fake-outlook.exe" "$E2E_C/Apps/fake-outlook.exe"
printf '3\r\nrefuse\r\n' >"$A60_MAILBOX"
rm -f "$A60_MAILBOX.log"
a60_reg() { (cd "$E2E_C" && wine reg "$@" >/dev/null 2>&1); }
# Each step checked: a registration that did not take would only show as an action not offered.
e2e_check "raising action: the stand-in's Outlook key is written" \
    a60_reg add 'HKCU\Software\Microsoft\Office\11.0\Outlook' /f
e2e_check "raising action: the stand-in's program id is written" \
    a60_reg add 'HKLM\Software\Classes\Outlook.Application\CLSID' /ve /d "$A60_CLSID" /f
e2e_check "raising action: the stand-in's server is written" \
    a60_reg add "HKLM\\Software\\Classes\\CLSID\\$A60_CLSID\\LocalServer32" /ve \
    /d '"C:\Apps\fake-outlook.exe" "C:\Apps\outlook-mailbox.txt"' /f
hostile_settings '<CleanupItems><CleanupItem Name="清空 Outlook 已删除对象的文件" Enabled="True"/></CleanupItems>'
# Taken by the Windows temporary folder's action, which runs after Outlook's.
h_old "$E2E_C/windows/temp/a60-after-outlook.dat"
h_old "$H_D/work/before-outlook.bak"
a60_auto
e2e_check "raising action: /auto ends by itself with 1 (got $H_RC)" [ "$H_RC" = 1 ]
e2e_check "raising action: the stand-in Outlook was started" test -e "$A60_MAILBOX.log"
e2e_check "raising action: Outlook was asked to delete" grep -q '^Remove ' "$A60_MAILBOX.log"
e2e_check "raising action: logged with the action's name and Outlook's words" \
    a60_logged '错误 (清理操作 "清空 Outlook 已删除对象的文件"): ' 'The item cannot be deleted.'
e2e_check "raising action: the actions before and after it ran" \
    test ! -e "$H_D/work/before-outlook.bak" -a ! -e "$E2E_C/windows/temp/a60-after-outlook.dat"
e2e_check "raising action: the pass ended" a60_logged '自动清理结束: 删除了 '
e2e_check "raising action: the settings were saved" a60_whole_settings
e2e_check "raising action: the canary stays" hostile_canary_intact
# The whole version key: the temp-folder cases start from a sandbox without it.
a60_reg delete 'HKCU\Software\Microsoft\Office\11.0' /f
a60_reg delete 'HKLM\Software\Classes\Outlook.Application' /f
a60_reg delete "HKLM\\Software\\Classes\\CLSID\\$A60_CLSID" /f
rm -f "$E2E_C/Apps/fake-outlook.exe" "$A60_MAILBOX" "$A60_MAILBOX.log"
