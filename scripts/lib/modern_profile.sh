# A Windows 10 style profile for the sandbox: junk in the places today's
# Windows and browsers fill (update downloads, thumbnail caches, error reports,
# crash dumps, shader caches, the caches of Chrome, Edge and Firefox in several
# profiles) in the proportions of a used machine, and the user's own data beside
# it (bookmarks, logins, preferences, sessions, extensions, form entries, and the
# history stores laid with the browsers' own schemas by browser_profiles.py).
# Used by tests/e2e/modern_profile.sh and the demo. Writes only inside the
# current sandbox ($WINEPREFIX); source after sandbox.sh, with the sandbox's
# environment active.

# vt_modern_seed <junk list> <valuable list> <kept junk list> [<session list>]:
# seeds the profile and writes the Unix paths of the junk the default ticks
# clean, of the user's files, and of the junk that unticked actions would clean,
# one per line. The browsers' last sessions are the user's files too (only the
# unticked session actions take them); the session list names them again.
vt_modern_seed() {
    local junk_list=$1 keep_list=$2 unticked_list=$3 session_list=${4:-/dev/null}
    : >"$junk_list"; : >"$keep_list"; : >"$unticked_list"; : >"$session_list"
    local windows="$WINEPREFIX/drive_c/windows" local_app roaming programdata temp
    local_app=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)") || return 1
    roaming=$(realpath "$(vt_sandbox_folder APPDATA)") || return 1
    programdata=$(realpath "$(vt_sandbox_folder ProgramData)") || return 1
    temp=$(realpath "$(vt_sandbox_folder TEMP)") || return 1
    case "$local_app$roaming$programdata$temp" in *"$WINEPREFIX"/*) ;; *) vt_say "profile folders outside the sandbox"; return 1 ;; esac

    # junk <path> <KiB>: old enough for every protection mode.
    junk() { mkdir -p "$(dirname "$1")"; head -c "$(($2 * 1024))" /dev/urandom >"$1"; touch -d '40 days ago' "$1"; printf '%s\n' "$1" >>"$junk_list"; }
    unticked() { junk "$1" "$2"; sed -i '$d' "$junk_list"; printf '%s\n' "$1" >>"$unticked_list"; }
    keep() { mkdir -p "$(dirname "$1")"; printf '%s\n' "$2" >"$1"; touch -d '40 days ago' "$1"; printf '%s\n' "$1" >>"$keep_list"; }
    session() { keep "$1" "$2"; printf '%s\n' "$1" >>"$session_list"; }

    # Windows 10 and 11 places.
    local i f
    for i in 1 2 3; do junk "$windows/SoftwareDistribution/Download/a1b2c3d4e5f6$i/windows10.0-kb50$i.cab" 1400; done
    junk "$windows/SoftwareDistribution/Download/0f9e8d7c/express.psf" 900
    keep "$windows/SoftwareDistribution/DataStore/DataStore.edb" "update history database"
    junk "$local_app/Microsoft/Windows/Explorer/thumbcache_256.db" 900
    junk "$local_app/Microsoft/Windows/Explorer/thumbcache_96.db" 500
    junk "$local_app/Microsoft/Windows/Explorer/thumbcache_idx.db" 60
    keep "$local_app/Microsoft/Windows/Explorer/iconcache_32.db" "icon cache stays"
    junk "$local_app/Microsoft/Windows/WER/ReportArchive/AppCrash_game.exe_1a2b/Report.wer" 40
    junk "$local_app/Microsoft/Windows/WER/ReportArchive/AppCrash_game.exe_1a2b/memory.hdmp" 500
    junk "$programdata/Microsoft/Windows/WER/ReportQueue/Kernel_141_3c4d/WATCHDOG.dmp" 400
    junk "$local_app/CrashDumps/game.exe.4312.dmp" 1000
    keep "$local_app/CrashDumps/readme.txt" "not a dump"
    junk "$local_app/D3DSCache/7f3a2b1c9d8e/game.idx" 100
    junk "$local_app/D3DSCache/7f3a2b1c9d8e/game.val" 600
    unticked "$windows/ServiceProfiles/NetworkService/AppData/Local/Microsoft/Windows/DeliveryOptimization/Cache/8a7b6c/content.bin" 800
    # What Vantrel cleaned before: temporary folders, prefetch, minidumps.
    junk "$temp/setup-4711/payload.tmp" 300
    junk "$windows/Temp/msi1234.tmp" 200
    junk "$windows/Prefetch/GAME.EXE-1A2B3C4D.pf" 150
    junk "$windows/Minidump/120126-01.dmp" 150

    # Chromium browsers: caches in several profiles, the user's data beside them.
    local chrome="$local_app/Google/Chrome/User Data" edge="$local_app/Microsoft/Edge/User Data" p
    keep "$chrome/Local State" '{"profile":{"info_cache":{"Default":{},"Profile 1":{}}}}'
    keep "$edge/Local State" '{"profile":{"info_cache":{"Default":{}}}}'
    local n=0
    for p in "$chrome/Default" "$chrome/Profile 1" "$edge/Default"; do
        n=$((n + 1))
        junk "$p/Cache/Cache_Data/data_1" 260
        junk "$p/Cache/Cache_Data/f_000a1b" 500
        junk "$p/Code Cache/js/3f2e1d0c_0" 180
        junk "$p/Code Cache/wasm/index-dir/the-real-index" 20
        junk "$p/GPUCache/data_0" 120
        # Chromium's cache clear takes the remembered HTTPS rules and network hints.
        junk "$p/Network/TransportSecurity" 4
        junk "$p/Network/Network Persistent State" 4
        keep "$p/Preferences" '{"profile":{"name":"Person"}}'
        keep "$p/Login Data" 'saved passwords'
        keep "$p/Network/Reporting and NEL" 'network reporting'
        session "$p/Sessions/Session_13345678901234567" 'open tabs https://news.example/today'
        session "$p/Sessions/Tabs_13345678901234567" 'tab restore https://bank.example/login'
        session "$p/Current Session" 'older session file'
        session "$p/Last Tabs" 'older tabs file'
        keep "$p/Extensions/abcdefghijklmnop/1.2.3_0/manifest.json" '{"name":"Helper"}'
        vt_modern_chromium_databases "$p" "$n" || return 1
        for f in Bookmarks History Favicons "Top Sites" Shortcuts "Network Action Predictor" "Visited Links" \
            "Web Data" Network/Cookies; do printf '%s\n' "$p/$f"; done >>"$keep_list"
    done

    # Firefox 57+: one relative profile named by the Install and Profile sections,
    # one absolute profile elsewhere on C:.
    local ff="$roaming/Mozilla/Firefox" ffl="$local_app/Mozilla/Firefox"
    local rel="Profiles/x8k2m1.default-release" abs_unix="$WINEPREFIX/drive_c/FirefoxWork"
    mkdir -p "$ff/$rel" "$abs_unix"
    printf '[Install308046B0AF4A39CB]\r\nDefault=%s\r\nLocked=1\r\n\r\n[Profile1]\r\nName=work\r\nIsRelative=0\r\nPath=C:\\FirefoxWork\r\n\r\n[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=%s\r\nDefault=1\r\n\r\n[General]\r\nStartWithLastProfile=1\r\nVersion=2\r\n' \
        "$rel" "$rel" >"$ff/profiles.ini"
    printf '%s\n' "$ff/profiles.ini" >>"$keep_list"
    n=0
    for p in "$ff/$rel" "$abs_unix"; do
        n=$((n + 1))
        keep "$p/prefs.js" 'user_pref("browser.startup.page", 3);'
        keep "$p/logins.json" '{"logins":[]}'
        keep "$p/key4.db" 'key database'
        session "$p/sessionstore.jsonlz4" 'mozLz40 session'
        session "$p/sessionstore-backups/recovery.jsonlz4" 'mozLz40 recovery'
        session "$p/sessionstore-backups/previous.jsonlz4" 'mozLz40 previous'
        vt_modern_firefox_databases "$p" "$n" || return 1
        for f in places.sqlite places.sqlite-wal favicons.sqlite favicons.sqlite-wal cookies.sqlite \
            cookies.sqlite-wal formhistory.sqlite; do printf '%s\n' "$p/$f"; done >>"$keep_list"
    done
    for p in "$ffl/$rel" "$abs_unix"; do
        junk "$p/cache2/entries/0A1B2C3D4E5F" 700
        junk "$p/cache2/entries/F5E4D3C2B1A0" 300
        junk "$p/cache2/doomed/1" 40
    done
}

# The history stores, cookies and form entries of Chromium profile $1 (the
# $2-th laid), in the browser's own schemas, and its bookmarks.
vt_modern_chromium_databases() {
    python3 "$VT_ROOT/scripts/lib/browser_profiles.py" chromium "$1" "$2" || return 1
    local f
    for f in Bookmarks History Favicons "Top Sites" Shortcuts "Network Action Predictor" "Visited Links" "Web Data" \
        Network/Cookies; do touch -c -d '40 days ago' "$1/$f" "$1/$f-journal"; done
}

# places.sqlite (WAL, its newest visits only in the -wal), favicons.sqlite,
# cookies.sqlite and formhistory.sqlite of Firefox profile $1 (the $2-th laid).
vt_modern_firefox_databases() {
    python3 "$VT_ROOT/scripts/lib/browser_profiles.py" firefox "$1" "$2" || return 1
    touch -d '40 days ago' "$1"/*.sqlite*
}
