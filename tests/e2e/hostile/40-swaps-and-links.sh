# Deletion never reaches into or through a folder: files swapped for folders or
# folder links between the reading pass and the click on "清理", links named
# like junk, and Windows Update temporary folders that are links.

# --- Swapped after the reading pass, before "清理" ---
hostile_reset
h_old "$H_D/swap/to-folder.bak"
h_old "$H_D/swap/to-link.bak"
h_old "$H_D/swap/stays-a-file.bak"
mkdir -p "$H_CANARY/elsewhere"; h_old "$H_CANARY/elsewhere/thesis.doc"
(cd "$H_CANARY" && find . | sort) >"$WINEPREFIX/canary.list"
e2e_probe captions 300 "$H_EXE" >"$WINEPREFIX/swap-run.txt" &
swap_run=$!
read_ms=$(e2e_probe wait-status '当前可用空间' 120 | sed -n 's/^waited_ms=//p')
rm "$H_D/swap/to-folder.bak" "$H_D/swap/to-link.bak"
h_old "$H_D/swap/to-folder.bak/inner/precious.doc"
ln -s "$H_CANARY/elsewhere" "$H_D/swap/to-link.bak"
clean_ms=$(e2e_probe clean 120 | sed -n 's/^waited_ms=//p')
e2e_probe close >/dev/null
wait "$swap_run"
e2e_check "swap: the pass read (${read_ms:-?} ms) and cleaned (${clean_ms:-?} ms), then closed with 0" \
    test -n "$read_ms" -a -n "$clean_ms" -a "${clean_ms%%.*}" != -1 -a "$(sed -n 's/^exit_code=//p' "$WINEPREFIX/swap-run.txt")" = 0
e2e_check "swap: the file that stayed a file went" test ! -e "$H_D/swap/stays-a-file.bak"
e2e_check "swap: a folder put in a found file's place stays with its files" test -e "$H_D/swap/to-folder.bak/inner/precious.doc"
e2e_check "swap: a folder link put in a found file's place stays" test -L "$H_D/swap/to-link.bak"
e2e_check "swap: the link's target stays (canary)" hostile_canary_intact

# --- Links named like junk, found by /auto ---
hostile_reset
mkdir -p "$H_D/links"
ln -s "$H_CANARY/sub" "$H_D/links/folder-link.bak"
ln -s "$H_CANARY/outside.doc.bak" "$H_D/links/file-link.bak" 2>/dev/null
h_old "$H_CANARY/outside.doc.bak"
touch -h -d '40 days ago' "$H_D/links/folder-link.bak" "$H_D/links/file-link.bak"
(cd "$H_CANARY" && find . | sort) >"$WINEPREFIX/canary.list"
hostile_auto
e2e_check "links: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "links: a folder link and a file link named like junk leave their targets (canary)" hostile_canary_intact

# --- Windows Update temporary folders that are links ---
hostile_reset
mkdir -p "$H_CANARY/wu-empty" "$H_CANARY/wu-full/deeper"
h_old "$H_CANARY/wu-full/deeper/setup.cab"
(cd "$H_CANARY" && find . | sort) >"$WINEPREFIX/canary.list"
ln -s "$H_CANARY/wu-empty" "$H_D/WUTemp"
ln -s "$H_CANARY/wu-full" "$H_D/msdownld.tmp"
hostile_auto
e2e_check "WU links: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "WU links: their targets, empty or not, stay (canary)" hostile_canary_intact
rm -f "$H_D/WUTemp" "$H_D/msdownld.tmp"
