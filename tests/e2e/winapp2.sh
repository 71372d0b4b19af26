#!/usr/bin/env bash
# winapp2.ini end to end: a sandbox with a few "installed" applications (registry
# keys and folders), a winapp2.ini beside Vantrel.exe and one in the settings
# folder, ticks from the settings file. `Vantrel /auto` deletes exactly what the
# ticked, detected entries say: files, REMOVESELF and RECURSE trees, RegKey keys
# and values. Excluded, protected and recent files stay with their folders;
# refused and undetected entries touch nothing; nothing outside the sandbox moves.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup winapp2
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
LOCAL_DIR=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)")
PROGRAMS_DIR="$E2E_C/Program Files"
[ -d "$APPDATA_DIR" ] && [ -d "$LOCAL_DIR" ] || { e2e_fail "no profile folders in the sandbox"; exit 1; }
SETTINGS_DIR="$APPDATA_DIR/Holvane/Vantrel"
rm -rf "$SETTINGS_DIR" "$LOCAL_DIR"/{ChatApp,Launcher,Player,Editor,Broken,Quiet} "$APPDATA_DIR"/ChatApp \
    "$PROGRAMS_DIR"/{Launcher,Vantrel}
wine reg delete 'HKCU\Software\VtChatApp' /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\VtBroken' /f >/dev/null 2>&1

old() { mkdir -p "$(dirname "$1")"; printf 'data %s\n' "$1" >"$1"; touch -d '40 days ago' "$1"; }
young() { mkdir -p "$(dirname "$1")"; printf 'in use %s\n' "$1" >"$1"; touch "$1"; }

# --- The applications ---
# ChatApp: found by its registry key.
wine reg add 'HKCU\Software\VtChatApp' /v LastFile /d 'C:\x' /f >/dev/null
wine reg add 'HKCU\Software\VtChatApp' /v Language /d zh-CN /f >/dev/null
wine reg add 'HKCU\Software\VtChatApp\Recent' /v 1 /d a /f >/dev/null
wine reg add 'HKCU\Software\VtChatApp\Recent\Files' /v 1 /d b /f >/dev/null
wine reg add 'HKCU\Software\VtChatApp\Recent\Pinned' /v 1 /d c /f >/dev/null
wine reg add 'HKCU\Software\VtBroken' /v Keep /d x /f >/dev/null
# Launcher: found by its program file, under Program Files.
old "$PROGRAMS_DIR/Launcher/launcher.exe"

GO=(
  "$LOCAL_DIR/ChatApp/Cache/data_0"
  "$LOCAL_DIR/ChatApp/Cache/f_000001"
  "$LOCAL_DIR/ChatApp/Cache/Code Cache/js/index"
  "$APPDATA_DIR/ChatApp/logs/chat.log"
  "$APPDATA_DIR/ChatApp/logs/2024/01.log"
  "$PROGRAMS_DIR/Launcher/logs/update.log"
  "$LOCAL_DIR/Launcher/Game1/crash/1.dmp"
  "$LOCAL_DIR/Launcher/Game2/crash/2.dmp"
  "$LOCAL_DIR/Player/Thumbs/a/1.jpg"
  "$LOCAL_DIR/Player/Thumbs/b/c/2.jpg"
  "$LOCAL_DIR/Player/Covers/x/3.jpg"
)
STAY=(
  "$APPDATA_DIR/ChatApp/logs/keep.log"             # ExcludeKey FILE
  "$APPDATA_DIR/ChatApp/logs/chat.txt"             # another pattern
  "$LOCAL_DIR/ChatApp/Cache/Pinned/p.dat"           # ExcludeKey PATH
  "$PROGRAMS_DIR/Launcher/launcher.exe"
  "$PROGRAMS_DIR/Launcher/logs/old/older.log"       # no RECURSE
  "$LOCAL_DIR/Launcher/Game1/crash/sub/3.dmp"       # the wildcard is one folder
  "$LOCAL_DIR/Player/Covers/keep/INSTALL.LOG"       # built-in protection
  "$LOCAL_DIR/Player/Covers/excluded/e.jpg"         # the user's excluded folder
  "$LOCAL_DIR/Editor/cache/e.dat"                   # not installed
  "$LOCAL_DIR/Broken/b.dat"                         # refused entry
  "$LOCAL_DIR/Quiet/q.dat"                          # detected, not ticked
)
for f in "${GO[@]}" "${STAY[@]}"; do old "$f"; done
young "$LOCAL_DIR/Player/Recent/now.jpg"          # used just now
mkdir -p "$LOCAL_DIR/Player/Thumbs/empty/deeper" "$LOCAL_DIR/Player/Covers/excluded/empty"

# --- The rules: UTF-8 with BOM and CRLF beside the program ---
e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'
{
  printf '\xEF\xBB\xBF; rules beside the program\r\n'
  printf '[ChatApp *]\r\nLangSecRef=3022\r\nDetect=HKCU\\Software\\VtChatApp\r\n'
  printf 'FileKey1=%%LocalAppData%%\\ChatApp\\Cache|*.*|REMOVESELF\r\n'
  printf 'FileKey2=%%AppData%%\\ChatApp\\logs|*.log|RECURSE\r\n'
  printf 'ExcludeKey1=FILE|%%AppData%%\\ChatApp\\logs\\|keep.log\r\n'
  printf 'ExcludeKey2=PATH|%%LocalAppData%%\\ChatApp\\Cache\\Pinned\\|*.*\r\n'
  printf 'ExcludeKey3=REG|HKCU\\Software\\VtChatApp\\Recent\\Pinned\r\n'
  printf 'RegKey1=HKCU\\Software\\VtChatApp\\Recent\r\n'
  printf 'RegKey2=HKCU\\Software\\VtChatApp|LastFile\r\n'
  printf '[Editor *]\r\nLangSecRef=3021\r\nDetect=HKCU\\Software\\VtEditorNotInstalled\r\n'
  printf 'FileKey1=%%LocalAppData%%\\Editor\\cache|*.*\r\n'
  printf '[Launcher *]\r\nLangSecRef=3024\r\nDetectFile=%%ProgramFiles%%\\Launcher\\launcher.exe\r\n'
  printf 'FileKey1=%%LocalAppData%%\\Broken|*.dat\r\n'     # replaced by the settings folder's entry
  printf 'a line nobody can read\r\n'
} >"$E2E_C/Program Files/Vantrel/winapp2.ini"
# --- UTF-16LE with BOM and LF in the settings folder: its Launcher wins ---
mkdir -p "$SETTINGS_DIR"
{
  printf '[launcher *]\nLangSecRef=3024\nDetectFile=%%ProgramFiles%%\\Launcher\\launcher.exe\n'
  printf 'FileKey1=%%ProgramFiles%%\\Launcher\\logs|*.log\n'
  printf 'FileKey2=%%LocalAppData%%\\Launcher\\*\\crash|*.dmp\n'
  printf '[Player *]\nSection=Media\n'
  printf 'FileKey1=%%LocalAppData%%\\Player\\Thumbs|*.*|REMOVESELF\n'
  printf 'FileKey2=%%LocalAppData%%\\Player\\Covers|*.*|REMOVESELF\n'
  printf 'FileKey3=%%LocalAppData%%\\Player\\Recent|*.jpg|REMOVESELF\n'
  printf '[Broken *]\nFileKey1=%%LocalAppData%%\\Broken|*.dat\nFileKey2=%%AppData%%|*.*|RECURSE\n'
  printf 'RegKey1=HKCU\\Software\\VtBroken\n'
  printf '[Quiet *]\nFileKey1=%%LocalAppData%%\\Quiet|*.dat\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xFF\xFE'; cat; } >"$SETTINGS_DIR/WinApp2.ini"

# Ticks through the settings file: the row, and the entries by name. Only the
# winapp2.ini row runs; the Editor tick must survive its entry not being offered.
ROW_NAME='清理其他应用程序 (winapp2.ini)'
printf '<?xml version="1.0"?>\r\n<VantrelSettings><CleanupItems>' >"$SETTINGS_DIR/Vantrel.cfg"
printf '<CleanupItem Name="%s" Enabled="True"/>' "$ROW_NAME" >>"$SETTINGS_DIR/Vantrel.cfg"
printf '</CleanupItems><ExcludeDirectories><ExcludeDirectory Name="%s"/></ExcludeDirectories>' \
    "$(winepath -w "$LOCAL_DIR/Player/Covers/excluded" 2>/dev/null)" >>"$SETTINGS_DIR/Vantrel.cfg"
printf '<Winapp2Items>' >>"$SETTINGS_DIR/Vantrel.cfg"
for name in 'ChatApp *' 'Launcher *' 'Player *' 'Broken *' 'Editor *'; do
    printf '<Winapp2Item Name="%s" Enabled="True"/>' "$name" >>"$SETTINGS_DIR/Vantrel.cfg"
done
printf '</Winapp2Items></VantrelSettings>\r\n' >>"$SETTINGS_DIR/Vantrel.cfg"

CANARY=$(mktemp -d "$VT_BUILD/canary.XXXXXX")
old "$CANARY/ChatApp/Cache/data_0"; old "$CANARY/outside.log"

snapshot() { (cd "$WINEPREFIX" && find drive_c -type f ! -path '*/Holvane/Vantrel/*' | sort); }
snapshot >"$WINEPREFIX/before.txt"
rc=$(e2e_exit_code 180 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "/auto ends by itself with exit code 0 (got $rc)" [ "$rc" = 0 ]
snapshot >"$WINEPREFIX/after.txt"

for f in "${GO[@]}"; do e2e_check "deleted: ${f#$WINEPREFIX/}" [ ! -e "$f" ]; done
for f in "${STAY[@]}"; do e2e_check "kept: ${f#$WINEPREFIX/}" [ -e "$f" ]; done
e2e_check "kept: the file used just now" [ -e "$LOCAL_DIR/Player/Recent/now.jpg" ]
e2e_check "REMOVESELF: the emptied Thumbs tree is gone" [ ! -e "$LOCAL_DIR/Player/Thumbs" ]
e2e_check "REMOVESELF: ChatApp's emptied Code Cache is gone" [ ! -e "$LOCAL_DIR/ChatApp/Cache/Code Cache" ]
e2e_check "REMOVESELF: a folder holding an excluded file stays" [ -d "$LOCAL_DIR/ChatApp/Cache/Pinned" ]
e2e_check "REMOVESELF: Covers stays around the protected and excluded folders" \
    [ -d "$LOCAL_DIR/Player/Covers/keep" -a -d "$LOCAL_DIR/Player/Covers/excluded/empty" -a ! -e "$LOCAL_DIR/Player/Covers/x" ]
e2e_check "REMOVESELF: a folder with a recent file stays" [ -d "$LOCAL_DIR/Player/Recent" ]

reg_has() { wine reg query "$@" >/dev/null 2>&1; }
e2e_check "RegKey: the Recent tree is gone" bash -c "! wine reg query 'HKCU\\Software\\VtChatApp\\Recent\\Files' >/dev/null 2>&1"
e2e_check "RegKey: the excluded Pinned key stays" reg_has 'HKCU\Software\VtChatApp\Recent\Pinned' /v 1
e2e_check "RegKey: the value LastFile is gone" bash -c "! wine reg query 'HKCU\\Software\\VtChatApp' /v LastFile >/dev/null 2>&1"
e2e_check "RegKey: its neighbour Language stays" reg_has 'HKCU\Software\VtChatApp' /v Language
e2e_check "the refused entry's key stays" reg_has 'HKCU\Software\VtBroken' /v Keep

log="$SETTINGS_DIR/Vantrel.log"
e2e_check "the log tells what was read and detected" \
    grep -qF 'winapp2.ini: 读取了 6 个条目' "$log"
e2e_check "the log counts 5 detected entries, 1 refused, 3 ticked that run" \
    grep -qF '检测到 5 个应用程序, 其中 1 个已拒绝, 已选 3 项。' "$log"
e2e_check "the log gives the refusal" grep -qF 'winapp2.ini "Broken" 已拒绝: FileKey2 会清理受保护的文件夹' "$log"
e2e_check "the log counts the unreadable line" grep -qF 'winapp2.ini: 跳过了 1 行无法读取的内容。' "$log"
e2e_check "the log has ChatApp's line" \
    grep -qF 'winapp2.ini "ChatApp": 删除了 5 个文件' "$log"
e2e_check "the log has Launcher's line" grep -qF 'winapp2.ini "launcher": 删除了 3 个文件' "$log"
e2e_check "the log has Player's line" grep -qF 'winapp2.ini "Player": 删除了 3 个文件' "$log"
lines=$(grep -c 'winapp2.ini "[A-Za-z]*": 删除了' "$log")
e2e_check "one line per entry that ran ($lines)" [ "$lines" = 3 ]

gone=$(comm -23 "$WINEPREFIX/before.txt" "$WINEPREFIX/after.txt")
unexpected=$(printf '%s\n' "$gone" | grep -v -e '^$' | grep -v -F -f <(printf '%s\n' "${GO[@]#$WINEPREFIX/}") |
    grep -v -e '/[Tt]emp/' || true)
e2e_check "nothing else deleted outside the temporary folders${unexpected:+: $unexpected}" [ -z "$unexpected" ]
e2e_check "canaries outside the sandbox untouched" test -e "$CANARY/ChatApp/Cache/data_0" -a -e "$CANARY/outside.log"
rm -rf "$CANARY"

cfg="$SETTINGS_DIR/Vantrel.cfg"
e2e_check "ticks saved by entry name" grep -qF '<Winapp2Item Name="ChatApp *" Enabled="True"/>' "$cfg"
e2e_check "the tick of the entry not offered is kept" grep -qF '<Winapp2Item Name="Editor *" Enabled="True"/>' "$cfg"
e2e_check "the settings folder's spelling of Launcher is saved" grep -qF '<Winapp2Item Name="launcher *" Enabled="True"/>' "$cfg"

e2e_teardown
[ "$E2E_FAILURES" -eq 0 ]
