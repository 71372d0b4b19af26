#!/usr/bin/env bash
# Drives made the way a Linux user makes them - absolute links to folders
# outside the prefix - are cleaned by `Vantrel /auto`: D: and E: link to
# folders beside the prefix, F: to a folder inside D:'s. Wine lists a ".." in
# the root of each; that must not make them look like another drive's folder.
# F:'s files are read once, through D:, and files no mask takes stay.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup linked --linked-drive d=disks/d --linked-drive e=disks/e --linked-drive f=disks/d/inner
D="$WINEPREFIX/disks/d" E="$WINEPREFIX/disks/e" F="$WINEPREFIX/disks/d/inner"
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
e2e_check "D:, E: and F: are absolute links out of the prefix's drive folders" \
    [ "$(readlink "$WINEPREFIX/dosdevices/f:")" = "$F" ]
rm -rf "$D"/* "$E"/* "$APPDATA_DIR/Holvane"
mkdir -p "$F"

old() { mkdir -p "$(dirname "$1")"; printf 'junk %s\n' "$1" >"$1"; touch -d '40 days ago' "$1"; }

# The backup action's files, on each drive and in the nested one's folder.
BACKUPS=("$D/Projects/report.doc.bak" "$E/notes.old" "$F/draft.doc.bak" "$F/deeper/plan.old")
GO=("${BACKUPS[@]}" "$D/Photos/Thumbs.db" "$E/work/build.tmp" "$F/deeper/Thumbs.db")
STAY=("$D/Projects/report.doc" "$E/notes.txt" "$F/draft.doc" "$F/deeper/plan.xls")
for f in "${GO[@]}" "${STAY[@]}"; do old "$f"; done
backup_bytes=0
for f in "${BACKUPS[@]}"; do backup_bytes=$((backup_bytes + $(stat -c %s "$f"))); done

# Nothing outside the sandbox may change: a canary folder of junk beside it.
CANARY=$(mktemp -d "$VT_BUILD/canary.XXXXXX")
old "$CANARY/outside.tmp"; old "$CANARY/outside.bak"

e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'
rc=$(e2e_exit_code 180 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "/auto ends by itself with exit code 0 (got $rc)" [ "$rc" = 0 ]

for f in "${GO[@]}"; do e2e_check "deleted: ${f#$WINEPREFIX/}" [ ! -e "$f" ]; done
for f in "${STAY[@]}"; do e2e_check "kept: ${f#$WINEPREFIX/}" [ -e "$f" ]; done
e2e_check "the drives' folders stay" [ -d "$D/Projects" -a -d "$E/work" -a -d "$F/deeper" ]
log="$APPDATA_DIR/Holvane/Vantrel/Vantrel.log"
# Read twice, F:'s backups would be found again as F:\... and fail to go.
e2e_check "the log names each backup once, none it could not delete" \
    grep -qF "清理操作 \"删除备份文件 (*.bak, *.old, *.000)\": 删除了 ${#BACKUPS[@]} 个文件, $backup_bytes 字节, 0 个文件无法删除。" "$log"
e2e_check "the canary outside the sandbox is untouched" test -e "$CANARY/outside.tmp" -a -e "$CANARY/outside.bak"
rm -rf "$CANARY"
[ "$E2E_FAILURES" -eq 0 ] || { sed -n '1,40p' "$log" >&2; }

[ "$E2E_FAILURES" -eq 0 ]
