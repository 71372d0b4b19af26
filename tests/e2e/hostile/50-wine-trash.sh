# Under Wine the recycle bin is the Linux user's trash (inside the sandbox here).
# Wine's own emptying deletes the target of a trashed file link, so the program
# leaves the bin alone under Wine: trashed links to files and folders outside
# keep their targets, and the trashed entries stay.
hostile_reset
trash="$XDG_DATA_HOME/Trash"
case "$trash" in "$WINEPREFIX"/*) ;; *) e2e_fail "trash outside the sandbox: $trash"; return 0 2>/dev/null || exit 1 ;; esac
rm -rf "$trash"; mkdir -p "$trash/files" "$trash/info"
h_old "$H_CANARY/trash-target.doc"; mkdir -p "$H_CANARY/trash-dir"; h_old "$H_CANARY/trash-dir/inner.doc"
(cd "$H_CANARY" && find . | sort) >"$WINEPREFIX/canary.list"
trashed() {  # trashed <name> <original path>
    printf '[Trash Info]\nPath=%s\nDeletionDate=2026-11-01T10:00:00\n' "$2" >"$trash/info/$1.trashinfo"
}
ln -s "$H_CANARY/trash-target.doc" "$trash/files/report.doc"; trashed report.doc "$H_D/report.doc"
ln -s "$H_CANARY/trash-dir" "$trash/files/folder"; trashed folder "$H_D/folder"
printf 'plain\n' >"$trash/files/plain.txt"; trashed plain.txt "$H_D/plain.txt"
hostile_auto
e2e_check "trash: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "trash: the targets of trashed links stay (canary)" hostile_canary_intact
e2e_check "trash: the bin is left as it is under Wine" test -L "$trash/files/report.doc" -a -e "$trash/files/plain.txt"
rm -rf "$trash"
