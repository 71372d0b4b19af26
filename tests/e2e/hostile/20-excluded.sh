# Excluded folders in the spellings a user types or the system hands out:
# doubled trailing separators, "/", "..", another letter case, a short 8.3 name,
# a path through a link. The old junk inside stays, junk outside goes, and the
# settings file keeps the text as it was typed.

# ex_case "<what>" <Unix path of the kept folder> "<excluded folder as typed>"
# Call after hostile_reset and after laying the kept folder (and any link).
ex_case() {
    local what=$1 kept=$2 typed=$3
    h_old "$kept/old.bak"
    h_old "$kept/deeper/old.tmp"
    h_old "$H_D/outside/old.bak"
    hostile_settings "<ExcludeDirectories><ExcludeDirectory Name=\"$typed\"/></ExcludeDirectories>"
    hostile_auto
    e2e_check "excluded $what: /auto ends by itself with 0 (got $H_RC)" [ "$H_RC" = 0 ]
    e2e_check "excluded $what: the junk inside stays" test -e "$kept/old.bak" -a -e "$kept/deeper/old.tmp"
    e2e_check "excluded $what: the junk outside goes" test ! -e "$H_D/outside/old.bak"
    e2e_check "excluded $what: the settings keep the folder as typed" \
        grep -qF "<ExcludeDirectory Name=\"$typed\"/>" "$H_SETTINGS_DIR/Vantrel.cfg"
    e2e_check "excluded $what: the canary stays" hostile_canary_intact
}

EX_KEEP="$H_D/Keep folder"

hostile_reset; mkdir -p "$EX_KEEP"
ex_case "with doubled trailing backslashes" "$EX_KEEP" 'D:\Keep folder\\'
hostile_reset; mkdir -p "$EX_KEEP"
ex_case "with forward slashes" "$EX_KEEP" 'D:/Keep folder'
hostile_reset; mkdir -p "$EX_KEEP" "$H_D/outside"
ex_case "with .. and ." "$EX_KEEP" 'D:\outside\..\.\Keep folder'
hostile_reset; mkdir -p "$H_D/Ελληνικά"
ex_case "in another letter case" "$H_D/Ελληνικά" 'd:\ΕΛΛΗΝΙΚΆ'

hostile_reset; mkdir -p "$EX_KEEP"
ex_short=$(h_short_name 'D:' 'Keep folder')
if [ -n "$ex_short" ]; then
    ex_case "as a short name (D:\\$ex_short)" "$EX_KEEP" "D:\\$ex_short"
else
    e2e_pass "excluded as a short name: skipped, this system gives no short names"
fi

# The user typed a path through a link: the walk never passes the link, it meets
# the folder by its own path.
hostile_reset; mkdir -p "$EX_KEEP"
ln -s "Keep folder" "$H_D/Keep link"
ex_case "through a link" "$EX_KEEP" 'D:\Keep link'
hostile_reset
