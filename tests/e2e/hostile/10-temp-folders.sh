# Temporary folders that are not temporary folders: TEMP unset (Windows then
# answers with the profile), a drive, the Windows folder, the profile, a user's
# folder; Outlook's secure temporary folder at a drive root; a Windows Update
# download folder that is a link to a user's folder. Nothing of the user's or the
# system's may go, and the run still ends with 0. Temporary folders in spellings
# the walk never reports (a short 8.3 name, another letter case, "/", doubled
# separators) are still emptied.

tf_win_echo() { (cd "$E2E_C" && wine cmd /c "echo $1" 2>/dev/null | tr -d '\r'); }
TF_PROFILE_WIN=$(tf_win_echo '%USERPROFILE%')  # C:\users\<name>
TF_DOCS="$H_PROFILE/Documents"

# Wine links the profile's Documents to the sandbox's home, which the walk does
# not enter; on Windows it is a real folder, so make it one for these cases.
TF_DOCS_LINK=""
if [ -L "$TF_DOCS" ]; then TF_DOCS_LINK=$(readlink "$TF_DOCS"); rm "$TF_DOCS"; mkdir "$TF_DOCS"; fi

# Old files of the user and of the system that only a whole-folder mask takes,
# and empty folders that only the temporary folders' folder removal would take.
TF_FILES=("$TF_DOCS/Letters/letter.txt" "$H_PROFILE/profile-note.txt" "$H_PROFILE/AppData/Roaming/VtUser/settings.dat"
    "$E2E_C/windows/system32/vtsystem.dll" "$E2E_C/Program Files/VtApp/app.dat" "$H_D/data/photo.jpg")
TF_FOLDERS=("$TF_DOCS/Empty album" "$E2E_C/Program Files/VtApp/plugins" "$H_D/data/empty")
tf_user_files() {
    local f
    for f in "${TF_FILES[@]}"; do h_old "$f"; done
    for f in "${TF_FOLDERS[@]}"; do mkdir -p "$f"; done
}
tf_user_files_intact() {
    local f
    for f in "${TF_FILES[@]}"; do [ -f "$f" ] || { echo "    gone: $f" >&2; return 1; }; done
    for f in "${TF_FOLDERS[@]}"; do [ -d "$f" ] || { echo "    gone: $f" >&2; return 1; }; done
}
tf_user_files_remove() {
    rm -rf "$TF_DOCS/Letters" "$TF_DOCS/Empty album" "$H_PROFILE/profile-note.txt" "$H_PROFILE/AppData/Roaming/VtUser" \
        "$E2E_C/windows/system32/vtsystem.dll" "$E2E_C/Program Files/VtApp"
}

# tf_refused "<what>" NAME=value...: a run with that environment keeps everything.
tf_refused() {
    local what=$1; shift
    hostile_reset
    tf_user_files
    hostile_auto "$@"
    e2e_check "temp $what: /auto ends by itself with 0 (got $H_RC)" [ "$H_RC" = 0 ]
    e2e_check "temp $what: the user's and the system's files and folders stay" tf_user_files_intact
    e2e_check "temp $what: the canary stays" hostile_canary_intact
}

# tf_accepted "<what>" <Unix path of the folder> NAME=value...: the folder's old
# junk and the folders it leaves empty go, the folder itself stays.
tf_accepted() {
    local what=$1 folder=$2; shift 2
    h_old "$folder/setup/data.bin"
    mkdir -p "$folder/left-over"
    tf_user_files
    hostile_auto "$@"
    e2e_check "temp $what: /auto ends by itself with 0 (got $H_RC)" [ "$H_RC" = 0 ]
    e2e_check "temp $what: old junk taken" test ! -e "$folder/setup/data.bin"
    e2e_check "temp $what: emptied folders removed, the folder stays" \
        test ! -e "$folder/setup" -a ! -e "$folder/left-over" -a -d "$folder"
    e2e_check "temp $what: the user's and the system's files and folders stay" tf_user_files_intact
    e2e_check "temp $what: the canary stays" hostile_canary_intact
}

# --- The user's temporary folder ---
tf_refused "unset (the profile)" TEMP= TMP=
tf_refused "C:" TEMP=C: TMP=C:
tf_refused 'C:\' 'TEMP=C:\' 'TMP=C:\'
tf_refused 'D:\' 'TEMP=D:\' 'TMP=D:\'
tf_refused 'C:\windows' 'TEMP=C:\windows' 'TMP=C:\windows'
tf_refused "the profile" "TEMP=$TF_PROFILE_WIN" "TMP=$TF_PROFILE_WIN"
TF_PROFILE_ODD=$(printf '%s' "$TF_PROFILE_WIN" | tr 'a-z\\' 'A-Z/')//
tf_refused "the profile as $TF_PROFILE_ODD" "TEMP=$TF_PROFILE_ODD" "TMP=$TF_PROFILE_ODD"
tf_refused "Documents" "TEMP=$TF_PROFILE_WIN\\Documents" "TMP=$TF_PROFILE_WIN\\Documents"

hostile_reset
mkdir -p "$H_D/Temporary files of the user"
tf_short=$(h_short_name 'D:' 'Temporary files of the user')
if [ -n "$tf_short" ]; then
    tf_accepted "as a short name (D:\\$tf_short\\)" "$H_D/Temporary files of the user" \
        "TEMP=D:\\$tf_short\\" "TMP=D:\\$tf_short\\"
else
    e2e_pass "temp as a short name: skipped, this system gives no short names"
fi

hostile_reset
mkdir -p "$H_D/Ελληνικά"
tf_accepted "in another letter case with / (d:/ΕΛΛΗΝΙΚΆ//)" "$H_D/Ελληνικά" 'TEMP=d:/ΕΛΛΗΝΙΚΆ//' 'TMP=d:/ΕΛΛΗΝΙΚΆ//'

# --- Outlook's secure temporary folder ---
TF_OFFICE='HKCU\Software\Microsoft\Office\11.0'
if (cd "$E2E_C" && wine reg query "$TF_OFFICE" >/dev/null 2>&1); then
    e2e_fail "Outlook secure temp: $TF_OFFICE exists already in the sandbox"
else
    tf_outlook() { (cd "$E2E_C" && wine reg add "$TF_OFFICE\\Outlook\\Security" /v OutlookSecureTempFolder /d "$1" /f >/dev/null 2>&1); }
    tf_outlook 'D:\'
    tf_refused "Outlook secure temp at D:\\"
    hostile_reset
    mkdir -p "$H_D/Outlook secure temporary files"
    tf_short=$(h_short_name 'D:' 'Outlook secure temporary files')
    if [ -n "$tf_short" ]; then
        tf_outlook "D:\\$tf_short"
        h_old "$H_D/Outlook secure temporary files/attachment.doc"
        hostile_auto
        e2e_check "Outlook secure temp as a short name: the old attachment copy is taken" \
            test ! -e "$H_D/Outlook secure temporary files/attachment.doc"
        e2e_check "Outlook secure temp as a short name: the canary stays" hostile_canary_intact
    else
        e2e_pass "Outlook secure temp as a short name: skipped, this system gives no short names"
    fi
    (cd "$E2E_C" && wine reg delete "$TF_OFFICE" /f >/dev/null 2>&1)
fi

# --- A Windows Update download folder that is a link ---
# The action removes the download folders it emptied; removing an empty folder
# through a link removes its target under Wine.
hostile_reset
tf_user_files
TF_PUBLIC_DESKTOP="$E2E_C/users/Public/Desktop"
mkdir -p "$TF_PUBLIC_DESKTOP"
if [ -z "$(ls -A "$TF_PUBLIC_DESKTOP")" ]; then
    ln -s "$TF_PUBLIC_DESKTOP" "$H_D/WUTemp"
    hostile_auto
    e2e_check "Windows Update folder linked to the public desktop: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
    e2e_check "Windows Update folder linked to the public desktop: the desktop folder stays" test -d "$TF_PUBLIC_DESKTOP"
    e2e_check "Windows Update folder linked to the public desktop: the user's files stay" tf_user_files_intact
    rm -f "$H_D/WUTemp"
    mkdir -p "$TF_PUBLIC_DESKTOP"
else
    e2e_fail "Windows Update link: the public desktop of the sandbox is not empty"
fi

tf_user_files_remove
if [ -n "$TF_DOCS_LINK" ]; then rm -rf "$TF_DOCS"; ln -s "$TF_DOCS_LINK" "$TF_DOCS"; fi
hostile_reset
