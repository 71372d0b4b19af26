#!/usr/bin/env python3
"""Browser profiles laid with the browsers' own schemas, for the e2e tests.

The CREATE TABLE statements are written the way Chromium (History v70,
Favicons v9, Top Sites v5, Shortcuts v2, Network Action Predictor, cookies,
Web Data) and Firefox 57+ (places.sqlite, favicons.sqlite, cookies.sqlite,
formhistory.sqlite) write them. Every page visited and not bookmarked carries
the mark "vt-visit-" in its address (and every search typed, in its text), so
one byte search over a profile tells whether any of it survived. Bookmarked
pages, downloads Chromium keeps apart and form entries carry other marks.

  browser_profiles.py chromium <profile folder> <n>   lays a Chromium profile
  browser_profiles.py firefox <profile folder> <n>    lays a Firefox profile
  browser_profiles.py residue <folder>...             lists files still holding a visited page
  browser_profiles.py rows <folder>...                row counts of every store, one line each
"""
import os
import shutil
import sqlite3
import struct
import sys
import tempfile
import zlib

MARK = b"vt-visit-"
CHROME_TIME = 13370000000000000  # microseconds since 1601, autumn 2024


def script(path, sql, wal=False):
    db = sqlite3.connect(path)
    if wal:
        db.execute("PRAGMA journal_mode=WAL")
    db.executescript(sql)
    db.commit()
    db.close()


def insert(db, table, rows):
    for row in rows:
        db.execute("INSERT INTO %s VALUES (%s)" % (table, ",".join("?" * len(row))), row)


# --- Chromium ---

HISTORY_SCHEMA = """
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE urls(id INTEGER PRIMARY KEY AUTOINCREMENT,url LONGVARCHAR,title LONGVARCHAR,visit_count INTEGER DEFAULT 0 NOT NULL,typed_count INTEGER DEFAULT 0 NOT NULL,last_visit_time INTEGER NOT NULL,hidden INTEGER DEFAULT 0 NOT NULL);
CREATE TABLE visits(id INTEGER PRIMARY KEY AUTOINCREMENT,url INTEGER NOT NULL,visit_time INTEGER NOT NULL,from_visit INTEGER,external_referrer_url TEXT,transition INTEGER DEFAULT 0 NOT NULL,segment_id INTEGER,visit_duration INTEGER DEFAULT 0 NOT NULL,incremented_omnibox_typed_score BOOLEAN DEFAULT FALSE NOT NULL,opener_visit INTEGER,originator_cache_guid TEXT,originator_visit_id INTEGER,originator_from_visit INTEGER,originator_opener_visit INTEGER,is_known_to_sync BOOLEAN DEFAULT FALSE NOT NULL,consider_for_ntp_most_visited BOOLEAN DEFAULT FALSE NOT NULL,visited_link_id INTEGER DEFAULT 0 NOT NULL,app_id TEXT);
CREATE TABLE visit_source(id INTEGER PRIMARY KEY,source INTEGER NOT NULL);
CREATE TABLE keyword_search_terms (keyword_id INTEGER NOT NULL,url_id INTEGER NOT NULL,term LONGVARCHAR NOT NULL,normalized_term LONGVARCHAR NOT NULL);
CREATE TABLE segments (id INTEGER PRIMARY KEY,name VARCHAR,url_id INTEGER NON NULL);
CREATE TABLE segment_usage (id INTEGER PRIMARY KEY,segment_id INTEGER NOT NULL,time_slot INTEGER NOT NULL,visit_count INTEGER DEFAULT 0 NOT NULL);
CREATE TABLE visited_links(id INTEGER PRIMARY KEY AUTOINCREMENT,link_url_id INTEGER NOT NULL,top_level_url LONGVARCHAR NOT NULL,frame_url LONGVARCHAR NOT NULL,visit_count INTEGER DEFAULT 0 NOT NULL);
CREATE TABLE history_sync_metadata (storage_key INTEGER PRIMARY KEY NOT NULL, value BLOB);
CREATE TABLE downloads (id INTEGER PRIMARY KEY,guid VARCHAR NOT NULL,current_path LONGVARCHAR NOT NULL,target_path LONGVARCHAR NOT NULL,start_time INTEGER NOT NULL,received_bytes INTEGER NOT NULL,total_bytes INTEGER NOT NULL,state INTEGER NOT NULL,danger_type INTEGER NOT NULL,interrupt_reason INTEGER NOT NULL,hash BLOB NOT NULL,end_time INTEGER NOT NULL,opened INTEGER NOT NULL,last_access_time INTEGER NOT NULL,transient INTEGER NOT NULL,referrer VARCHAR NOT NULL,site_url VARCHAR NOT NULL,embedder_download_data VARCHAR NOT NULL,tab_url VARCHAR NOT NULL,tab_referrer_url VARCHAR NOT NULL,http_method VARCHAR NOT NULL,by_ext_id VARCHAR NOT NULL,by_ext_name VARCHAR NOT NULL,by_web_app_id VARCHAR NOT NULL,etag VARCHAR NOT NULL,last_modified VARCHAR NOT NULL,mime_type VARCHAR(255) NOT NULL,original_mime_type VARCHAR(255) NOT NULL);
CREATE TABLE downloads_url_chains (id INTEGER NOT NULL,chain_index INTEGER NOT NULL,url LONGVARCHAR NOT NULL, PRIMARY KEY (id, chain_index) );
CREATE TABLE downloads_slices (download_id INTEGER NOT NULL,offset INTEGER NOT NULL,received_bytes INTEGER NOT NULL,finished INTEGER NOT NULL DEFAULT 0,PRIMARY KEY (download_id, offset) );
CREATE INDEX urls_url_index ON urls (url);
CREATE INDEX visits_url_index ON visits (url);
CREATE INDEX visits_from_index ON visits (from_visit);
CREATE INDEX visits_time_index ON visits (visit_time);
CREATE INDEX keyword_search_terms_index1 ON keyword_search_terms (keyword_id, normalized_term);
CREATE INDEX keyword_search_terms_index2 ON keyword_search_terms (url_id);
CREATE INDEX keyword_search_terms_index3 ON keyword_search_terms (term);
CREATE INDEX segments_name ON segments(name);
CREATE INDEX segments_url_id ON segments(url_id);
CREATE INDEX segment_usage_time_slot_segment_id ON segment_usage(time_slot, segment_id);
CREATE INDEX visited_links_index ON visited_links (link_url_id, top_level_url, frame_url);
INSERT INTO meta VALUES ('mmap_status', '-1'), ('version', '70'), ('last_compatible_version', '16');
"""

FAVICONS_SCHEMA = """
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE icon_mapping(id INTEGER PRIMARY KEY,page_url LONGVARCHAR NOT NULL,icon_id INTEGER,page_url_type INTEGER DEFAULT 0);
CREATE TABLE favicons(id INTEGER PRIMARY KEY,url LONGVARCHAR NOT NULL,icon_type INTEGER DEFAULT 1);
CREATE TABLE favicon_bitmaps(id INTEGER PRIMARY KEY,icon_id INTEGER NOT NULL,last_updated INTEGER DEFAULT 0,image_data BLOB,width INTEGER DEFAULT 0,height INTEGER DEFAULT 0,last_requested INTEGER DEFAULT 0);
CREATE INDEX icon_mapping_page_url_idx ON icon_mapping(page_url);
CREATE INDEX icon_mapping_icon_id_idx ON icon_mapping(icon_id);
CREATE INDEX favicons_url ON favicons(url);
CREATE INDEX favicon_bitmaps_icon_id ON favicon_bitmaps(icon_id);
INSERT INTO meta VALUES ('mmap_status', '-1'), ('version', '9'), ('last_compatible_version', '9');
"""

TOP_SITES_SCHEMA = """
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE top_sites(url TEXT NOT NULL PRIMARY KEY,url_rank INTEGER NOT NULL,title TEXT NOT NULL);
INSERT INTO meta VALUES ('mmap_status', '-1'), ('version', '5'), ('last_compatible_version', '5');
"""

SHORTCUTS_SCHEMA = """
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE omni_box_shortcuts(id VARCHAR PRIMARY KEY,text VARCHAR,fill_into_edit VARCHAR,url VARCHAR,document_type INTEGER,contents VARCHAR,contents_class VARCHAR,description VARCHAR,description_class VARCHAR,transition INTEGER,type INTEGER,keyword VARCHAR,last_access_time INTEGER,number_of_hits INTEGER);
INSERT INTO meta VALUES ('mmap_status', '-1'), ('version', '2'), ('last_compatible_version', '1');
"""

PREDICTOR_SCHEMA = """
CREATE TABLE network_action_predictor(id TEXT PRIMARY KEY, user_text TEXT, url TEXT, number_of_hits INTEGER, number_of_misses INTEGER);
CREATE TABLE resource_prefetch_predictor_host_redirect ( key TEXT, proto BLOB, PRIMARY KEY(key));
CREATE TABLE resource_prefetch_predictor_origin ( key TEXT, proto BLOB, PRIMARY KEY(key));
CREATE TABLE resource_prefetch_predictor_metadata ( key TEXT, value INTEGER, PRIMARY KEY (key));
CREATE TABLE lcp_critical_path_predictor ( key TEXT, proto BLOB, PRIMARY KEY(key));
CREATE TABLE lcp_critical_path_predictor_initiator_origin ( key TEXT, proto BLOB, PRIMARY KEY(key));
INSERT INTO resource_prefetch_predictor_metadata VALUES ('version', 5);
"""

COOKIES_SCHEMA = """
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE cookies(creation_utc INTEGER NOT NULL,host_key TEXT NOT NULL,top_frame_site_key TEXT NOT NULL,name TEXT NOT NULL,value TEXT NOT NULL,encrypted_value BLOB NOT NULL,path TEXT NOT NULL,expires_utc INTEGER NOT NULL,is_secure INTEGER NOT NULL,is_httponly INTEGER NOT NULL,last_access_utc INTEGER NOT NULL,has_expires INTEGER NOT NULL,is_persistent INTEGER NOT NULL,priority INTEGER NOT NULL,samesite INTEGER NOT NULL,source_scheme INTEGER NOT NULL,source_port INTEGER NOT NULL,last_update_utc INTEGER NOT NULL,source_type INTEGER NOT NULL,has_cross_site_ancestor INTEGER NOT NULL);
CREATE UNIQUE INDEX cookies_unique_index ON cookies(host_key, top_frame_site_key, has_cross_site_ancestor, name, path, source_scheme, source_port);
INSERT INTO meta VALUES ('mmap_status', '-1'), ('version', '24'), ('last_compatible_version', '24');
"""

WEB_DATA_SCHEMA = """
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE autofill (name VARCHAR, value VARCHAR, value_lower VARCHAR, date_created INTEGER DEFAULT 0, date_last_used INTEGER DEFAULT 0, count INTEGER DEFAULT 1, PRIMARY KEY (name, value));
CREATE INDEX autofill_name ON autofill (name);
CREATE INDEX autofill_name_value_lower ON autofill (name, value_lower);
INSERT INTO meta VALUES ('version', '134'), ('last_compatible_version', '134');
INSERT INTO autofill VALUES ('q', 'vt-form-weather tomorrow', 'vt-form-weather tomorrow', 1700000000, 1700000500, 3);
INSERT INTO autofill VALUES ('email', 'person@mail.example', 'person@mail.example', 1700000000, 1700000000, 1);
"""


def chromium_profile(folder, n):
    """History and the stores around it for profile n (1, 2, ...)."""
    os.makedirs(os.path.join(folder, "Network"), exist_ok=True)
    for name in ("History", "Favicons", "Top Sites", "Shortcuts", "Network Action Predictor", "Web Data",
                 "Visited Links", "Network/Cookies", "Bookmarks"):
        for suffix in ("", "-journal", "-wal", "-shm"):
            path = os.path.join(folder, name + suffix)
            if os.path.exists(path):
                os.remove(path)
    bookmarked = ["https://docs.example/manual", "https://mail.example/inbox"]
    visited = ["https://vt-visit-news%d.example/world/vt-visit-%d-%d" % (n, n, i) for i in range(1, 7)]
    visited += ["https://docs.example/vt-visit-faq-%d" % n,  # on a bookmarked site, not bookmarked
                "https://vt-visit-bank%d.example/login?vt-visit-session=%d" % (n, n),
                "https://search.example/search?q=vt-visit-weather-%d" % n]
    pages = bookmarked + visited

    h = sqlite3.connect(os.path.join(folder, "History"))
    h.executescript(HISTORY_SCHEMA)
    visit_id = 0
    for url_id, url in enumerate(pages, 1):
        count = 1 + url_id % 3
        h.execute("INSERT INTO urls VALUES (?,?,?,?,?,?,0)",
                  (url_id, url, "Page %d" % url_id, count, url_id % 2, CHROME_TIME + url_id * 1000000))
        for k in range(count):
            visit_id += 1
            h.execute("INSERT INTO visits(id,url,visit_time,from_visit,transition,segment_id,visit_duration,"
                      "visited_link_id) VALUES (?,?,?,?,?,?,?,?)",
                      (visit_id, url_id, CHROME_TIME + visit_id * 1000, 0, 0x30000001 if k else 0x30000000,
                       url_id, 5000000, visit_id))
            h.execute("INSERT INTO visited_links VALUES (?,?,?,?,1)", (visit_id, url_id, url, url))
        h.execute("INSERT INTO segments VALUES (?,?,?)", (url_id, url.split("/")[2], url_id))
        h.execute("INSERT INTO segment_usage VALUES (?,?,?,?)", (url_id, url_id, CHROME_TIME, count))
    h.execute("INSERT INTO visit_source VALUES (1, 1)")
    search_id = len(pages)
    h.execute("INSERT INTO keyword_search_terms VALUES (2, ?, ?, ?)",
              (search_id, "vt-visit-Weather %d" % n, "vt-visit-weather %d" % n))
    # A download from the bookmarked manual: Chromium keeps downloads apart from history.
    h.execute("INSERT INTO downloads VALUES (1, 'guid-1', 'C:\\Users\\Person\\Downloads\\manual.pdf',"
              " 'C:\\Users\\Person\\Downloads\\manual.pdf', ?, 100, 100, 1, 0, 0, x'00', ?, 0, 0, 0,"
              " 'https://docs.example/manual', 'https://docs.example/', '', 'https://docs.example/manual', '',"
              " 'GET', '', '', '', '', '', 'application/pdf', 'application/pdf')", (CHROME_TIME, CHROME_TIME))
    h.execute("INSERT INTO downloads_url_chains VALUES (1, 0, 'https://docs.example/files/manual.pdf')")
    h.commit()
    h.close()

    f = sqlite3.connect(os.path.join(folder, "Favicons"))
    f.executescript(FAVICONS_SCHEMA)
    hosts = sorted({url.split("/")[2] for url in pages})
    for icon_id, host in enumerate(hosts, 1):
        f.execute("INSERT INTO favicons VALUES (?, ?, 1)", (icon_id, "https://%s/favicon.ico" % host))
        for size in (16, 32):
            f.execute("INSERT INTO favicon_bitmaps(icon_id,last_updated,image_data,width,height) VALUES (?,?,?,?,?)",
                      (icon_id, CHROME_TIME, b"\x89PNG\r\n\x1a\n" + host.encode() * 4, size, size))
    for mapping_id, url in enumerate(pages, 1):
        f.execute("INSERT INTO icon_mapping VALUES (?, ?, ?, 0)", (mapping_id, url, hosts.index(url.split("/")[2]) + 1))
    f.commit()
    f.close()

    t = sqlite3.connect(os.path.join(folder, "Top Sites"))
    t.executescript(TOP_SITES_SCHEMA)
    for rank, url in enumerate(visited[:5] + bookmarked[:1]):
        t.execute("INSERT INTO top_sites VALUES (?, ?, ?)", (url, rank, "Top %d" % rank))
    t.commit()
    t.close()

    s = sqlite3.connect(os.path.join(folder, "Shortcuts"))
    s.executescript(SHORTCUTS_SCHEMA)
    for i, url in enumerate(visited[:4] + visited[-1:]):
        typed = "vt-visit-typed-%d-%d" % (n, i)
        s.execute("INSERT INTO omni_box_shortcuts VALUES (?,?,?,?,0,?,'0,1',?,'0,0',1,0,'',?,?)",
                  ("SC-%d-%d" % (n, i), typed, url.split("://")[1], url, url, "Page about " + typed,
                   CHROME_TIME + i, 2 + i))
    s.commit()
    s.close()

    p = sqlite3.connect(os.path.join(folder, "Network Action Predictor"))
    p.executescript(PREDICTOR_SCHEMA)
    for i, url in enumerate(visited[:5]):
        p.execute("INSERT INTO network_action_predictor VALUES (?,?,?,?,0)",
                  ("NAP-%d-%d" % (n, i), "vt-visit-ty%d" % i, url, 3 + i))
    for i, host in enumerate(sorted({url.split("/")[2] for url in visited})):
        url = "https://%s/" % host
        p.execute("INSERT INTO resource_prefetch_predictor_host_redirect VALUES (?, ?)",
                  (host, b"\x0a" + bytes([len(host)]) + host.encode()))
        p.execute("INSERT INTO resource_prefetch_predictor_origin VALUES (?, ?)",
                  (host, b"\x0a" + bytes([len(host)]) + host.encode()))
        p.execute("INSERT INTO lcp_critical_path_predictor VALUES (?, ?)", (host, b"\x12" + url.encode()))
    p.commit()
    p.close()

    c = sqlite3.connect(os.path.join(folder, "Network", "Cookies"))
    c.executescript(COOKIES_SCHEMA)
    for i, url in enumerate(visited[:1] + visited[7:8] + bookmarked):
        host = "." + url.split("/")[2]
        c.execute("INSERT INTO cookies VALUES (?,?,'','session',?,x'',?,?,1,1,?,1,1,1,0,2,443,?,0,0)",
                  (CHROME_TIME + i, host, "token-%d-%d" % (n, i), "/", CHROME_TIME + 10 ** 12, CHROME_TIME, CHROME_TIME))
    c.commit()
    c.close()

    script(os.path.join(folder, "Web Data"), WEB_DATA_SCHEMA)

    # Visited Links: "VLnk", version 3, table length, used items, salt, then 64-bit fingerprints.
    length = 64
    with open(os.path.join(folder, "Visited Links"), "wb") as out:
        out.write(b"VLnk" + struct.pack("<iii", 3, length, len(pages)) + bytes(range(8)))
        table = [0] * length
        for i, url in enumerate(pages):
            table[(zlib.crc32(url.encode()) & 0xffff) % length] = 0x1234567890abcdef + i
        out.write(b"".join(struct.pack("<Q", v) for v in table))

    with open(os.path.join(folder, "Bookmarks"), "w") as out:
        out.write('{\n   "checksum": "3b8d1c0c2a6d2e1f",\n   "roots": {\n      "bookmark_bar": {\n'
                  '         "children": [ {\n            "date_added": "13370000000000000",\n'
                  '            "guid": "0f4b2c1e-0000-4000-8000-000000000001",\n            "id": "5",\n'
                  '            "name": "Manual",\n            "type": "url",\n'
                  '            "url": "https://docs.example/manual"\n         }, {\n'
                  '            "guid": "0f4b2c1e-0000-4000-8000-000000000002",\n            "id": "6",\n'
                  '            "name": "Inbox",\n            "type": "url",\n'
                  '            "url": "https:\\/\\/mail.example\\/inbox"\n         } ],\n'
                  '         "name": "Bookmarks bar",\n         "type": "folder"\n      },\n'
                  '      "other": { "children": [  ], "name": "Other bookmarks", "type": "folder" },\n'
                  '      "synced": { "children": [  ], "name": "Mobile bookmarks", "type": "folder" }\n'
                  '   },\n   "version": 1\n}\n')

    # Chromium runs its databases with a rollback journal it truncates; closed, it leaves them empty.
    for name in ("History", "Favicons", "Top Sites", "Shortcuts", "Network Action Predictor"):
        open(os.path.join(folder, name + "-journal"), "wb").close()


# --- Firefox ---

PLACES_SCHEMA = """
CREATE TABLE moz_origins ( id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL, frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host) );
CREATE TABLE moz_places (   id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER , guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL , description TEXT, preview_image_url TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id), recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_historyvisits (  id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER, visit_date INTEGER, visit_type INTEGER, session INTEGER, source INTEGER DEFAULT 0 NOT NULL, triggeringPlaceId INTEGER);
CREATE TABLE moz_inputhistory (  place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL, use_count INTEGER, PRIMARY KEY (place_id, input));
CREATE TABLE moz_bookmarks (  id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER, lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER NOT NULL DEFAULT 1);
CREATE TABLE moz_bookmarks_deleted (  guid TEXT PRIMARY KEY, dateRemoved INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_keywords (  id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE, place_id INTEGER, post_data TEXT);
CREATE TABLE moz_anno_attributes (  id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);
CREATE TABLE moz_annos (  id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, anno_attribute_id INTEGER, content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0, dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);
CREATE TABLE moz_items_annos (  id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL, anno_attribute_id INTEGER, content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0, dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);
CREATE TABLE moz_meta (key TEXT PRIMARY KEY, value NOT NULL) WITHOUT ROWID ;
CREATE TABLE moz_places_metadata_search_queries ( id INTEGER PRIMARY KEY, terms TEXT NOT NULL UNIQUE );
CREATE TABLE moz_places_metadata (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, referrer_place_id INTEGER, created_at INTEGER NOT NULL DEFAULT 0, updated_at INTEGER NOT NULL DEFAULT 0, total_view_time INTEGER NOT NULL DEFAULT 0, typing_time INTEGER NOT NULL DEFAULT 0, key_presses INTEGER NOT NULL DEFAULT 0, scrolling_time INTEGER NOT NULL DEFAULT 0, scrolling_distance INTEGER NOT NULL DEFAULT 0, document_type INTEGER NOT NULL DEFAULT 0, search_query_id INTEGER, FOREIGN KEY (place_id) REFERENCES moz_places(id) ON DELETE CASCADE, FOREIGN KEY (referrer_place_id) REFERENCES moz_places(id) ON DELETE CASCADE, FOREIGN KEY(search_query_id) REFERENCES moz_places_metadata_search_queries(id) ON DELETE CASCADE CHECK(place_id != referrer_place_id) );
CREATE TABLE moz_places_extra (  place_id INTEGER PRIMARY KEY NOT NULL, sync_json TEXT, FOREIGN KEY (place_id) REFERENCES moz_places(id) ON DELETE CASCADE );
CREATE TABLE moz_historyvisits_extra (  visit_id INTEGER PRIMARY KEY NOT NULL, sync_json TEXT, FOREIGN KEY (visit_id) REFERENCES moz_historyvisits(id) ON DELETE CASCADE);
CREATE INDEX moz_places_url_hashindex ON moz_places (url_hash);
CREATE INDEX moz_places_hostindex ON moz_places (rev_host);
CREATE INDEX moz_places_visitcount ON moz_places (visit_count);
CREATE INDEX moz_places_frecencyindex ON moz_places (frecency);
CREATE INDEX moz_places_lastvisitdateindex ON moz_places (last_visit_date);
CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);
CREATE INDEX moz_places_originidindex ON moz_places (origin_id);
CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, visit_date);
CREATE INDEX moz_historyvisits_fromindex ON moz_historyvisits (from_visit);
CREATE INDEX moz_historyvisits_dateindex ON moz_historyvisits (visit_date);
CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);
CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);
CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);
CREATE UNIQUE INDEX moz_keywords_placepostdata_uniqueindex ON moz_keywords (place_id, post_data);
CREATE UNIQUE INDEX moz_annos_placeattributeindex ON moz_annos (place_id, anno_attribute_id);
CREATE UNIQUE INDEX moz_places_metadata_placecreated_uniqueindex ON moz_places_metadata (place_id, created_at);
INSERT INTO moz_meta VALUES ('origin_frecency_count', 4);
"""

FAVICONS_SQLITE_SCHEMA = """
CREATE TABLE moz_pages_w_icons ( id INTEGER PRIMARY KEY, page_url TEXT NOT NULL, page_url_hash INTEGER NOT NULL );
CREATE TABLE moz_icons ( id INTEGER PRIMARY KEY, icon_url TEXT NOT NULL, fixed_icon_url_hash INTEGER NOT NULL, width INTEGER NOT NULL DEFAULT 0, root INTEGER NOT NULL DEFAULT 0, color INTEGER, expire_ms INTEGER NOT NULL DEFAULT 0, flags INTEGER NOT NULL DEFAULT 0, data BLOB );
CREATE TABLE moz_icons_to_pages ( page_id INTEGER NOT NULL, icon_id INTEGER NOT NULL, expire_ms INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (page_id, icon_id), FOREIGN KEY (page_id) REFERENCES moz_pages_w_icons ON DELETE CASCADE, FOREIGN KEY (icon_id) REFERENCES moz_icons ON DELETE CASCADE ) WITHOUT ROWID ;
CREATE INDEX moz_pages_w_icons_urlhashindex ON moz_pages_w_icons (page_url_hash);
CREATE INDEX moz_icons_iconurlhashindex ON moz_icons (fixed_icon_url_hash);
"""

MOZ_COOKIES_SCHEMA = """
CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0, rawSameSite INTEGER DEFAULT 0, schemeMap INTEGER DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0, CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));
"""

FORMHISTORY_SCHEMA = """
CREATE TABLE moz_formhistory (id INTEGER PRIMARY KEY, fieldname TEXT NOT NULL, value TEXT NOT NULL, timesUsed INTEGER, firstUsed INTEGER, lastUsed INTEGER, guid TEXT);
CREATE TABLE moz_deleted_formhistory (id INTEGER PRIMARY KEY, timeDeleted INTEGER, guid TEXT);
CREATE TABLE moz_sources (id INTEGER PRIMARY KEY, source TEXT NOT NULL);
CREATE TABLE moz_history_to_sources (history_id INTEGER, source_id INTEGER, PRIMARY KEY (history_id, source_id), FOREIGN KEY (history_id) REFERENCES moz_formhistory(id) ON DELETE CASCADE, FOREIGN KEY (source_id) REFERENCES moz_sources(id) ON DELETE CASCADE) WITHOUT ROWID;
CREATE INDEX moz_formhistory_index ON moz_formhistory (fieldname);
CREATE INDEX moz_formhistory_lastused_index ON moz_formhistory (lastUsed);
CREATE INDEX moz_formhistory_guid_index ON moz_formhistory (guid);
INSERT INTO moz_formhistory VALUES (1, 'searchbar-history', 'vt-form-weather tomorrow', 3, 1700000000000000, 1700000500000000, 'fh1');
INSERT INTO moz_formhistory VALUES (2, 'email', 'person@mail.example', 1, 1700000000000000, 1700000000000000, 'fh2');
PRAGMA user_version = 5;
"""


def origin_of(url):
    prefix, rest = url.split("://", 1)
    return prefix + "://", rest.split("/")[0]


def wal_database(path, schema, older, newest):
    """A WAL database whose Newest statements live only in its -wal, as a
    running Firefox leaves it between checkpoints (copied while open)."""
    work = tempfile.mkdtemp()
    try:
        scratch = os.path.join(work, os.path.basename(path))
        db = sqlite3.connect(scratch, isolation_level=None)
        db.execute("PRAGMA journal_mode=WAL")
        db.executescript(schema)
        older(db)
        db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        db.execute("PRAGMA wal_autocheckpoint=0")
        db.execute("BEGIN")
        newest(db)
        db.execute("COMMIT")
        shutil.copyfile(scratch, path)
        shutil.copyfile(scratch + "-wal", path + "-wal")
        db.close()
    finally:
        shutil.rmtree(work)


def firefox_profile(folder, n):
    for name in ("places.sqlite", "favicons.sqlite", "cookies.sqlite", "formhistory.sqlite"):
        for suffix in ("", "-journal", "-wal", "-shm"):
            path = os.path.join(folder, name + suffix)
            if os.path.exists(path):
                os.remove(path)
    bookmarked = ["https://docs.example/", "https://mail.example/"]
    keyword = "https://search.example/search?q=%s"
    older = ["https://vt-visit-news%d.example/world/vt-visit-%d" % (n, i) for i in range(1, 6)]
    older += ["https://docs.example/vt-visit-faq", "https://search.example/search?q=vt-visit-weather"]
    download = "https://vt-visit-files.example/vt-visit-setup.exe"
    newest = ["https://vt-visit-walonly%d.example/fresh/vt-visit-w%d" % (n, i) for i in range(1, 4)]
    places = [(url, 1) for url in bookmarked] + [(keyword, 1)] + [(url, 0) for url in older] + [(download, 0)]

    ids = {}

    def add_place(db, url, foreign):
        prefix, host = origin_of(url)
        db.execute("INSERT OR IGNORE INTO moz_origins(prefix, host, frecency) VALUES (?, ?, 100)", (prefix, host))
        origin = db.execute("SELECT id FROM moz_origins WHERE prefix=? AND host=?", (prefix, host)).fetchone()[0]
        cur = db.execute("INSERT INTO moz_places(url, title, rev_host, visit_count, typed, frecency, last_visit_date,"
                         " guid, foreign_count, url_hash, origin_id) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
                         (url, "Title of " + url, host[::-1] + ".", 2, 1 if "news" in url else 0, 200,
                          1700000000000000 + len(ids), "guid%05d%03d" % (n, len(ids)), foreign,
                          zlib.crc32(url.encode()) & 0xffffffffffff, origin))
        ids[url] = cur.lastrowid
        return cur.lastrowid

    def add_visits(db, url, count, first):
        for k in range(count):
            db.execute("INSERT INTO moz_historyvisits(from_visit, place_id, visit_date, visit_type, session, source)"
                       " VALUES (0, ?, ?, ?, 0, 0)", (ids[url], first + k, 7 if url == download else 1))

    def places_older(db):
        for url, foreign in places:
            add_place(db, url, foreign)
        for url, _ in places:
            if url != keyword:
                add_visits(db, url, 2, 1700000000000000 + ids[url] * 100)
        db.execute("INSERT INTO moz_bookmarks VALUES (1, 2, NULL, 0, 0, '', NULL, NULL, 1, 1, 'root________', 1, 1)")
        db.execute("INSERT INTO moz_bookmarks VALUES (2, 2, NULL, 1, 0, 'menu', NULL, NULL, 1, 1, 'menu________', 1, 1)")
        db.execute("INSERT INTO moz_bookmarks VALUES (3, 1, ?, 2, 0, 'Docs', NULL, NULL, 1, 1, 'bookmark0001', 1, 1)",
                   (ids[bookmarked[0]],))
        db.execute("INSERT INTO moz_bookmarks VALUES (4, 1, ?, 2, 1, 'Mail', NULL, NULL, 1, 1, 'bookmark0002', 1, 1)",
                   (ids[bookmarked[1]],))
        db.execute("INSERT INTO moz_keywords(keyword, place_id, post_data) VALUES ('s', ?, NULL)", (ids[keyword],))
        db.execute("INSERT INTO moz_anno_attributes VALUES (1, 'downloads/destinationFileURI'),"
                   " (2, 'downloads/metaData')")
        db.execute("INSERT INTO moz_annos(place_id, anno_attribute_id, content, flags, expiration, type, dateAdded,"
                   " lastModified) VALUES (?, 1, 'file:///C:/Users/Person/Downloads/vt-visit-setup.exe', 0, 4, 3, 1, 1)",
                   (ids[download],))
        db.execute("INSERT INTO moz_annos(place_id, anno_attribute_id, content, flags, expiration, type, dateAdded,"
                   " lastModified) VALUES (?, 2, '{\"state\":1,\"endTime\":1700000000000,\"fileSize\":4096}',"
                   " 0, 4, 3, 1, 1)", (ids[download],))
        db.execute("INSERT INTO moz_inputhistory VALUES (?, 'vt-visit-ne', 0.8)", (ids[older[0]],))
        db.execute("INSERT INTO moz_places_metadata_search_queries VALUES (1, 'vt-visit-weather')")
        db.execute("INSERT INTO moz_places_metadata(place_id, referrer_place_id, created_at, updated_at,"
                   " total_view_time, search_query_id) VALUES (?, ?, 1, 2, 3000, 1)", (ids[older[1]], ids[older[6]]))
        db.execute("INSERT INTO moz_places_extra VALUES (?, '{\"vt-visit-sync\":1}')", (ids[older[2]],))

    def places_newest(db):
        for url in newest:
            add_place(db, url, 0)
            add_visits(db, url, 3, 1700001000000000 + ids[url] * 100)
        add_visits(db, bookmarked[0], 1, 1700002000000000)
        db.execute("INSERT INTO moz_inputhistory VALUES (?, 'vt-visit-walonly', 1.0)", (ids[newest[0]],))

    wal_database(os.path.join(folder, "places.sqlite"), PLACES_SCHEMA, places_older, places_newest)

    def icons_for(db, pages):
        for url in pages:
            prefix, host = origin_of(url)
            db.execute("INSERT INTO moz_pages_w_icons(page_url, page_url_hash) VALUES (?, ?)",
                       (url, zlib.crc32(url.encode()) & 0xffffffffffff))
            page = db.execute("SELECT max(id) FROM moz_pages_w_icons").fetchone()[0]
            root = prefix + host + "/favicon.ico"
            if not db.execute("SELECT 1 FROM moz_icons WHERE icon_url=?", (root,)).fetchone():
                db.execute("INSERT INTO moz_icons(icon_url, fixed_icon_url_hash, width, root, expire_ms, data)"
                           " VALUES (?, ?, 16, 1, 0, ?)", (root, zlib.crc32(host.encode()), b"\x89PNG" + host.encode()))
            db.execute("INSERT INTO moz_icons(icon_url, fixed_icon_url_hash, width, root, expire_ms, data)"
                       " VALUES (?, ?, 32, 0, 0, ?)", (url + "/touch.png", zlib.crc32(url.encode()) & 0xffffffff, b"\x89PNG" + url.encode()))
            icon = db.execute("SELECT max(id) FROM moz_icons").fetchone()[0]
            db.execute("INSERT INTO moz_icons_to_pages(page_id, icon_id, expire_ms) VALUES (?, ?, 0)", (page, icon))

    wal_database(os.path.join(folder, "favicons.sqlite"), FAVICONS_SQLITE_SCHEMA,
                 lambda db: icons_for(db, bookmarked + older), lambda db: icons_for(db, newest))

    def cookies(db, hosts):
        for i, host in enumerate(hosts):
            db.execute("INSERT INTO moz_cookies(originAttributes, name, value, host, path, expiry, lastAccessed,"
                       " creationTime, isSecure, isHttpOnly) VALUES ('', 'sid', ?, ?, '/', 1900000000, 1, 1, 1, 1)",
                       ("secret-%d-%d" % (n, i), "." + host))

    wal_database(os.path.join(folder, "cookies.sqlite"), MOZ_COOKIES_SCHEMA,
                 lambda db: cookies(db, ["mail.example", "docs.example"]),
                 lambda db: cookies(db, ["vt-visit-walonly%d.example" % n]))
    script(os.path.join(folder, "formhistory.sqlite"), FORMHISTORY_SCHEMA)


# --- Checks ---

STORES = ["History", "Favicons", "Top Sites", "Shortcuts", "Network Action Predictor", "Network/Cookies",
          "Web Data", "places.sqlite", "favicons.sqlite", "cookies.sqlite", "formhistory.sqlite"]


def residue(folders):
    """Every file below Folders whose bytes hold a visited page."""
    found = []
    for folder in folders:
        for root, _, files in os.walk(folder):
            for name in files:
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    if MARK in f.read():
                        found.append(path)
    return found


def rows(folders):
    lines = []
    for folder in folders:
        for store in STORES:
            path = os.path.join(folder, store)
            if not os.path.isfile(path):
                continue
            db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
            tables = [r[0] for r in db.execute("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name")]
            counts = ["%s=%d" % (t, db.execute('SELECT count(*) FROM "%s"' % t).fetchone()[0]) for t in tables]
            db.close()
            lines.append("%s|%s" % (os.path.join(folder, store), " ".join(counts)))
        if os.path.exists(os.path.join(folder, "Visited Links")):
            lines.append("%s|file" % os.path.join(folder, "Visited Links"))
        elif os.path.exists(os.path.join(folder, "Bookmarks")):
            lines.append("%s|gone" % os.path.join(folder, "Visited Links"))
    return lines


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "chromium":
        chromium_profile(args[0], int(args[1]))
    elif command == "firefox":
        firefox_profile(args[0], int(args[1]))
    elif command == "residue":
        print("\n".join(residue(args)))
    elif command == "rows":
        print("\n".join(rows(args)))
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
