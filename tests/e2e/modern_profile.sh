#!/usr/bin/env bash
# A Windows 10 profile (Wine reporting Windows 10) with junk in every place
# today's Windows and browsers fill, several Chromium profiles, a Firefox
# profiles.ini with Install and Profile sections, and the user's data beside it.
# `Vantrel /auto` with the default ticks must free at least 95 % of the junk
# bytes and leave every file of the user's byte for byte. A second run with the
# cookie and history actions ticked clears every store the browsers keep visited
# pages in (laid with their own schemas; Firefox's newest visits only in the
# -wal): no visited page that is not bookmarked is left in any file of any
# profile, Visited Links is gone, the bookmarked pages and every other file of
# the user's (bookmarks, logins, preferences, form entries) stay, and every
# database passes SQLite's integrity check. The last sessions stay byte for
# byte through both runs; a third run with the session actions ticked deletes
# them, and the bookmarks, logins and preferences still stay. The rows of every
# store before and after are printed.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"
source "$VT_ROOT/scripts/lib/modern_profile.sh"

e2e_setup modern --winver win10
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
LOCAL_DIR=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)")
rm -rf "$APPDATA_DIR/Holvane" "$APPDATA_DIR/Mozilla" "$LOCAL_DIR/Google" "$LOCAL_DIR/Microsoft/Edge" "$LOCAL_DIR/Mozilla"
JUNK="$WINEPREFIX/modern-junk.txt" KEEP="$WINEPREFIX/modern-keep.txt" UNTICKED="$WINEPREFIX/modern-unticked.txt"
SESSIONS="$WINEPREFIX/modern-sessions.txt"
vt_modern_seed "$JUNK" "$KEEP" "$UNTICKED" "$SESSIONS" || { e2e_fail "could not seed the profile"; exit 1; }

bytes_of() { local total=0 f; while read -r f; do [ -f "$f" ] && total=$((total + $(stat -c %s "$f"))); done <"$1"; echo "$total"; }
hashes() { while read -r f; do printf '%s  %s\n' "$( [ -f "$f" ] && sha256sum <"$f" | cut -d' ' -f1 || echo gone)" "$f"; done <"$1"; }

junk_before=$(bytes_of "$JUNK")
hashes "$KEEP" >"$WINEPREFIX/keep-before.txt"
e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'

rc=$(e2e_exit_code 240 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "/auto with the default ticks ends with exit code 0 (got $rc)" [ "$rc" = 0 ]
junk_after=$(bytes_of "$JUNK")
share=$(( (junk_before - junk_after) * 1000 / junk_before ))
printf '  freed %d of %d junk bytes: %d.%d %%\n' "$((junk_before - junk_after))" "$junk_before" "$((share / 10))" "$((share % 10))" >&2
e2e_check "at least 95 % of the junk bytes freed (${share}‰)" [ "$share" -ge 950 ]
left=$(while read -r f; do [ -e "$f" ] && printf '%s\n' "${f#$WINEPREFIX/}"; done <"$JUNK")
e2e_check "no junk file left${left:+: $left}" [ -z "$left" ]
hashes "$KEEP" >"$WINEPREFIX/keep-after.txt"
changed=$(diff "$WINEPREFIX/keep-before.txt" "$WINEPREFIX/keep-after.txt" | grep '^>' | cut -c3- | sed "s|$WINEPREFIX/||")
e2e_check "every file of the user's unchanged by hash${changed:+: $changed}" [ -z "$changed" ]
e2e_check "unticked Delivery Optimization cache kept" [ "$(bytes_of "$UNTICKED")" -gt 0 ]

cfg="$APPDATA_DIR/Holvane/Vantrel/Vantrel.cfg"
for name in '删除 Windows Update 下载的更新文件' '清除 Google Chrome 缓存' '清除 Microsoft Edge 历史记录' '清除 Mozilla Firefox 57+ cookies' '清空传递优化缓存'; do
    e2e_check "settings hold the new action \"$name\"" grep -qF "Name=\"$name\"" "$cfg"
done
for name in '清除 Google Chrome 会话' '清除 Microsoft Edge 会话' '清除 Mozilla Firefox 57+ 会话'; do
    e2e_check "settings hold the session action \"$name\", unticked" grep -qF "Name=\"$name\" Enabled=\"False\"" "$cfg"
done
e2e_check "session files laid in every profile" [ "$(grep -c . "$SESSIONS")" -ge 18 ]

# Second run: cookies and history ticked (the settings file keeps the ticks).
sed -i -E 's/(Name="清除 (Google Chrome|Microsoft Edge|Mozilla Firefox 57\+) (cookies|历史记录)" Enabled=)"False"/\1"True"/' "$cfg"
e2e_check "cookie and history actions ticked in the settings" [ "$(grep -c 'cookies" Enabled="True"\|历史记录" Enabled="True"' "$cfg")" -ge 6 ]
profiles=()
for p in "$LOCAL_DIR/Google/Chrome/User Data/Default" "$LOCAL_DIR/Google/Chrome/User Data/Profile 1" \
    "$LOCAL_DIR/Microsoft/Edge/User Data/Default" "$APPDATA_DIR/Mozilla/Firefox/Profiles/x8k2m1.default-release" \
    "$WINEPREFIX/drive_c/FirefoxWork"; do profiles+=("$p"); done
profile_tool() { python3 "$VT_ROOT/scripts/lib/browser_profiles.py" "$@"; }
rows_before=$(profile_tool rows "${profiles[@]}")
e2e_check "visited pages laid in every profile" [ "$(profile_tool residue "${profiles[@]}" | grep -c .)" -ge 20 ]
rc=$(e2e_exit_code 240 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "/auto with cookies and history ticked ends with exit code 0 (got $rc)" [ "$rc" = 0 ]
rows_after=$(profile_tool rows "${profiles[@]}")
# The closing note's figures: every store's rows, before and after.
join -t'|' <(sort <<<"$rows_before") <(sort <<<"$rows_after") |
    while IFS='|' read -r store before after; do
        printf '  %s\n    before: %s\n    after:  %s\n' "${store#$WINEPREFIX/}" "$before" "$after" >&2
    done
residue=$(profile_tool residue "${profiles[@]}" | sed "s|$WINEPREFIX/||")
e2e_check "no visited page left in any file of any profile (-wal and -journal included)${residue:+: $residue}" [ -z "$residue" ]
# Looked at before anything opens the databases again.
for p in "${profiles[@]:3}"; do
    for db in places.sqlite favicons.sqlite cookies.sqlite; do
        e2e_check "no -wal left holding old pages: ${p#$WINEPREFIX/}/$db" [ ! -s "$p/$db-wal" ]
    done
done
sql() { python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); print(c.execute(sys.argv[2]).fetchone()[0])' "$1" "$2" 2>&1; }
for p in "${profiles[@]:0:3}"; do
    e2e_check "Visited Links gone: ${p#$WINEPREFIX/}" [ ! -e "$p/Visited Links" ]
    e2e_check "the lock made for the clean went with it: ${p%/*}" [ ! -e "${p%/*}/lockfile" ]
    e2e_check "bookmarked pages keep their rows, unvisited: ${p#$WINEPREFIX/}" \
        [ "$(sql "$p/History" "select group_concat(url || ' ' || visit_count, ',') from urls")" = "https://docs.example/manual 0,https://mail.example/inbox 0" ]
    e2e_check "bookmarked pages keep their icons: ${p#$WINEPREFIX/}" \
        [ "$(sql "$p/Favicons" "select group_concat(page_url) from icon_mapping")" = "https://docs.example/manual,https://mail.example/inbox" ]
    e2e_check "downloads kept: ${p#$WINEPREFIX/}" [ "$(sql "$p/History" 'select count(*) from downloads')" = 1 ]
    e2e_check "no cookie left: ${p#$WINEPREFIX/}" [ "$(sql "$p/Network/Cookies" 'select count(*) from cookies')" = 0 ]
    for db in History Favicons "Top Sites" Shortcuts "Network Action Predictor" Network/Cookies "Web Data"; do
        e2e_check "integrity ok: ${p#$WINEPREFIX/}/$db" [ "$(sql "$p/$db" 'pragma integrity_check')" = ok ]
    done
done
for p in "${profiles[@]:3}"; do
    e2e_check "bookmarked and keyword places kept: ${p#$WINEPREFIX/}" \
        [ "$(sql "$p/places.sqlite" "select group_concat(url) from moz_places")" = "https://docs.example/,https://mail.example/,https://search.example/search?q=%s" ]
    e2e_check "no visit left: ${p#$WINEPREFIX/}" [ "$(sql "$p/places.sqlite" 'select count(*) from moz_historyvisits')" = 0 ]
    e2e_check "bookmarks kept: ${p#$WINEPREFIX/}" [ "$(sql "$p/places.sqlite" 'select count(*) from moz_bookmarks')" = 4 ]
    e2e_check "no cookie left: ${p#$WINEPREFIX/}" [ "$(sql "$p/cookies.sqlite" 'select count(*) from moz_cookies')" = 0 ]
    for db in places.sqlite favicons.sqlite cookies.sqlite formhistory.sqlite; do
        e2e_check "integrity ok: ${p#$WINEPREFIX/}/$db" [ "$(sql "$p/$db" 'pragma integrity_check')" = ok ]
    done
done
hashes "$KEEP" >"$WINEPREFIX/keep-after2.txt"
changed=$(diff "$WINEPREFIX/keep-before.txt" "$WINEPREFIX/keep-after2.txt" | grep '^>' | cut -c3- | sed "s|$WINEPREFIX/||" |
    grep -v -E '/(History|Favicons|Top Sites|Shortcuts|Network Action Predictor|Network/Cookies|Visited Links|(places|favicons|cookies)\.sqlite(-wal)?)$')
e2e_check "bookmarks, logins, preferences, form entries, sessions and extensions unchanged${changed:+: $changed}" [ -z "$changed" ]

# Third run: the session actions ticked, cookies and history not. The sessions
# go, through the lock the history clean takes; nothing else of the user's
# changes, the history stores included.
sed -i -E -e 's/(Name="清除 (Google Chrome|Microsoft Edge|Mozilla Firefox 57\+) 会话" Enabled=)"False"/\1"True"/' \
    -e 's/(Name="清除 (Google Chrome|Microsoft Edge|Mozilla Firefox 57\+) (cookies|历史记录)" Enabled=)"True"/\1"False"/' "$cfg"
e2e_check "session actions ticked in the settings" [ "$(grep -c '会话" Enabled="True"' "$cfg")" = 3 ]
e2e_check "cookie and history actions unticked in the settings" [ "$(grep -c 'cookies" Enabled="True"\|历史记录" Enabled="True"' "$cfg")" = 0 ]
rc=$(e2e_exit_code 240 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "/auto with the session actions ticked ends with exit code 0 (got $rc)" [ "$rc" = 0 ]
left=$(while read -r f; do [ -e "$f" ] && printf '%s\n' "${f#$WINEPREFIX/}"; done <"$SESSIONS")
e2e_check "every session file gone${left:+: $left}" [ -z "$left" ]
for p in "${profiles[@]:0:3}"; do
    e2e_check "the Sessions folder itself stays: ${p#$WINEPREFIX/}" [ -d "$p/Sessions" ]
done
hashes "$KEEP" >"$WINEPREFIX/keep-after3.txt"
changed=$(diff "$WINEPREFIX/keep-after2.txt" "$WINEPREFIX/keep-after3.txt" | grep '^>' | cut -c3- | sed "s|$WINEPREFIX/||" |
    grep -v -F -f <(sed "s|$WINEPREFIX/||" "$SESSIONS"))
e2e_check "bookmarks, logins, preferences and everything else unchanged by the session run${changed:+: $changed}" [ -z "$changed" ]
for f in Bookmarks "Login Data" Preferences; do
    for p in "${profiles[@]:0:3}"; do
        e2e_check "$f unchanged by hash through all three runs: ${p#$WINEPREFIX/}" \
            [ "$(grep -F "  $p/$f" "$WINEPREFIX/keep-before.txt")" = "$(grep -F "  $p/$f" "$WINEPREFIX/keep-after3.txt")" ]
    done
done
for f in logins.json prefs.js; do
    for p in "${profiles[@]:3}"; do
        e2e_check "$f unchanged by hash through all three runs: ${p#$WINEPREFIX/}" \
            [ "$(grep -F "  $p/$f" "$WINEPREFIX/keep-before.txt")" = "$(grep -F "  $p/$f" "$WINEPREFIX/keep-after3.txt")" ]
    done
done

[ "$E2E_FAILURES" -eq 0 ]
