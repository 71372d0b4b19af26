# Masks that name a file, recycle bins, and ages on systems that keep no
# access times up to date.

# "*\~$*.doc" names Word's owner files, not documents in a folder whose name starts with "~$".
hostile_reset
h_old "$H_D/~\$old/thesis.doc"
h_old "$H_D/~\$old/sub/notes.doc"
h_old "$H_D/x/~\$draft.doc"
hostile_auto
e2e_check "word owner files: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "word owner files: documents below a '~\$' folder stay" \
    test -e "$H_D/~\$old/thesis.doc" -a -e "$H_D/~\$old/sub/notes.doc"
e2e_check "word owner files: an old owner file goes" test ! -e "$H_D/x/~\$draft.doc"
e2e_check "word owner files: the canary stays" hostile_canary_intact

# $Recycle.Bin, in any letter case on any drive, belongs to the recycle bin.
hostile_reset
bins=("$E2E_C/\$Recycle.Bin/S-1-5-21-1001" "$H_D/\$RECYCLE.BIN/S-1-5-21-1001" "$H_D/\$rEcYcLe.bIn/S-1-5-18")
for bin in "${bins[@]}"; do
    h_old "$bin/\$RAB12CD.tmp"
    h_old "$bin/\$RXY34.bak"
    h_old "$bin/\$RQ1/Thumbs.db"
done
h_old "$H_D/work/left.tmp"
hostile_auto
e2e_check "recycle bins: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
for bin in "${bins[@]}"; do
    e2e_check "recycle bins: ${bin#"$WINEPREFIX"/} keeps its files" \
        test -e "$bin/\$RAB12CD.tmp" -a -e "$bin/\$RXY34.bak" -a -e "$bin/\$RQ1/Thumbs.db"
done
e2e_check "recycle bins: old junk elsewhere goes" test ! -e "$H_D/work/left.tmp"
e2e_check "recycle bins: the canary stays" hostile_canary_intact
rm -rf "$E2E_C/\$Recycle.Bin"

# A file written just now stays whatever its access time says (Windows often
# does not update it), under the smart rule and under "Week".
for protection in Smart Week; do
    hostile_reset
    hostile_settings "<Options FileProtection=\"$protection\"/>"
    mkdir -p "$H_D/work"
    printf 'edited\n' >"$H_D/work/fresh.bak"
    touch -a -d '40 days ago' "$H_D/work/fresh.bak"
    h_old "$H_D/work/stale.bak"
    hostile_auto
    e2e_check "written now ($protection): /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
    e2e_check "written now ($protection): the file written now stays" test -e "$H_D/work/fresh.bak"
    e2e_check "written now ($protection): the untouched old file goes" test ! -e "$H_D/work/stale.bak"
    e2e_check "written now ($protection): the canary stays" hostile_canary_intact
done
