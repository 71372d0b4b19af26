# A second drive letter for a folder of D: (what `subst` makes on Windows; under
# Wine a drive linked to a folder inside another drive). Its files are read once,
# through D:, so excluded folders and drive-root masks keep their meaning.
H_ALIAS="$WINEPREFIX/dosdevices/e:"

# Starts a case with E: -> D:\shared; hostile_alias_end removes it again, so
# no other case sees the drive. Wine's mount manager takes up drive links when
# the server starts, so the sandbox is restarted each time.
hostile_alias_begin() {
    hostile_reset
    mkdir -p "$H_D/shared"
    ln -sfn ../drive_d/shared "$H_ALIAS"
    vt_sandbox_stop "$E2E_SANDBOX"
    vt_sandbox_start "$E2E_SANDBOX"
}
hostile_alias_end() {
    rm -f "$H_ALIAS"
    vt_sandbox_stop "$E2E_SANDBOX"
    vt_sandbox_start "$E2E_SANDBOX"
}

hostile_alias_begin
hostile_settings '<ExcludeDirectories><ExcludeDirectory Name="D:\shared"/></ExcludeDirectories>'
h_old "$H_D/shared/junk.tmp"
h_old "$H_D/shared/deeper/old.bak"
h_old "$H_D/work/junk.tmp"
hostile_auto
hostile_alias_end
e2e_check "drive alias, excluded folder: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "drive alias, excluded folder: its junk stays" \
    test -e "$H_D/shared/junk.tmp" -a -e "$H_D/shared/deeper/old.bak"
e2e_check "drive alias, excluded folder: junk elsewhere on D: goes" test ! -e "$H_D/work/junk.tmp"
e2e_check "drive alias, excluded folder: the canary stays" hostile_canary_intact

hostile_alias_begin
h_old "$H_D/shared/SCANDISK.LOG"
h_old "$H_D/shared/FILE0001.CHK"
h_old "$H_D/SCANDISK.LOG"
hostile_auto
hostile_alias_end
e2e_check "drive alias, root masks: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "drive alias, root masks: files of D:\\shared are no drive-root files" \
    test -e "$H_D/shared/SCANDISK.LOG" -a -e "$H_D/shared/FILE0001.CHK"
e2e_check "drive alias, root masks: D:'s own root file goes" test ! -e "$H_D/SCANDISK.LOG"
e2e_check "drive alias, root masks: the canary stays" hostile_canary_intact
