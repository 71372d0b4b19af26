#!/usr/bin/env bash
# Faults of the settings file, end to end: Vantrel.exe /auto (and once a normal
# start) against empty, truncated, foreign, wrongly declared, huge and crowded
# settings files, a read-only file, a per-user folder that cannot be made, and
# kills at random moments, many of them while the file is being saved. Every
# start must end by itself; a file that cannot be used must be reported (by
# /auto in Vantrel.log beside the settings, with exit code 1; by a normal start
# in the error box) and kept as "<name>.unreadable"; /auto then cleans nothing
# and leaves the file as it is, since the defaults would ignore the user's
# exclusions and unticks; a normal start replaces it at exit; a file that cannot be saved
# must be reported and stay as it was; a kill must leave the previous file or a
# whole new one, never a broken one.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup settingsfaults
EXE='C:\Apps\Vantrel\Vantrel.exe'
e2e_install_exe "$EXE"
e2e_install_probe 'C:\Apps' || { e2e_fail "window-probe.exe is not built"; exit 1; }
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
case "$WINEPREFIX/:$APPDATA_DIR" in "$VT_BUILD"/*/:"$VT_BUILD"/*) ;; *) e2e_fail "sandbox outside build/"; exit 1 ;; esac
DIR="$APPDATA_DIR/Holvane/Vantrel"
CFG="$DIR/Vantrel.cfg"
BESIDE="$E2E_C/Apps/Vantrel/Vantrel.cfg"
LOG="$DIR/Vantrel.log"
BESIDE_LOG="$E2E_C/Apps/Vantrel/Vantrel.log"
WORK="$WINEPREFIX/faults"
rm -rf "$APPDATA_DIR/Holvane" "$WORK" "$BESIDE" "$BESIDE.new" "$BESIDE.unreadable" "$BESIDE_LOG"
mkdir -p "$WORK"

probe() { wine 'C:\Apps\window-probe.exe' "$@" 2>/dev/null | tr -d '\r'; }

# The Linux process of the running Vantrel.exe of this sandbox.
vantrel_pid() {
    local p
    for p in $(pgrep -f 'Vantrel\.exe' 2>/dev/null); do
        { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return 0; }
    done
    return 1
}

# Dismisses the error box (caption "Vantrel") of the normal start: its texts are
# appended to $BOXES, then Return is pressed on it. X sees the box a moment
# before Wine lists it as visible, so the texts are read once Wine does.
box_texts() {
    probe texts Vantrel | awk '/^window .* #32770 /{box=1; next} /^window /{box=0} box{sub(/^  [^:]*: /, ""); printf "%s ", $0}'
}
dismiss_box() {
    local w texts="" i
    for i in $(seq 1 20); do
        texts=$(box_texts)
        [ -n "$texts" ] && break
        sleep 0.1
    done
    BOXES="${BOXES:+$BOXES | }${texts:-?}"
    for i in 1 2 3; do
        w=$(xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null | head -n 1)
        [ -n "$w" ] || return 0
        xdotool windowfocus "$w" 2>/dev/null; xdotool key --window "$w" Return 2>/dev/null
        sleep 0.3
    done
}

# Runs Vantrel.exe /auto for at most $1 seconds; /auto never shows a box. Sets RC
# (the exit code, or "timeout") and LOGGED (the error lines its log received,
# joined by "|"), from a fresh log in the per-user folder or beside the executable.
run_auto() {
    local out
    rm -f "$LOG" "$BESIDE_LOG"
    out=$(e2e_probe captions "$1" "$EXE" /auto)
    RC=$(printf '%s\n' "$out" | sed -n 's/^exit_code=//p')
    [ -n "$RC" ] || RC="none"
    LOGGED=$(cat "$LOG" "$BESIDE_LOG" 2>/dev/null | tr -d '\r' | grep -F '  错误' | tr '\n' '|')
}
logged() { [[ "$LOGGED" == *"$1"* ]]; }

# A settings document that ends where it should and has one CleanupItem per action.
complete_doc() {
    [ -f "$1" ] && tail -c 20 "$1" | grep -q '</VantrelSettings>' &&
        [ "$(grep -c '<CleanupItem ' "$1")" -eq "$ACTIONS" ]
}
same_bytes() { cmp -s "$1" "$2"; }
read_only() { ! stat -c %A "$1" | grep -q w; }  # root may write anyway; the mode is what Wine reads
folder_alone() { [ -d "$1" ] && [ ! -e "$1.new" ]; }
box_says() { [[ "$BOXES" == *"$1"* ]]; }
nothing_logged() { [ -z "$LOGGED" ]; }

# --- No file at all: the reference run ---
run_auto 60
e2e_check "no settings file: /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
e2e_check "no settings file: no error logged ($LOGGED)" nothing_logged
ACTIONS=$(grep -c '<CleanupItem ' "$CFG" 2>/dev/null || echo 0)
e2e_check "no settings file: a new file with one entry per action ($ACTIONS)" [ "$ACTIONS" -ge 14 ]
cp "$CFG" "$WORK/good.cfg"

# --- Files that cannot be used: reported, kept as .unreadable, replaced ---
printf '' >"$WORK/empty.cfg"
head -c $(( $(stat -c %s "$WORK/good.cfg") / 2 )) "$WORK/good.cfg" >"$WORK/truncated.cfg"
printf '<?xml version="1.0"?>\r\n<Other><Options ScanMode="Quick"/></Other>\r\n' >"$WORK/foreign.cfg"
printf '\xff\xfe\x00<\x00V' >"$WORK/binary.cfg"
{ head -n 1 "$WORK/good.cfg"; printf '<!DOCTYPE VantrelSettings>\r\n'; tail -n +2 "$WORK/good.cfg"; } >"$WORK/doctype.cfg"
for kind in empty truncated foreign binary doctype; do
    rm -f "$CFG.unreadable"; cp "$WORK/$kind.cfg" "$CFG"
    run_auto 60
    e2e_check "$kind file: /auto ends with 1 (got $RC)" [ "$RC" = 1 ]
    e2e_check "$kind file: the log names the file and the copy ($LOGGED)" logged 'Vantrel.cfg.unreadable'
    e2e_check "$kind file: kept byte for byte as Vantrel.cfg.unreadable" same_bytes "$WORK/$kind.cfg" "$CFG.unreadable"
    e2e_check "$kind file: left as it was, nothing saved over it" same_bytes "$WORK/$kind.cfg" "$CFG"
done

# The user's exclusions and unticks are in the file /auto cannot read: the
# defaults would clean the excluded folder, so nothing is cleaned at all.
EXCLUDED="$E2E_C/Projects/Archive"
case "$EXCLUDED" in "$VT_BUILD"/*) ;; *) e2e_fail "excluded folder outside build/"; exit 1 ;; esac
mkdir -p "$EXCLUDED"
for f in plan.bak draft.old build.tmp; do printf 'the user keeps this\n' >"$EXCLUDED/$f"; touch -d '40 days ago' "$EXCLUDED/$f"; done
python3 - "$WORK/good.cfg" "$WORK/excluding.cfg" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
text, n = re.subn(r'(<CleanupItem Name="删除备份文件 \(\*\.bak, \*\.old, \*\.000\)" Enabled=)"True"', r'\1"False"', text)
assert n == 1
text, n = re.subn(r'<ExcludeDirectories\s*/>', lambda m: '<ExcludeDirectories><ExcludeDirectory '
                  'Name="C:\\Projects\\Archive"/></ExcludeDirectories>', text)
assert n == 1
open(sys.argv[2], "w", encoding="utf-8", newline="").write(text)
EOF
cp "$WORK/excluding.cfg" "$CFG"
run_auto 60
e2e_check "readable file excluding a folder: /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
left=$(ls "$EXCLUDED" | tr '\n' ' ')
e2e_check "readable file excluding a folder: its .bak, .old and .tmp stay ($left)" [ "$left" = "build.tmp draft.old plan.bak " ]
# The control: the .tmp would go, were the folder not excluded.
printf 'junk\n' >"$E2E_C/Projects/build.tmp"; touch -d '40 days ago' "$E2E_C/Projects/build.tmp"
head -c $(( $(stat -c %s "$WORK/excluding.cfg") - 40 )) "$WORK/excluding.cfg" >"$WORK/excluding-cut.cfg"
rm -f "$CFG.unreadable"; cp "$WORK/excluding-cut.cfg" "$CFG"
run_auto 60
e2e_check "the same file without its last 40 bytes: /auto ends with 1 (got $RC)" [ "$RC" = 1 ]
e2e_check "the same file cut short: the log says why ($LOGGED)" logged '不是有效的 XML'
e2e_check "the same file cut short: the log says nothing was cleaned" grep -qF '自动清理没有清理任何内容' "$LOG"
left=$(ls "$EXCLUDED" | tr '\n' ' ')
e2e_check "the same file cut short: nothing in the excluded folder deleted ($left)" [ "$left" = "build.tmp draft.old plan.bak " ]
e2e_check "the same file cut short: nothing deleted anywhere, the .tmp beside it included" [ -e "$E2E_C/Projects/build.tmp" ]
e2e_check "the same file cut short: kept as .unreadable" same_bytes "$WORK/excluding-cut.cfg" "$CFG.unreadable"
e2e_check "the same file cut short: left as it was" same_bytes "$WORK/excluding-cut.cfg" "$CFG"
rm -rf "$E2E_C/Projects"

# The same in a normal start: the box, then the window, which reads and closes.
rm -f "$CFG.unreadable" "$LOG"; cp "$WORK/truncated.cfg" "$CFG"
sleep 1
(cd "$E2E_C" && exec wine "$EXE" >/dev/null 2>&1) &
launcher=$!
BOXES=""
for i in $(seq 1 100); do
    [ -n "$(xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null)" ] && { dismiss_box; break; }
    sleep 0.1
done
e2e_check "normal start on a truncated file: the error box shows ($BOXES)" box_says '不是有效的 XML'
waited=$(probe wait-status '当前可用空间' 60 | sed -n 's/^waited_ms=//p' | cut -d. -f1)
e2e_check "normal start on a truncated file: the window opens and reads (${waited:-?} ms)" [ "${waited:--1}" -ge 0 ]
probe close >/dev/null
wait "$launcher"; RC=$?
e2e_check "normal start on a truncated file: closes with 0 (got $RC)" [ "$RC" = 0 ]
e2e_check "normal start on a truncated file: kept as .unreadable" same_bytes "$WORK/truncated.cfg" "$CFG.unreadable"
e2e_check "normal start on a truncated file: a whole new file" complete_doc "$CFG"
e2e_check "normal start on a truncated file: no log written" [ ! -e "$LOG" ]

# A declared encoding that does not match the bytes: either read or reported and
# kept, never a broken file.
for enc in UTF-16 GBK; do
    sed "s/<?xml version=\"1.0\"?>/<?xml version=\"1.0\" encoding=\"$enc\"?>/" "$WORK/good.cfg" >"$WORK/enc-$enc.cfg"
    rm -f "$CFG.unreadable"; cp "$WORK/enc-$enc.cfg" "$CFG"
    run_auto 60
    if [ -n "$LOGGED" ]; then
        e2e_check "encoding=\"$enc\" on UTF-8 bytes: reported, /auto ends with 1 (got $RC)" [ "$RC" = 1 ]
        e2e_check "encoding=\"$enc\": reported and kept as .unreadable" same_bytes "$WORK/enc-$enc.cfg" "$CFG.unreadable"
        e2e_check "encoding=\"$enc\": reported, left as it was" same_bytes "$WORK/enc-$enc.cfg" "$CFG"
    else
        e2e_check "encoding=\"$enc\" on UTF-8 bytes: read, /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
        e2e_check "encoding=\"$enc\": read without an error and nothing kept" [ ! -e "$CFG.unreadable" ]
        e2e_check "encoding=\"$enc\": a whole new UTF-8 file" complete_doc "$CFG"
        e2e_check "encoding=\"$enc\": the new file declares no encoding" grep -q '^<?xml version="1.0"?>' "$CFG"
    fi
done

# --- Huge values and thousands of entries ---
python3 - "$WORK" <<'EOF'
import sys
work = sys.argv[1]
good = open(f"{work}/good.cfg", encoding="utf-8").read()
names = [line.split('Name="')[1].split('"')[0] for line in good.splitlines() if "<CleanupItem " in line]
huge = ('<?xml version="1.0"?>\r\n<VantrelSettings>'
        f'<Options FileProtection="{"P" * (4 << 20)}" ScanMode="Complete" Note="{"n" * (3 << 20)}"/>'
        f'<ExcludeDirectories><ExcludeDirectory Name="C:\\{"x" * (2 << 20)}"/></ExcludeDirectories>'
        '</VantrelSettings>\r\n')
open(f"{work}/huge.cfg", "w", encoding="utf-8", newline="").write(huge)
junk = "".join(f'<CleanupItem Name="未知的操作 {i}" Enabled="True"/>' for i in range(8000))
many = ('<?xml version="1.0"?>\r\n<VantrelSettings><CleanupItems>' + junk +
        f'<CleanupItem Name="{names[0]}" Enabled="0"/><CleanupItem Name="{names[0]}" Enabled="1"/>'
        '</CleanupItems></VantrelSettings>\r\n')
open(f"{work}/many.cfg", "w", encoding="utf-8", newline="").write(many)
open(f"{work}/first-name.txt", "w", encoding="utf-8").write(names[0])
# A big file for the kills: 4,000 excluded folders and an unknown 4 MB attribute,
# all of which every save writes back.
dirs = "".join(f'<ExcludeDirectory Name="C:\\nowhere\\{i:05d}"/>' for i in range(4000))
big = ('<?xml version="1.0"?>\r\n<VantrelSettings>'
       f'<Options FileProtection="Smart" ScanMode="Complete" Note="{"k" * (4 << 20)}"/>'
       f'<ExcludeDirectories>{dirs}</ExcludeDirectories></VantrelSettings>\r\n')
open(f"{work}/big.cfg", "w", encoding="utf-8", newline="").write(big)
EOF
rm -f "$CFG.unreadable"; cp "$WORK/huge.cfg" "$CFG"
run_auto 120
e2e_check "megabyte attribute values: /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
e2e_check "megabyte attribute values: no error logged ($LOGGED)" nothing_logged
e2e_check "megabyte attribute values: the protection repaired to Smart" grep -q 'FileProtection="Smart"' "$CFG"
e2e_check "megabyte attribute values: the long excluded folder and unknown value kept" \
    [ "$(stat -c %s "$CFG")" -gt $(( 5 << 20 )) ]
e2e_check "megabyte attribute values: a whole new file" complete_doc "$CFG"

cp "$WORK/many.cfg" "$CFG"
first=$(cat "$WORK/first-name.txt")
run_auto 120
e2e_check "8,000 unknown CleanupItem entries: /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
e2e_check "8,000 unknown CleanupItem entries: no error logged ($LOGGED)" nothing_logged
e2e_check "8,000 unknown CleanupItem entries: dropped, one entry per action left" complete_doc "$CFG"
e2e_check "8,000 unknown CleanupItem entries: the first of two duplicates decided (unticked)" \
    grep -qF "<CleanupItem Name=\"$first\" Enabled=\"False\"/>" "$CFG"

# --- Files that cannot be saved: reported, the old file untouched ---
cp "$WORK/good.cfg" "$CFG"
sed -i 's/ScanMode="Complete"/ScanMode="Quick"/' "$CFG"
cp "$CFG" "$WORK/readonly.cfg"
wine cmd /c attrib +r "$(winepath -w "$CFG" 2>/dev/null)" >/dev/null 2>&1
run_auto 60
e2e_check "read-only file: /auto ends with 1 (got $RC)" [ "$RC" = 1 ]
e2e_check "read-only file: the log says it cannot be saved ($LOGGED)" logged '错误 (保存设置): 无法保存设置文件'
e2e_check "read-only file: unchanged byte for byte" same_bytes "$WORK/readonly.cfg" "$CFG"
e2e_check "read-only file: still read-only" read_only "$CFG"
e2e_check "read-only file: no temporary file left" [ ! -e "$CFG.new" ]
chmod u+w "$CFG"

# A file named Vantrel where the per-user folder belongs: the file beside the
# executable stays in use.
rm -rf "$APPDATA_DIR/Holvane"; mkdir -p "$APPDATA_DIR/Holvane"
printf 'not a folder\n' >"$APPDATA_DIR/Holvane/Vantrel"
cp "$WORK/readonly.cfg" "$BESIDE"
run_auto 60
e2e_check "per-user folder blocked: /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
e2e_check "per-user folder blocked: no error logged ($LOGGED)" nothing_logged
e2e_check "per-user folder blocked: the run's log beside the executable" grep -q '自动清理结束' "$BESIDE_LOG"
e2e_check "per-user folder blocked: settings saved beside the executable" complete_doc "$BESIDE"
e2e_check "per-user folder blocked: its values kept" grep -q 'ScanMode="Quick"' "$BESIDE"
e2e_check "per-user folder blocked: the file in the way untouched" \
    [ "$(cat "$APPDATA_DIR/Holvane/Vantrel")" = "not a folder" ]
# ... and when nothing can be saved there either (a folder named Vantrel.cfg):
rm -f "$BESIDE"; mkdir -p "$BESIDE"
run_auto 60
e2e_check "no place to save: /auto ends with 1 (got $RC)" [ "$RC" = 1 ]
e2e_check "no place to save: the log says it cannot be saved ($LOGGED)" logged '错误 (保存设置): 无法保存设置文件'
e2e_check "no place to save: nothing written, nothing left" folder_alone "$BESIDE"
rmdir "$BESIDE"; rm -f "$APPDATA_DIR/Holvane/Vantrel" "$BESIDE_LOG"

# --- Killed at random moments, often while saving ---
mkdir -p "$DIR"
kills=${VT_FAULTS_KILLS:-30}
cp "$WORK/big.cfg" "$CFG"
t0=$(date +%s%N); run_auto 120; full_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
e2e_check "big file: /auto ends with 0 in ${full_ms} ms (got $RC)" [ "$RC" = 0 ]
big_dirs=$(grep -o '<ExcludeDirectory ' "$WORK/big.cfg" | wc -l)
broken=0 kept=0 replaced=0 during_save=0
for i in $(seq 1 "$kills"); do
    cp "$WORK/big.cfg" "$CFG"
    (cd "$E2E_C" && exec wine "$EXE" /auto >/dev/null 2>&1) &
    launcher=$!
    pid=""
    for t in $(seq 1 200); do pid=$(vantrel_pid) && break; sleep 0.01; done
    if [ $((i % 3)) != 0 ]; then
        # the moment the new file appears, or up to 20 ms later
        until [ -e "$CFG.new" ]; do kill -0 "$launcher" 2>/dev/null || break; done
        [ $((i % 3)) = 2 ] && sleep "0.0$(printf '%02d' $((RANDOM % 20)))"
    else
        sleep "$(awk -v r=$RANDOM -v f="$full_ms" 'BEGIN { printf "%.3f", r / 32768 * f / 1000 }')"
    fi
    [ -e "$CFG.new" ] && during_save=$((during_save + 1))
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    wait "$launcher" 2>/dev/null
    if same_bytes "$WORK/big.cfg" "$CFG"; then
        kept=$((kept + 1))
    elif complete_doc "$CFG" && [ "$(grep -o '<ExcludeDirectory ' "$CFG" | wc -l)" = "$big_dirs" ]; then
        replaced=$((replaced + 1))
    else
        broken=$((broken + 1)); cp "$CFG" "$WORK/broken-$i.cfg" 2>/dev/null
    fi
done
e2e_check "$kills kills ($during_save while saving): the previous file ($kept) or a whole new one ($replaced), never broken ($broken)" \
    [ "$broken" = 0 ]
run_auto 120
e2e_check "after the kills: /auto ends with 0 (got $RC)" [ "$RC" = 0 ]
e2e_check "after the kills: no error logged ($LOGGED)" nothing_logged
e2e_check "after the kills: a whole file with every excluded folder" complete_doc "$CFG"
e2e_check "after the kills: no temporary file left" [ ! -e "$CFG.new" ]

[ "$E2E_FAILURES" -eq 0 ]
