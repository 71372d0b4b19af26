# Browser profiles laid as traps: cache folders and databases that are links
# to places outside the profile, SQLite's side files as links, and profiles.ini
# paths that name a drive root or climb out of the Firefox folder. With every
# browser action ticked, nothing outside the profiles changes, and each
# database left alone is named in the log and fails the run.

H_LOCAL=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)")
h_browser_ticks() {
    local name items=""
    for name in 'Google Chrome 缓存' 'Google Chrome cookies' 'Google Chrome 历史记录' 'Mozilla Firefox 57+ 缓存' \
        'Mozilla Firefox 57+ cookies' 'Mozilla Firefox 57+ 历史记录'; do
        items="$items<CleanupItem Name=\"清除 $name\" Enabled=\"True\"/>"
    done
    hostile_settings "<CleanupItems>$items</CleanupItems>"
}
h_sum() { sha256sum "$1" 2>/dev/null | cut -d' ' -f1; }

hostile_reset
chrome="$H_LOCAL/Google/Chrome/User Data" ff="$H_APPDATA/Mozilla/Firefox"
rm -rf "$H_LOCAL/Google" "$ff" "$H_LOCAL/Mozilla"
mkdir -p "$chrome/Default/Cache" "$chrome/Default/GPUCache" "$ff/Profiles/p.default"
# The cache folder is a link to a folder of the canary; a cache file is a link to a canary file.
ln -s "$H_CANARY/sub" "$chrome/Default/Cache/Cache_Data"
ln -s "$H_CANARY/outside.tmp" "$chrome/Default/GPUCache/data_0"
# The history database is a link to a database elsewhere; the cookie database's journal a link to a canary file.
python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.executescript("CREATE TABLE urls(id INTEGER PRIMARY KEY, url TEXT); CREATE TABLE visits(id INTEGER PRIMARY KEY, url INTEGER); INSERT INTO urls VALUES (1, \"https://a.example/\"); INSERT INTO visits VALUES (1, 1);"); c.commit()' "$H_CANARY/History"
python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.executescript("CREATE TABLE cookies(host_key TEXT, value TEXT); INSERT INTO cookies VALUES (\"a\", \"b\");"); c.commit()' "$chrome/Default/Cookies"
ln -s "$H_CANARY/History" "$chrome/Default/History"
ln -s "$H_CANARY/outside.bak" "$chrome/Default/Cookies-journal"
# Visited Links, deleted whole by the history action, is a link to a canary file; so is the Favicons database.
ln -s "$H_CANARY/outside.tmp" "$chrome/Default/Visited Links"
ln -s "$H_CANARY/History" "$chrome/Default/Favicons"
# Firefox: a profile whose cache2 is a link, a places.sqlite that is a link, and sections naming
# the drive root and a folder outside the Firefox folder, each holding a prefs.js and a cache2.
printf 'user_pref("a", 1);\n' >"$ff/Profiles/p.default/prefs.js"
ln -s "$H_CANARY/History" "$ff/Profiles/p.default/places.sqlite"
mkdir -p "$H_LOCAL/Mozilla/Firefox/Profiles/p.default"
ln -s "$H_CANARY/sub" "$H_LOCAL/Mozilla/Firefox/Profiles/p.default/cache2"
mkdir -p "$H_APPDATA/Mozilla/Escape/cache2"; printf 'x\n' >"$H_APPDATA/Mozilla/Escape/prefs.js"; h_old "$H_APPDATA/Mozilla/Escape/cache2/keep"
h_old "$H_D/cache2/keep"
printf '[Profile0]\r\nIsRelative=1\r\nPath=Profiles/p.default\r\n\r\n[Profile1]\r\nIsRelative=1\r\nPath=../Escape\r\n\r\n[Profile2]\r\nIsRelative=0\r\nPath=D:\\\r\n\r\n[Install1]\r\nDefault=C:\\\r\n' >"$ff/profiles.ini"
(cd "$H_CANARY" && find . | sort) >"$WINEPREFIX/canary.list"
history_sum=$(h_sum "$H_CANARY/History") bak_sum=$(h_sum "$H_CANARY/outside.bak") cookies_sum=$(h_sum "$chrome/Default/Cookies")
h_browser_ticks
hostile_auto
e2e_check "browser links: /auto ends with 1, the databases it left are failures (got $H_RC)" [ "$H_RC" = 1 ]
h_log="$H_SETTINGS_DIR/Vantrel.log"
for f in 'Default\History: 是链接' 'Default\Cookies: -journal 是链接' 'p.default\places.sqlite: 是链接'; do
    e2e_check "browser links: the log names $f" grep -qF -- "$f" "$h_log"
done
e2e_check "browser links: cache folders and files that are links leave their targets (canary)" hostile_canary_intact
e2e_check "browser links: a history database reached through a link is not written" [ "$(h_sum "$H_CANARY/History")" = "$history_sum" ]
e2e_check "browser links: Visited Links that is a link keeps its target" [ -e "$H_CANARY/outside.tmp" ]
e2e_check "browser links: a journal that is a link keeps its target" [ "$(h_sum "$H_CANARY/outside.bak")" = "$bak_sum" ]
e2e_check "browser links: a cookie database with a linked journal is not written" [ "$(h_sum "$chrome/Default/Cookies")" = "$cookies_sum" ]
e2e_check "browser links: a profile path that climbs out of the Firefox folder is not cleaned" test -e "$H_APPDATA/Mozilla/Escape/cache2/keep"
e2e_check "browser links: a drive root named as a profile is not one (D:\\cache2 stays)" test -e "$H_D/cache2/keep"
rm -rf "$H_LOCAL/Google" "$H_APPDATA/Mozilla" "$H_LOCAL/Mozilla" "$H_D/cache2"

# The Firefox 1.x actions on a profiles.ini whose first profile climbs out of the
# Firefox folder into the user's documents, with the Mozilla key there so the
# actions are offered: nothing in that folder is touched.
hostile_reset
ff="$H_APPDATA/Mozilla/Firefox"
victim=$(realpath -m "$ff/../../../../Documents/victim")
case "$victim" in "$WINEPREFIX"/*) ;; *) e2e_fail "victim folder outside the sandbox"; return 0 2>/dev/null || exit 1 ;; esac
mkdir -p "$ff"
for f in Cache/_CACHE_MAP_ Cache/report.doc cookies.txt history.dat prefs.js; do h_old "$victim/$f"; done
printf '[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=..\\..\\..\\..\\Documents\\victim\r\n' >"$ff/profiles.ini"
wine reg add 'HKCU\Software\Mozilla\Mozilla Firefox' /f >/dev/null 2>&1
victim_before=$(cd "$victim" && find . -type f -exec sha256sum {} + | sort)
items=""
for name in '缓存' 'cookies' '历史记录'; do items="$items<CleanupItem Name=\"清除 Mozilla Firefox $name\" Enabled=\"True\"/>"; done
hostile_settings "<CleanupItems>$items</CleanupItems>"
hostile_auto
e2e_check "legacy Firefox, profile outside its folder: /auto ends with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "legacy Firefox, profile outside its folder: every file of the documents folder stays unchanged" \
    [ "$(cd "$victim" && find . -type f -exec sha256sum {} + | sort)" = "$victim_before" ]
wine reg delete 'HKCU\Software\Mozilla\Mozilla Firefox' /f >/dev/null 2>&1
rm -rf "$H_APPDATA/Mozilla" "$victim"
