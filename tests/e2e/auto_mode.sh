#!/usr/bin/env bash
# Automatic mode end to end, in a sandbox with drives C: and D:: `Vantrel /auto`
# reads, deletes exactly the files its ticked actions may take, keeps recently
# used, protected, excluded, synced (Dropbox, iCloud Drive) and recycle-bin files, removes emptied temporary
# folders, closes by itself and writes its settings.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup auto --drive d
D="$WINEPREFIX/drive_d"
TEMP_DIR=$(realpath "$(vt_sandbox_folder TEMP)")
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
LOCALAPPDATA_DIR=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)")
PROFILE_DIR=$(realpath "$(vt_sandbox_folder USERPROFILE)")
[ -d "$TEMP_DIR" ] || { e2e_fail "no user temporary folder in the sandbox"; exit 1; }
rm -rf "$D"/* "$TEMP_DIR"/vt-* "$APPDATA_DIR/Holvane"

old() { mkdir -p "$(dirname "$1")"; printf 'junk %s\n' "$1" >"$1"; touch -d '40 days ago' "$1"; }
young() { mkdir -p "$(dirname "$1")"; printf 'in use %s\n' "$1" >"$1"; touch "$1"; }

# Files the default actions take.
GO=(
  "$TEMP_DIR/vt-setup/install.tmp"
  "$TEMP_DIR/vt-setup/deeper/data.bin"
  "$TEMP_DIR/vt-report.tmp"
  "$D/Projects/report.doc.bak"
  "$D/Projects/notes.old"
  "$D/Projects/~\$draft.doc"
  "$D/Photos/Thumbs.db"
  "$D/work/build.tmp"
)
# Files nothing may take.
STAY=(
  "$D/Projects/report.doc"
  "$D/Recycler/S-1-5-21/old.tmp"
  "$D/setup/INSTALL.LOG"
  "$D/excluded/backup.bak"
  "$D/Projects/young.bak"
  "$D/Projects/Photos/picture.jpg"
  "$D/Documents/precious.doc"
  "$D/Dropbox/Projects/plan.doc.bak"
  "$PROFILE_DIR/iCloudDrive/old-notes.tmp"
)
for f in "${GO[@]}"; do old "$f"; done
# A link named like junk whose target is a document elsewhere: the document stays.
old "$D/Documents/precious.doc"
ln -s "$D/Documents/precious.doc" "$D/Projects/link-to-precious.bak"
touch -h -d '40 days ago' "$D/Projects/link-to-precious.bak"
for f in "${STAY[@]}"; do old "$f"; done
young "$D/Projects/young.bak"

# Settings: D:\excluded is never read; everything else as the defaults say.
mkdir -p "$APPDATA_DIR/Holvane/Vantrel"
printf '<?xml version="1.0"?>\r\n<VantrelSettings><ExcludeDirectories><ExcludeDirectory Name="D:\\excluded"/></ExcludeDirectories></VantrelSettings>\r\n' \
    >"$APPDATA_DIR/Holvane/Vantrel/Vantrel.cfg"

# Dropbox's folder as its info.json names it, and iCloud Drive's: synced, never cleaned.
mkdir -p "$LOCALAPPDATA_DIR/Dropbox"
printf '{"personal": {"path": "D:\\\\Dropbox", "host": 5236403718, "is_team": false, "subscription_type": "Basic"}}' \
    >"$LOCALAPPDATA_DIR/Dropbox/info.json"

# Nothing outside the sandbox may change: a canary folder of junk beside it.
CANARY=$(mktemp -d "$VT_BUILD/canary.XXXXXX")
old "$CANARY/outside.tmp"; old "$CANARY/outside.bak"

snapshot() { (cd "$WINEPREFIX" && find drive_c drive_d -type f ! -path '*/Holvane/Vantrel/*' | sort); }
snapshot >"$WINEPREFIX/before.txt"
(cd "$WINEPREFIX" && find drive_c drive_d -type f ! -path '*/Holvane/Vantrel/*' -printf '%p\t%s\n') >"$WINEPREFIX/sizes.txt"
# The backup action's files (report.doc.bak, notes.old): the log names their
# bytes, and the link named like a backup as the one file it could not delete.
backup_bytes=$(( $(stat -c %s "$D/Projects/report.doc.bak") + $(stat -c %s "$D/Projects/notes.old") ))

e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'
start=$(date +%s)
rc=$(e2e_exit_code 180 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
elapsed=$(( $(date +%s) - start ))
e2e_check "/auto ends by itself with exit code 0 (got $rc after ${elapsed}s)" [ "$rc" = 0 ]

snapshot >"$WINEPREFIX/after.txt"
gone=$(comm -23 "$WINEPREFIX/before.txt" "$WINEPREFIX/after.txt")
for f in "${GO[@]}"; do e2e_check "deleted: ${f#$WINEPREFIX/}" [ ! -e "$f" ]; done
for f in "${STAY[@]}"; do e2e_check "kept: ${f#$WINEPREFIX/}" [ -e "$f" ]; done
e2e_check "emptied temporary folders removed" [ ! -e "$TEMP_DIR/vt-setup" ]
e2e_check "the log names the backup action's files and bytes" \
    grep -qF "清理操作 \"删除备份文件 (*.bak, *.old, *.000)\": 删除了 2 个文件, $backup_bytes 字节, 1 个文件无法删除。" \
    "$APPDATA_DIR/Holvane/Vantrel/Vantrel.log"
# The run's last line states what the deleted files took, whatever the free space did.
gone_bytes=$(printf '%s\n' "$gone" | awk -F '\t' 'NR == FNR { gone[$0] = 1; next } ($1 in gone) { sum += $2 } END { print sum + 0 }' - "$WINEPREFIX/sizes.txt")
last_line=$(tail -n 1 "$APPDATA_DIR/Holvane/Vantrel/Vantrel.log" 2>/dev/null | tr -d '\r')
e2e_check "the last line states the $gone_bytes bytes of the deleted files (${last_line#*  })" \
    grep -qE "自动清理结束: 删除了 [0-9]+ 个文件, 释放了 $gone_bytes 字节( \([^)]+\))?, 可用空间增加了 [0-9]+ 字节( \([^)]+\))?。\$" <<<"$last_line"
e2e_check "canary outside the sandbox untouched" test -e "$CANARY/outside.tmp" -a -e "$CANARY/outside.bak"
rm -rf "$CANARY"

# Everything that went must be one of ours or lie in the temporary folders,
# which the default actions empty entirely.
unexpected=$(printf '%s\n' "$gone" | grep -v -e '^$' | while read -r f; do
    case "/$f" in
        "${TEMP_DIR#$WINEPREFIX/}"/*|drive_c/windows/temp/*) ;;
        *) printf '%s\n' "$f" ;;
    esac
done | grep -v -F -f <(printf '%s\n' "${GO[@]#$WINEPREFIX/}"))
e2e_check "nothing else deleted${unexpected:+: $unexpected}" [ -z "$unexpected" ]

cfg="$APPDATA_DIR/Holvane/Vantrel/Vantrel.cfg"
items=$(grep -o '<CleanupItem ' "$cfg" 2>/dev/null | wc -l)
e2e_check "settings written with one entry per action ($items)" [ "$items" -ge 14 ]
e2e_check "settings keep the excluded folder" grep -q 'D:\\excluded' "$cfg"
e2e_check "settings hold no synced folder" sh -c "! grep -qi 'Dropbox\\|iCloudDrive' '$cfg'"
e2e_check "settings hold the directory count" grep -q 'ReadDirCountComplete="[1-9]' "$cfg"

[ "$E2E_FAILURES" -eq 0 ]
