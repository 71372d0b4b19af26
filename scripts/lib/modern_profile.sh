# A Windows 10 style profile for the sandbox: junk in the places today's
# Windows and browsers fill (update downloads, thumbnail caches, error reports,
# crash dumps, shader caches, the caches of Chrome, Edge and Firefox in several
# profiles) in the proportions of a used machine, and the user's own data beside
# it (bookmarks, logins, preferences, sessions, extensions, history databases).
# Used by tests/e2e/modern_profile.sh and the demo. Writes only inside the
# current sandbox ($WINEPREFIX); source after sandbox.sh, with the sandbox's
# environment active.

# vt_modern_seed <junk list> <valuable list> <kept junk list>: seeds the profile and
# writes the Unix paths of the junk the default ticks clean, of the user's files,
# and of the junk that unticked actions would clean, one per line.
vt_modern_seed() {
    local junk_list=$1 keep_list=$2 unticked_list=$3
    : >"$junk_list"; : >"$keep_list"; : >"$unticked_list"
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

    # Windows 10 and 11 places.
    local i
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
    for p in "$chrome/Default" "$chrome/Profile 1" "$edge/Default"; do
        junk "$p/Cache/Cache_Data/data_1" 260
        junk "$p/Cache/Cache_Data/f_000a1b" 500
        junk "$p/Code Cache/js/3f2e1d0c_0" 180
        junk "$p/Code Cache/wasm/index-dir/the-real-index" 20
        junk "$p/GPUCache/data_0" 120
        keep "$p/Bookmarks" '{"roots":{"bookmark_bar":{"children":[{"name":"Docs","url":"https://docs.example/"}]}}}'
        keep "$p/Preferences" '{"profile":{"name":"Person"}}'
        keep "$p/Login Data" 'saved passwords'
        keep "$p/Sessions/Session_13345678901234567" 'open tabs'
        keep "$p/Extensions/abcdefghijklmnop/1.2.3_0/manifest.json" '{"name":"Helper"}'
        vt_modern_chromium_databases "$p"
        printf '%s\n' "$p/History" "$p/Network/Cookies" >>"$keep_list"
    done

    # Firefox 57+: one relative profile named by the Install and Profile sections,
    # one absolute profile elsewhere on C:.
    local ff="$roaming/Mozilla/Firefox" ffl="$local_app/Mozilla/Firefox"
    local rel="Profiles/x8k2m1.default-release" abs_unix="$WINEPREFIX/drive_c/FirefoxWork"
    mkdir -p "$ff/$rel" "$abs_unix"
    printf '[Install308046B0AF4A39CB]\r\nDefault=%s\r\nLocked=1\r\n\r\n[Profile1]\r\nName=work\r\nIsRelative=0\r\nPath=C:\\FirefoxWork\r\n\r\n[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=%s\r\nDefault=1\r\n\r\n[General]\r\nStartWithLastProfile=1\r\nVersion=2\r\n' \
        "$rel" "$rel" >"$ff/profiles.ini"
    printf '%s\n' "$ff/profiles.ini" >>"$keep_list"
    for p in "$ff/$rel" "$abs_unix"; do
        keep "$p/prefs.js" 'user_pref("browser.startup.page", 3);'
        keep "$p/logins.json" '{"logins":[]}'
        keep "$p/key4.db" 'key database'
        keep "$p/sessionstore.jsonlz4" 'mozLz40 session'
        vt_modern_firefox_databases "$p"
        printf '%s\n' "$p/places.sqlite" "$p/cookies.sqlite" >>"$keep_list"
    done
    for p in "$ffl/$rel" "$abs_unix"; do
        junk "$p/cache2/entries/0A1B2C3D4E5F" 700
        junk "$p/cache2/entries/F5E4D3C2B1A0" 300
        junk "$p/cache2/doomed/1" 40
    done
}

# History and cookie databases shaped like Chromium's, in profile folder $1.
vt_modern_chromium_databases() {
    mkdir -p "$1/Network"
    rm -f "$1/History"* "$1/Network/Cookies"*  # seeding again starts afresh
    python3 - "$1/History" "$1/Network/Cookies" <<'PY'
import sqlite3, sys
h = sqlite3.connect(sys.argv[1])
h.executescript("""
CREATE TABLE urls(id INTEGER PRIMARY KEY AUTOINCREMENT, url LONGVARCHAR, title LONGVARCHAR, visit_count INTEGER DEFAULT 0 NOT NULL, last_visit_time INTEGER NOT NULL);
CREATE TABLE visits(id INTEGER PRIMARY KEY AUTOINCREMENT, url INTEGER NOT NULL, visit_time INTEGER NOT NULL, from_visit INTEGER);
CREATE TABLE downloads(id INTEGER PRIMARY KEY, target_path LONGVARCHAR NOT NULL);
INSERT INTO urls(url, title, visit_count, last_visit_time) VALUES ('https://news.example/', 'News', 2, 1), ('https://shop.example/cart', 'Cart', 1, 2);
INSERT INTO visits(url, visit_time) VALUES (1, 1), (1, 2), (2, 3);
INSERT INTO downloads VALUES (1, 'C:\\Users\\u\\Downloads\\setup.exe');
""")
h.commit(); h.close()
c = sqlite3.connect(sys.argv[2])
c.executescript("CREATE TABLE cookies(host_key TEXT, name TEXT, value TEXT); INSERT INTO cookies VALUES ('.shop.example', 'session', 'abc');")
c.commit(); c.close()
PY
    touch -d '40 days ago' "$1/History" "$1/Network/Cookies"
}

# places.sqlite (WAL, with bookmarks) and cookies.sqlite shaped like Firefox's, in profile folder $1.
vt_modern_firefox_databases() {
    rm -f "$1/places.sqlite"* "$1/cookies.sqlite"*
    python3 - "$1/places.sqlite" "$1/cookies.sqlite" <<'PY'
import sqlite3, sys
p = sqlite3.connect(sys.argv[1])
p.executescript("""
CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, visit_count INTEGER DEFAULT 0, last_visit_date INTEGER, origin_id INTEGER);
CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER, visit_date INTEGER, visit_type INTEGER);
CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER, title LONGVARCHAR, guid TEXT);
INSERT INTO moz_places VALUES (1, 'https://docs.example/', 'Docs', 3, 10, NULL), (2, 'https://news.example/', 'News', 5, 20, NULL), (3, 'https://mail.example/', 'Mail', 0, NULL, NULL);
INSERT INTO moz_historyvisits(place_id, visit_date, visit_type) VALUES (1, 10, 1), (2, 15, 1), (2, 20, 1);
INSERT INTO moz_bookmarks VALUES (1, 2, NULL, 0, 'menu', 'menu________'), (2, 1, 1, 1, 'Docs', 'bookmark0001'), (3, 1, 3, 1, 'Mail', 'bookmark0002');
""")
p.commit(); p.close()
c = sqlite3.connect(sys.argv[2])
c.executescript("CREATE TABLE moz_cookies(host TEXT, name TEXT, value TEXT); INSERT INTO moz_cookies VALUES ('.news.example', 'id', '42');")
c.commit(); c.close()
PY
    touch -d '40 days ago' "$1/places.sqlite" "$1/cookies.sqlite"
}
