#!/usr/bin/env bash
# The community's real winapp2.ini, its detection keys taken out so every entry
# is offered, in one `Vantrel /auto` run in a sandbox: every entry is either
# offered or refused with its reason (the counts by reason are printed), an
# entry with one faulty key among good ones runs without it (Dropbox), QQ's
# chat folder carries the user-folder warning. Beside it a few hand-made
# entries, ticked, with the inputs that used to delete more than they say:
# they delete exactly what they say, or are refused and touch nothing.
# Skips (passing) when the real file is not there (VT_WINAPP2_INI).
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

REAL=$(vt_winapp2_ini) || { vt_say "no real winapp2.ini (set VT_WINAPP2_INI): skipped"; exit 0; }

e2e_setup winapp2real
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
LOCAL_DIR=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)")
[ -d "$APPDATA_DIR" ] && [ -d "$LOCAL_DIR" ] || { e2e_fail "no profile folders in the sandbox"; exit 1; }
PROFILE_DIR=$(dirname "$(dirname "$APPDATA_DIR")")
SETTINGS_DIR="$APPDATA_DIR/Holvane/Vantrel"
rm -rf "$SETTINGS_DIR" "$LOCAL_DIR"/Vt* "$APPDATA_DIR"/Vt* "$APPDATA_DIR/Mozilla" "$E2E_C/Program Files/Vantrel"
mkdir -p "$SETTINGS_DIR"

reg_has() { wine reg query "$@" >/dev/null 2>&1; }
old() { mkdir -p "$(dirname "$1")"; printf 'data %s\n' "$1" >"$1"; touch -d '40 days ago' "$1"; }

# --- The real file beside the program, without Detect*, DetectOS and SpecialDetect ---
e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'
grep -v -i -E '^(Detect|SpecialDetect)' "$REAL" >"$E2E_C/Program Files/Vantrel/winapp2.ini"
real_entries=$(grep -c '^\[' "$E2E_C/Program Files/Vantrel/winapp2.ini")

# --- Hand-made entries in the settings folder, every one ticked ---
# Their files have names no action of the list takes (.vtk, .vtt): the list's
# own actions run in /auto too.
old "$APPDATA_DIR/VtOld/a.dat"; old "$PROFILE_DIR/VtOld.dat"
for f in keep.ini keep.vtk go.log; do old "$LOCAL_DIR/VtSplit/$f"; done
for f in .hidden a.txt; do old "$LOCAL_DIR/VtDots/$f"; done
for f in README a.txt; do old "$LOCAL_DIR/VtNoExt/$f"; done
old "$LOCAL_DIR/VtSlow/a.vtt"
old "$LOCAL_DIR/VtMozilla/a.vtt"; mkdir -p "$APPDATA_DIR/Mozilla/Firefox"
old "$LOCAL_DIR/VtExactOs/a.vtt"; old "$LOCAL_DIR/VtOtherOs/a.vtt"
wine reg add 'HKCU\Environment' /v VtProbe /d kept /f >/dev/null
wine reg add 'HKCU\Control Panel\Colors' /v VtProbe /d '1 2 3' /f >/dev/null
many=$(printf '%%ProgramFiles%%%.0s' $(seq 1 20))
ver=$(wine cmd /c ver 2>/dev/null | tr -d '\r' | grep -o '[0-9]*\.[0-9]*' | head -n 1)
{
  printf '[VtEveryName1 *]\nFileKey1=%%AppData%%|?*\n'
  printf '[VtEveryName2 *]\nFileKey1=%%UserProfile%%|*?\n'
  printf '[VtEveryName3 *]\nFileKey1=%%ProgramData%%|?*\n'
  printf '[VtControlPanel *]\nRegKey1=HKCU\\Control Panel\n'
  printf '[VtEnvironment *]\nRegKey1=HKCU\\Environment|TEMP\nRegKey2=HKCU\\Environment|TMP\nRegKey3=HKCU\\Environment|VtProbe\n'
  printf '[VtSplit *]\nFileKey1=%%LocalAppData%%\\VtSplit|*|RECURSE\nExcludeKey1=FILE|%%LocalAppData%%\\VtSplit\\|*.ini;*.vtk\n'
  printf '[VtDots *]\nFileKey1=%%LocalAppData%%\\VtDots|.*\nFileKey2=%%LocalAppData%%\\VtNoExt|*.\n'
  printf '[VtSlow *]\nFileKey1=%s\\x|*.vtt\nFileKey2=%%LocalAppData%%\\VtSlow|*.vtt\n' "$many"
  printf '[VtMozilla *]\nSpecialDetect=DET_MOZILLA\nFileKey1=%%LocalAppData%%\\VtMozilla|*.vtt\n'
  printf '[VtExactOs *]\nDetectOS=%s\nFileKey1=%%LocalAppData%%\\VtExactOs|*.vtt\n' "$ver"
  printf '[VtOtherOs *]\nDetectOS=5.1\nFileKey1=%%LocalAppData%%\\VtOtherOs|*.vtt\n'
  printf '[VtUnknownSpecial *]\nSpecialDetect=DET_NOBODY\nFileKey1=%%LocalAppData%%\\VtOtherOs|*.vtt\n'
  printf '[VtUnknownAgain *]\nSpecialDetect=DET_NOBODY\nFileKey1=%%LocalAppData%%\\VtOtherOs|*.vtt\n'
} >"$SETTINGS_DIR/winapp2.ini"
own_entries=$(grep -c '^\[' "$SETTINGS_DIR/winapp2.ini")

ROW_NAME='清理其他应用程序 (winapp2.ini)'
{
  printf '<?xml version="1.0"?>\r\n<VantrelSettings><CleanupItems>'
  printf '<CleanupItem Name="%s" Enabled="True"/></CleanupItems><Winapp2Items>' "$ROW_NAME"
  for name in $(grep -o '^\[Vt[A-Za-z0-9]* \*\]' "$SETTINGS_DIR/winapp2.ini" | tr -d '[]*'); do
      printf '<Winapp2Item Name="%s *" Enabled="True"/>' "$name"
  done
  printf '</Winapp2Items></VantrelSettings>\r\n'
} >"$SETTINGS_DIR/Vantrel.cfg"

started=$(date +%s)
rc=$(e2e_exit_code 120 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
took=$(( $(date +%s) - started ))
e2e_check "/auto ends by itself with exit code 0 in ${took}s (got $rc)" [ "$rc" = 0 ]
log="$SETTINGS_DIR/Vantrel.log"
[ -f "$log" ] || { e2e_fail "no log"; exit 1; }

# --- Coverage: every entry offered or refused with a reason ---
total=$((real_entries + own_entries))
summary=$(grep -F 'winapp2.ini: 读取了' "$log" | tail -n 1)
read_count=$(printf '%s' "$summary" | sed -n 's/.*读取了 \([0-9]*\) 个条目.*/\1/p')
offered=$(printf '%s' "$summary" | sed -n 's/.*检测到 \([0-9]*\) 个应用程序.*/\1/p')
refused=$(printf '%s' "$summary" | sed -n 's/.*其中 \([0-9]*\) 个已拒绝.*/\1/p')
# The hand-made entries not detected: the other Windows version and the unknown SpecialDetect's two.
e2e_check "all $total entries read ($read_count)" [ "$read_count" = "$total" ]
e2e_check "every real entry offered ($offered of $total, 3 hand-made ones not detected)" [ "$offered" = $((total - 3)) ]
reasons=$(grep -F ' 已拒绝: ' "$log" | grep -v '"Vt' | sed 's/.* 已拒绝: //')
real_refused=$(printf '%s\n' "$reasons" | grep -c . || true)
own_refused=$(grep -F ' 已拒绝: ' "$log" | grep -c '"Vt' || true)
e2e_check "each refused entry has its reason ($refused = $real_refused real + $own_refused hand-made)" \
    [ "$refused" = $((real_refused + own_refused)) ]
vt_say "real entries: $real_entries read, $((real_entries - real_refused)) offered to tick, $real_refused refused; by reason:"
printf '%s\n' "$reasons" | grep . | sed -E 's/^(FileKey|RegKey|ExcludeKey)[0-9]+/\1N/; s/: .*$//; s/ \(.*$//' | sort | uniq -c | sort -rn >&2
faults=$(grep -F ' 跳过了一个键: ' "$log" | grep -v '"Vt' | wc -l)
vt_say "keys passed over in offered real entries: $faults; by reason:"
grep -F ' 跳过了一个键: ' "$log" | grep -v '"Vt' | sed 's/.* 跳过了一个键: //' |
    sed -E 's/^(FileKey|RegKey|DetectFile)[0-9]*:? ?//; s/: .*$//; s/ [A-Z]:\\.*$//' | sort | uniq -c | sort -rn >&2
warned=$(grep -F ' 警告: 此条目会删除 ' "$log" | grep -v '"Vt' | wc -l)
vt_say "real entries carrying the user-folder warning: $warned"
e2e_check "the load time is logged" grep -qE 'winapp2.ini: 读取、检测和编译用时 [0-9]+ 毫秒。' "$log"

# --- Real entries ---
e2e_check "Dropbox runs without its faulty FileKey7" grep -qF '"Dropbox" 跳过了一个键: FileKey7 没有文件名' "$log"
e2e_check "Dropbox is not refused" bash -c "! grep -qF '\"Dropbox\" 已拒绝' '$log'"
e2e_check "QQ's chat folder carries the warning" \
    grep -qE '"Tencent QQ" 警告: 此条目会删除 C:\\users\\[^\\]*\\Documents\\Tencent Files 中的全部文件。' "$log"
e2e_check "DivX's movies carry it" grep -qF 'DivX Movies 中的全部文件。' "$log"
e2e_check "GnuCash's backups carry it" grep -qF '"GnuCash" 警告: 此条目会删除 ' "$log"
e2e_check "Canon's thumbnail key needs none" bash -c "! grep -qF '\"Canon Zoom Browser\" 警告' '$log'"
e2e_check "Canon's thumbnail key is not refused" bash -c "! grep -qF '\"Canon Zoom Browser\" 已拒绝' '$log'"

# --- Hand-made entries ---
for n in 1 2 3; do
    e2e_check "VtEveryName$n is refused" grep -qF "\"VtEveryName$n\" 已拒绝: FileKey1 会清理受保护的文件夹" "$log"
done
e2e_check "old files in %AppData% and the profile stay" test -e "$APPDATA_DIR/VtOld/a.dat" -a -e "$PROFILE_DIR/VtOld.dat"
e2e_check "HKCU\\Control Panel is refused" grep -qF '"VtControlPanel" 已拒绝: RegKey1 指向注册表的根' "$log"
e2e_check "HKCU\\Control Panel\\Colors stays" reg_has 'HKCU\Control Panel\Colors' /v VtProbe
e2e_check "HKCU\\Environment is refused" grep -qF '"VtEnvironment" 已拒绝: RegKey1 指向注册表的根' "$log"
e2e_check "the user's environment stays" reg_has 'HKCU\Environment' /v VtProbe
e2e_check "ExcludeKey *.ini;*.vtk keeps both" test -e "$LOCAL_DIR/VtSplit/keep.ini" -a -e "$LOCAL_DIR/VtSplit/keep.vtk"
e2e_check "the rest of VtSplit goes" test ! -e "$LOCAL_DIR/VtSplit/go.log"
e2e_check "\".*\" takes the dot name" test ! -e "$LOCAL_DIR/VtDots/.hidden"
e2e_check "\".*\" leaves a.txt" test -e "$LOCAL_DIR/VtDots/a.txt"
e2e_check "\"*.\" takes README" test ! -e "$LOCAL_DIR/VtNoExt/README"
e2e_check "\"*.\" leaves a.txt" test -e "$LOCAL_DIR/VtNoExt/a.txt"
e2e_check "twenty %ProgramFiles% are passed over at once" \
    grep -qF '"VtSlow" 跳过了一个键: FileKey1: 展开后超过 64 个文件夹' "$log"
e2e_check "VtSlow's other key runs" test ! -e "$LOCAL_DIR/VtSlow/a.vtt"
e2e_check "DET_MOZILLA detects by the Firefox profile folder" test ! -e "$LOCAL_DIR/VtMozilla/a.vtt"
e2e_check "DetectOS=$ver (this version exactly) is offered" test ! -e "$LOCAL_DIR/VtExactOs/a.vtt"
e2e_check "DetectOS=5.1 and an unknown SpecialDetect are not" test -e "$LOCAL_DIR/VtOtherOs/a.vtt"
unknown=$(grep -cF 'winapp2.ini: 未知的 SpecialDetect 值 DET_NOBODY' "$log")
e2e_check "the unknown SpecialDetect is logged once ($unknown)" [ "$unknown" = 1 ]

e2e_teardown
[ "$E2E_FAILURES" -eq 0 ]
