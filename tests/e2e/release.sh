#!/usr/bin/env bash
# The installer end to end, in a sandbox: the setup.exe that scripts/package makes,
# built here from this build's Vantrel.exe, installs silently into Program Files with
# its shortcut and its Programs-and-Features entry, adds the weekly task when asked,
# the installed program runs /auto, and the silent uninstaller takes everything away
# but the user's settings.
#
# Wine's schtasks creates tasks only from XML (/xml), stores them in
# C:\windows\system32\tasks, and drops the triggers, actions and run level it does not
# implement. So the task's existence is checked where Wine keeps it, and its schedule,
# command and privileges in the definition the installer handed to schtasks.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"
source "$VT_ROOT/scripts/lib/package.sh"

version=$(vt_release_version "$VT_CMAKE_BUILD")
out="$VT_BUILD/release-test"
vt_release_stage "$(VT_EXE)" "$version" "$out/stage" "$(vt_source_date_epoch)" || { e2e_fail "staging"; exit 1; }
vt_release_installer "$out/stage" "$version" "$out" || { e2e_fail "makensis"; exit 1; }
setup="$out/$(vt_release_setup_name "$version")"

e2e_setup release
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel'
INSTDIR="$E2E_C/Program Files/Vantrel"
SHORTCUT="$E2E_C/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantrel.lnk"
TASK="$E2E_C/windows/system32/tasks/Vantrel"
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
SETTINGS="$APPDATA_DIR/Holvane/Vantrel/Vantrel.cfg"

# A sandbox kept from an earlier run starts without Vantrel.
wine reg delete "$KEY" /f >/dev/null 2>&1
rm -rf "$INSTDIR" "$SHORTCUT" "$TASK" "$APPDATA_DIR/Holvane"
mkdir -p "$E2E_C/dist"
cp "$setup" "$E2E_C/dist/setup.exe"

# One value of the uninstall entry, as reg.exe shows it. The installer has ended when
# it is read; a reg.exe that could not start under load is asked once more.
entry() {
    local shown
    shown=$(wine reg query "$KEY" /v "$1" 2>/dev/null) || shown=$(wine reg query "$KEY" /v "$1" 2>/dev/null)
    printf '%s\n' "$shown" | tr -d '\r' | awk -v v="$1" '$1 == v { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

rc=$(e2e_exit_code 120 wine 'C:\dist\setup.exe' /S)
e2e_check "silent install exits with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "Vantrel.exe in Program Files" [ -f "$INSTDIR/Vantrel.exe" ]
e2e_check "README.txt, LICENSE.txt and the uninstaller beside it" \
    test -f "$INSTDIR/README.txt" -a -f "$INSTDIR/LICENSE.txt" -a -f "$INSTDIR/uninstall.exe"
installed_version=$(vt_exe_version "$INSTDIR/Vantrel.exe")
e2e_check "the installed exe is version $version (got $installed_version)" [ "$installed_version" = "$version" ]
e2e_check "Start-menu shortcut for all users" [ -f "$SHORTCUT" ]
e2e_check "no weekly task unless chosen" [ ! -e "$TASK" ]
e2e_check "Programs and Features: name" [ "$(entry DisplayName)" = "Vantrel" ]
e2e_check "Programs and Features: version $version (got $(entry DisplayVersion))" [ "$(entry DisplayVersion)" = "$version" ]
e2e_check "Programs and Features: publisher Holvane" [ "$(entry Publisher)" = "Holvane" ]
size=$(entry EstimatedSize)
exe_kb=$(( $(stat -c %s "$INSTDIR/Vantrel.exe") / 1024 ))
covers_exe() { [ -n "$size" ] && [ $((size)) -ge "$exe_kb" ]; }
e2e_check "Programs and Features: size in KB covers the exe (got $size, exe ${exe_kb} KB)" covers_exe
e2e_check "Programs and Features: the uninstaller" \
    [ "$(entry UninstallString)" = '"C:\Program Files\Vantrel\uninstall.exe"' ]

# Installing again with the option adds the task; the definition names the installed exe.
rc=$(e2e_exit_code 120 wine 'C:\dist\setup.exe' /S /WEEKLY)
e2e_check "silent install with /WEEKLY exits with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "the scheduler holds the task Vantrel" [ -f "$TASK" ]
definition=$(iconv -f UTF-16 -t UTF-8 "$INSTDIR/Vantrel-task.xml" 2>/dev/null | tr -d '\r')
has() { printf '%s\n' "$definition" | grep -qF -- "$1"; }
e2e_check "task runs the installed Vantrel.exe" has '<Command>"C:\Program Files\Vantrel\Vantrel.exe"</Command>'
e2e_check "task passes /auto" has '<Arguments>/auto</Arguments>'
e2e_check "task runs with the highest privileges" has '<RunLevel>HighestAvailable</RunLevel>'
e2e_check "task runs every week" has '<WeeksInterval>1</WeeksInterval>'
e2e_check "task starts on battery" has '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
e2e_check "task goes on when the power goes to battery" has '<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
e2e_check "task runs a missed start when it can" has '<StartWhenAvailable>true</StartWhenAvailable>'
e2e_check "task runs with the installing user's own token" has '<LogonType>InteractiveToken</LogonType>'
# The account that installed: the sandbox's one user, as Windows names it ("MACHINE\user").
user=$(basename "$(dirname "$(dirname "$APPDATA_DIR")")")
account=$(printf '%s\n' "$definition" | sed -n 's|^ *<UserId>\(.*\)</UserId>$|\1|p')
names_installer() { [ "${account##*\\}" = "$user" ]; }
e2e_check "task names the installing account $user (got $account)" names_installer
# What the scheduler kept of it: Wine writes the settings it took into its own copy
# (UTF-8; the principal and the triggers it drops).
kept=$(cat "$TASK" 2>/dev/null)
kept_has() { printf '%s\n' "$kept" | tr -d '\r' | grep -qF -- "$1"; }
e2e_check "the scheduler kept: starts on battery" kept_has '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
e2e_check "the scheduler kept: goes on on battery" kept_has '<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
e2e_check "the scheduler kept: starts when available" kept_has '<StartWhenAvailable>true</StartWhenAvailable>'
weekly=$(entry WeeklyTask)
e2e_check "the weekly choice is remembered (got $weekly)" [ "$weekly" = 0x1 ]

rc=$(e2e_exit_code 180 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "the installed Vantrel.exe /auto exits with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "the run wrote its settings" [ -f "$SETTINGS" ]

# The uninstaller copies itself to TEMP and runs from there, so the first process ends
# at once: let the sandbox's server end with the last process and wait for that.
vt_sandbox_stop "$E2E_SANDBOX"
(cd "$E2E_C" && wine 'C:\Program Files\Vantrel\uninstall.exe' /S >/dev/null 2>&1)
rc=$?
wineserver -w
vt_sandbox_start "$E2E_SANDBOX"
e2e_check "silent uninstall exits with 0 (got $rc)" [ "$rc" = 0 ]
e2e_check "program folder removed" [ ! -e "$INSTDIR" ]
e2e_check "shortcut removed" [ ! -e "$SHORTCUT" ]
e2e_check "task removed" [ ! -e "$TASK" ]
e2e_check "Programs and Features entry removed" [ -z "$(entry DisplayName)" ]
e2e_check "the user's settings stay" [ -f "$SETTINGS" ]

[ "$E2E_FAILURES" -eq 0 ]
