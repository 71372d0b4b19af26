#!/usr/bin/env python3
"""Deletion-safety campaign: random trees in a Wine sandbox, the real
Vantrel.exe /auto, and an independent oracle (oracle.py) that says which files
may go. Run by tests/e2e/campaign.sh (a few seeds) and scripts/campaign (many).

Needs the sandbox's environment (WINEPREFIX under <repo>/build/, sealed, with a
D: drive) exported by the calling script. Every path it creates or removes lies
inside that prefix or inside <repo>/build/campaign-canary-*.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import oracle as orc  # noqa: E402

DAY = 86400
WEEK = orc.WEEK_SECONDS
PREFIX = os.environ.get("WINEPREFIX", "")
BUILD = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "build"))
EXE_WIN = "C:\\Program Files\\Vantrel\\Vantrel.exe"


def guard(path):
    """Refuses any path outside the build folder: nothing here may touch more."""
    real = os.path.realpath(os.path.dirname(path.rstrip("/"))) + "/" + os.path.basename(path.rstrip("/"))
    if not real.startswith(BUILD + "/"):
        raise SystemExit("campaign: refusing to touch %s (outside %s)" % (path, BUILD))
    return path


def remove(path):
    guard(path)
    if os.path.islink(path) or os.path.isfile(path):
        os.unlink(path)
    elif os.path.isdir(path):
        for root, dirs, files in os.walk(path):  # writable again, so rmtree can go through
            for d in dirs:
                p = os.path.join(root, d)
                if not os.path.islink(p):
                    os.chmod(p, 0o755)
            for f in files:
                p = os.path.join(root, f)
                if not os.path.islink(p):
                    os.chmod(p, 0o644)
        shutil.rmtree(path)  # never follows links


def clear_dir(path):
    if os.path.isdir(path) and not os.path.islink(path):
        for name in os.listdir(path):
            remove(os.path.join(path, name))


# --- the sandbox's Windows folders -------------------------------------------------

class Sandbox:
    def __init__(self, exe, helper):
        if not PREFIX.startswith(BUILD + "/wine-"):
            raise SystemExit("campaign: WINEPREFIX is not a sandbox under build/")
        for letter in os.listdir(os.path.join(PREFIX, "dosdevices")):
            target = os.path.realpath(os.path.join(PREFIX, "dosdevices", letter))
            if letter[1:] in (":", "::") and not target.startswith(PREFIX + "/"):
                raise SystemExit("campaign: drive %s leaves the sandbox" % letter)
        self.c = os.path.join(PREFIX, "drive_c")
        self.d = os.path.join(PREFIX, "drive_d")
        if not os.path.isdir(self.d):
            raise SystemExit("campaign: the sandbox has no D: drive")
        out = subprocess.run(["wine", "cmd", "/c", "echo %TEMP%^|%APPDATA%^|%USERPROFILE%^|%windir%"],
                             cwd=self.c, capture_output=True).stdout.decode("utf-8", "replace").strip()
        self.temp, self.appdata, self.profile, self.win = [p.strip().rstrip("\\") + "\\" for p in out.split("|")]
        self.recent = self.appdata + "Microsoft\\Windows\\Recent\\"
        self.bracket_profile = self.profile.rsplit("\\", 2)[0] + "\\[cmp] 用户\\"
        self.exe = exe
        self.helper = helper
        install = self.unix(EXE_WIN)
        os.makedirs(os.path.dirname(install), exist_ok=True)
        shutil.copy(exe, install)
        self.helper_win = "C:\\campaign-helper.exe"
        shutil.copy(helper, self.unix(self.helper_win))

    def unix(self, win):
        drive = {"C": self.c, "D": self.d}[win[0].upper()]
        rest = win[3:].replace("\\", "/")
        return os.path.join(drive, rest) if rest else drive

    def win_of(self, unix):
        for letter, root in (("C", self.c), ("D", self.d)):
            if unix == root:
                return letter + ":\\"
            if unix.startswith(root + "/"):
                return letter + ":\\" + unix[len(root) + 1:].replace("/", "\\")
        raise ValueError(unix)


# --- generating a tree ---------------------------------------------------------------

TAKEN_NAMES = ["old.bak", "REPORT.OLD", "x.000", "help.GID", "index.fts", "t.FTG", "setup.tmp", "x.$$$",
               "y.~mp", "~$draft.doc", "Thumbs.db", "OldThumbs.db", "thumbs.DB", "a.Tmp"]
KEPT_NAMES = ["a.bak1", "report.doc", "x.tmpx", "notes.txt", "Thumbs.db.txt", "bak", "a.ba", "~draft.doc",
              "~$x.docx", "tmp", "data.bakk", "photo.jpg"]
EXOTIC = ["Привет", "emoji😀", "e\u0301\u0327combining", "[brackets]", "a]b[c", "with space", "comma,name",
          "quote'single", "curly‘q’", "中文名", "ünï", "[!x]", "tab-less ~", "x [a-z] y"]


class Tree:
    def __init__(self, sb, rng, uptime, margin):
        self.sb, self.rng, self.uptime, self.margin = sb, rng, uptime, margin
        self.files = {}      # unix path -> age in seconds (negative: in the future)
        self.holds = []      # Windows paths held open by the helper
        self.attrs = []      # (hex, Windows path)
        self.links = []      # unix paths of links we made
        self.created = []    # top-level paths to remove before the next tree
        self.excluded = []   # as written in the settings

    def age(self, kind=None):
        r, u, m = self.rng, self.uptime, self.margin
        kinds = ["now", "old", "old", "future"]
        if u - m > 60:
            kinds.append("session")
        if u + m < WEEK - DAY or WEEK + DAY < u - m:
            kinds.append("between")
        kind = kind or r.choice(kinds)
        if kind == "now":
            return r.randint(0, 20)
        if kind == "session":
            return r.randint(0, int(u - m))
        if kind == "between":
            lo, hi = (u + m, WEEK - DAY) if u + m < WEEK - DAY else (WEEK + DAY, u - m)
            return r.randint(int(lo), int(hi))
        if kind == "old":
            return r.randint(int(max(u, WEEK) + DAY), 400 * DAY)
        return -r.randint(30 * DAY, 90 * DAY)

    def mark(self, unix):
        if unix not in self.created:
            self.created.append(unix)

    def file(self, unix, age=None, size=None):
        os.makedirs(os.path.dirname(unix), exist_ok=True)
        with open(unix, "wb") as f:
            f.write(os.urandom(size if size is not None else self.rng.randint(0, 300)))
        a = self.age() if age is None else age
        t = time.time() - a
        os.utime(unix, (t, min(t, time.time())))
        self.files[unix] = a
        return unix

    def name(self, taken):
        base = self.rng.choice(TAKEN_NAMES if taken else KEPT_NAMES)
        if self.rng.random() < 0.35:
            stem = self.rng.choice(EXOTIC)
            base = stem + base if base.startswith(("~$", ".")) or "." not in base else stem + "_" + base
            if not base.startswith("~$"):  # "~$" inside a name would only be a plain name
                base = base.replace("~$", "")
        return base

    def dirname(self):
        return self.rng.choice(["sub", "Data", "a b", "deep"] + EXOTIC) + str(self.rng.randint(0, 99))

    def random_tree(self, root, depth, width):
        os.makedirs(root, exist_ok=True)
        for _ in range(width):
            self.file(os.path.join(root, self.name(self.rng.random() < 0.6)))
        if depth > 0:
            for _ in range(self.rng.randint(1, 3)):
                self.random_tree(os.path.join(root, self.dirname()), depth - 1, max(1, width - 1))


def generate(sb, rng, uptime, margin, canary, scale=1):
    t = Tree(sb, rng, uptime, margin)
    C, D = sb.c, sb.d
    bracket_temp = rng.random() < 0.4
    temp_win = sb.bracket_profile + "Temp\\" if bracket_temp else sb.temp
    temp = sb.unix(temp_win)
    os.makedirs(temp, exist_ok=True)
    if bracket_temp:
        t.mark(sb.unix(sb.bracket_profile))

    # General trees on C: and D:.
    for root in (os.path.join(C, "cmp"), os.path.join(D, "data"), os.path.join(D, "Ünïcode 数据")):
        t.mark(root)
        t.random_tree(root, rng.randint(1, 3) + scale - 1, rng.randint(2, 5) * scale)
    # The user's temporary folder: everything old enough goes.
    t.random_tree(os.path.join(temp, "tree"), rng.randint(1, 3), rng.randint(2, 4))
    for _ in range(rng.randint(2, 6)):
        t.file(os.path.join(temp, t.name(rng.random() < 0.5)))
    # Empty candidate folders, nested, and ones that keep a protected or young file.
    chain = os.path.join(temp, "empty", *["lvl%d" % i for i in range(rng.randint(2, 6))])
    os.makedirs(chain, exist_ok=True)
    t.file(os.path.join(temp, "keepprot", "inner", "INSTALL.LOG"), age=t.age("old"))
    t.file(os.path.join(temp, "keepyoung", "inner", "fresh.tmp"), age=t.age("now"))
    # Names that differ only in case: Windows cannot hold both, Wine on Linux can.
    # Two actions take the old one; the young one must stay (unless mode None).
    t.file(os.path.join(temp, "case", "dup.tmp"), age=t.age("old"))
    t.file(os.path.join(temp, "case", "DUP.TMP"), age=t.age("now"))
    # The same with a read-only young twin, taken by one action only.
    t.mark(os.path.join(D, "case"))
    t.file(os.path.join(D, "case", "ro.bak"), age=t.age("old"))
    os.chmod(t.file(os.path.join(D, "case", "RO.BAK"), age=t.age("now")), 0o444)
    os.makedirs(os.path.join(C, "windows", "temp", "cmp-empty", "a", "b"), exist_ok=True)
    t.mark(os.path.join(C, "windows", "temp", "cmp-empty"))
    t.file(os.path.join(C, "windows", "temp", "cmp-wt", rng.choice(EXOTIC) + ".dat"))
    t.mark(os.path.join(C, "windows", "temp", "cmp-wt"))

    # Root files, protected files and recycle-bin folders.
    for win, age in (("C:\\Scandisk.log", None), ("D:\\SCANDISK.LOG", None), ("D:\\FILE0001.CHK", None),
                     ("D:\\file01.chk", None), ("D:\\sub\\Scandisk.log", None), ("D:\\FILEABCD.CHK", None)):
        u = sb.unix(win)
        t.mark(u if "\\sub\\" not in win else os.path.dirname(u))
        t.file(u, age)
    for rel in ("setup/INSTALL.LOG", "Docs/Microsoft/Office/Data/opa11.bak", "Docs/microsoft/office/data/DATA.BAK",
                "Docs/other/opa11.bak", "x/install.log", "RECYCLER/S-1-5/a.tmp", "Recycler2/b.bak",
                "x/RECYCLER/y.bak", "recycled/z.bak"):
        t.mark(os.path.join(D, rel.split("/")[0]))
        t.file(os.path.join(D, rel), age=t.age("old") if rng.random() < 0.8 else None)
    t.mark(os.path.join(C, "recycler"))
    t.file(os.path.join(C, "recycler", "x.bak"), age=t.age("old"))

    # Windows folders the catalogue names.
    win_files = ["Minidump/m1.dmp", "Minidump/keep.txt", "memory.dmp", "$NtUninstallKB123$/f.dll",
                 "$NtUninstallKB123$/sp/deep/g.dll", "$hf_mig$/h.cat", "$MSIabc/i.msi", "msdownld.tmp/dl.cab",
                 "Windows Update 设置文件/s.cab", "KB123456.log", "Q123456.log", "Prefetch/APP.pf"]
    prefetch = rng.random() < 0.5
    for rel in win_files:
        if rel.startswith("Prefetch") and not prefetch:
            continue
        u = os.path.join(C, "windows", rel)
        t.mark(os.path.join(C, "windows", rel.split("/")[0]))
        t.file(u)
    os.makedirs(os.path.join(C, "windows", "$NtUninstallKB999$", "empty", "er"), exist_ok=True)
    t.mark(os.path.join(C, "windows", "$NtUninstallKB999$"))
    wu_link = rng.random() < 0.3  # D:\msdownld.tmp a link to the canary: never emptied or removed
    for rel in ("WUTemp/w.cab", "msdownld.tmp/m.cab"):
        for root in (C, D):
            t.mark(os.path.join(root, rel.split("/")[0]))
            if wu_link and root == D and rel.startswith("msdownld"):
                os.symlink(canary["dir"], os.path.join(D, "msdownld.tmp"))
                t.links.append(os.path.join(D, "msdownld.tmp"))
                continue
            t.file(os.path.join(root, rel))
    if rng.random() < 0.3:
        os.makedirs(os.path.join(D, "WUTemp", "sub"), exist_ok=True)
    # Recent documents, and the Java cache when this tree offers it.
    for i in range(rng.randint(1, 4)):
        t.file(os.path.join(sb.unix(sb.recent), "cmp-%d %s.lnk" % (i, rng.choice(EXOTIC))))
    java = rng.random() < 0.5
    if java:
        t.mark(sb.unix(sb.appdata + "Sun"))
        t.random_tree(sb.unix(sb.appdata + "Sun\\Java\\Deployment\\cache"), 1, 2)

    # Paths longer than 260 characters.
    for base in (os.path.join(D, "long"), os.path.join(temp, "long")):
        if base.startswith(D):
            t.mark(base)
        p = base
        while len(sb.win_of(p)) < 300 + rng.randint(0, 60):
            p = os.path.join(p, "segment-%s-%s" % (rng.choice(EXOTIC), "x" * rng.randint(10, 40)))
        t.file(os.path.join(p, "deep.bak"))
        t.file(os.path.join(p, "deep.txt"))

    # Links: Wine shows them as reparse points, which the walk must not enter.
    keep = os.path.join(C, "cmp-keep")
    t.mark(keep)
    t.file(os.path.join(keep, "precious.txt"), age=t.age("old"))
    t.file(os.path.join(keep, "inner", "plain.dat"), age=t.age("old"))
    links = [(os.path.join(temp, "link-keep"), keep), (os.path.join(temp, "link-out"), canary["dir"]),
             (os.path.join(temp, "tree", "loop"), ".."), (os.path.join(D, "loop-root"), D),
             (os.path.join(D, "data", "to-temp"), temp), (os.path.join(temp, "file-link.tmp"), canary["file"]),
             (os.path.join(temp, "dangling.tmp"), os.path.join(temp, "nowhere")),
             (os.path.join(C, "windows", "temp", "cmp-out"), canary["dir"]),
             # folder links named like junk: the links stay, and so does all behind them
             (os.path.join(D, "data", "linked.bak"), canary["dir"]), (os.path.join(D, "data", "kept.old"), keep)]
    for link, target in links:
        os.makedirs(os.path.dirname(link), exist_ok=True)
        os.symlink(target, link)
        t.links.append(link)
    t.mark(os.path.join(C, "windows", "temp", "cmp-out"))
    t.mark(os.path.join(D, "loop-root"))

    # Excluded directories: mixed case, with and without a trailing backslash.
    candidates = [d for d in (os.path.join(D, "data"), os.path.join(temp, "tree"), os.path.join(C, "cmp"),
                              os.path.join(D, "Ünïcode 数据"), os.path.join(D, "long")) if os.path.isdir(d)]
    for d in rng.sample(candidates, rng.randint(0, 2)):
        subs = [os.path.join(r, x) for r, ds, _ in os.walk(d) for x in ds if not os.path.islink(os.path.join(r, x))]
        pick = rng.choice(subs + [d])
        win = sb.win_of(pick)
        win = "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in win) if rng.random() < 0.7 else win
        t.excluded.append(win + ("\\" if rng.random() < 0.5 else ""))
    if rng.random() < 0.3:
        t.excluded.append("D:\\NoSuchFolder")

    # A document in a folder whose name starts with "~$": "*\~$*.doc" names files only.
    t.mark(os.path.join(D, "~$old"))
    t.file(os.path.join(D, "~$old", "thesis.doc"), age=t.age("old"))
    t.file(os.path.join(D, "~$old", "~$draft.doc"), age=t.age("old"))
    # Vista's recycle bins, in any letter case: their files belong to the bin.
    for root, rel in ((D, "$Recycle.Bin/S-1-5-21-1/$RAB12.bak"), (C, "$RECYCLE.BIN/S-1-5-18/$RX.tmp"),
                      (D, "$recycle.bin/old.old")):
        t.mark(os.path.join(root, rel.split("/")[0]))
        t.file(os.path.join(root, rel), age=t.age("old"))
    # Written just now but read long ago (NTFS often leaves access times alone):
    # the file is as young as its latest time.
    for i in range(rng.randint(1, 3)):
        p = t.file(os.path.join(D, "data", "rewritten-%d.bak" % i), age=t.age("old"))
        os.utime(p, (time.time() - 400 * DAY, time.time()))
        t.files[p] = 0
    # A hostile TEMP: unset (the profile) or a folder that is not temporary. The
    # program refuses to empty it; the generator's temporary files stay in the
    # sandbox's real temporary folder, which then belongs to no action.
    t.hostile_temp = None
    if rng.random() < 0.15:
        t.hostile_temp = rng.choice(["", "D:\\", "C:\\", "C:", sb.profile, sb.win, sb.profile.rsplit("\\", 2)[0]])

    # Attributes and files held open without delete sharing.
    everything = [p for p in t.files if os.path.basename(p) != "INSTALL.LOG"]
    for p in rng.sample(everything, min(len(everything), rng.randint(2, 8))):
        kind = rng.choice(["readonly", "hidden", "system", "hs"])
        if kind == "readonly":
            os.chmod(p, 0o444)
        else:
            t.attrs.append(({"hidden": "2", "system": "4", "hs": "6"}[kind], sb.win_of(p)))
    for p in rng.sample(everything, min(len(everything), rng.randint(1, 5))):
        t.holds.append(sb.win_of(p))
    return t, temp_win, java, prefetch


# --- running Vantrel ---------------------------------------------------------------

def write_settings(sb, mode, scan, excluded):
    def esc(s):
        return s.replace("&", "&amp;").replace("<", "&lt;").replace('"', "&quot;").replace("'", "&apos;")
    folder = sb.unix(sb.appdata + "Holvane\\Vantrel")
    os.makedirs(folder, exist_ok=True)
    body = "".join('<ExcludeDirectory Name="%s"/>' % esc(e) for e in excluded)
    with open(os.path.join(folder, "Vantrel.cfg"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<VantrelSettings><Options FileProtection="%s" '
                'ScanMode="%s"/><ExcludeDirectories>%s</ExcludeDirectories></VantrelSettings>\n'
                % (mode, scan, body))


class Helper:
    """campaign-helper.exe holding files and setting attributes for one run."""

    def __init__(self, sb, lines, tag):
        self.sb = sb
        base = os.path.join(sb.c, "campaign-" + tag)
        self.ready, self.stop = base + ".ready", base + ".stop"
        for p in (self.ready, self.stop, self.ready + ".log"):
            if os.path.exists(p):
                remove(p)
        with open(base + ".cmd", "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in lines))
        self.proc = subprocess.Popen(["wine", sb.helper_win, sb.win_of(base + ".cmd"), sb.win_of(self.ready),
                                      sb.win_of(self.stop)], cwd=sb.c, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        for _ in range(600):
            if os.path.exists(self.ready) or self.proc.poll() is not None:
                break
            time.sleep(0.05)

    def log(self):
        try:
            with open(self.ready + ".log", encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return "(no helper log)"

    def finish(self):
        open(self.stop, "w").close()
        try:
            return self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return -1


def run_vantrel(sb, temp_win, limit):
    """temp_win: the TEMP Vantrel sees ("" removes TEMP and TMP)."""
    if temp_win == sb.temp:
        cmd = ["wine", EXE_WIN, "/auto"]
    else:
        # Wine sets TEMP and TMP from the registry at process start, so a batch
        # file (read in code page 936, as cmd reads them) sets them for Vantrel.
        t = temp_win.rstrip("\\") if len(temp_win) > 3 else temp_win
        bat = os.path.join(sb.c, "campaign-run.bat")
        with open(bat, "w", encoding="gbk", newline="\r\n") as f:
            f.write('@echo off\nset TEMP=%s\nset TMP=%s\nstart /wait "" "%s" /auto\nexit /b %%ERRORLEVEL%%\n'
                    % (t, t, EXE_WIN))
        cmd = ["wine", "cmd", "/c", "C:\\campaign-run.bat"]
    start = time.time()
    try:
        rc = subprocess.run(cmd, cwd=sb.c, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            timeout=limit).returncode
    except subprocess.TimeoutExpired:
        rc = "timeout"
        subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], stderr=subprocess.DEVNULL)
    return rc, time.time() - start


class Churn(threading.Thread):
    """Creates and deletes old-looking temporary files while the walk runs."""

    def __init__(self, folder, rng):
        super().__init__(daemon=True)
        self.folder, self.rng, self.halt, self.count = folder, rng, threading.Event(), 0

    def run(self):
        alive = []
        while not self.halt.is_set():
            p = os.path.join(self.folder, "churn-%d.tmp" % self.count)
            try:
                with open(p, "wb") as f:
                    f.write(b"churn")
                t = time.time() - 300 * DAY
                os.utime(p, (t, t))
                alive.append(p)
                self.count += 1
            except OSError:
                pass
            while len(alive) > 5 or (alive and self.rng.random() < 0.4):
                q = alive.pop(0)
                try:
                    os.unlink(guard(q))
                except OSError:
                    pass
            time.sleep(0.003)
        for q in alive:
            try:
                os.unlink(guard(q))
            except OSError:
                pass


class Swapper(threading.Thread):
    """Swaps junk files for folders holding a document, or for links to the
    canary folder, at random moments while Vantrel runs. Swapped before the walk,
    the folder is walked (its document is no junk) and the link is passed over;
    swapped between the walk and the deletion, what now stands there must stay."""

    def __init__(self, victims, canary_dir, rng):
        super().__init__(daemon=True)
        self.victims, self.canary_dir, self.rng = list(victims), canary_dir, rng
        self.halt, self.swapped = threading.Event(), []

    def run(self):
        self.rng.shuffle(self.victims)
        while self.victims and not self.halt.is_set():
            time.sleep(self.rng.uniform(0.0, 0.08))
            p = self.victims.pop()
            try:
                os.unlink(guard(p))
            except OSError:
                continue  # the program was first
            try:
                if self.rng.random() < 0.5:
                    os.makedirs(p)
                    with open(os.path.join(p, "swapped-in.doc"), "w") as f:
                        f.write("keep\n")
                    self.swapped.append((p, "folder"))
                else:
                    os.symlink(self.canary_dir, p)
                    self.swapped.append((p, "link"))
            except OSError:
                pass


def swap_victims(tree, rng):
    """Old junk outside the temporary folders (where a swapped-in folder's
    contents would be junk too)."""
    roots = ("/drive_c/cmp/", "/drive_d/data/", "/drive_d/Ünïcode 数据/")
    pool = sorted(p for p, age in tree.files.items()
                  if any(r in p for r in roots) and os.path.basename(p) in TAKEN_NAMES and age > WEEK + DAY)
    return rng.sample(pool, min(len(pool), rng.randint(2, 6)))


def swap_faults(sb, swapper):
    faults = []
    for p, kind in swapper.swapped:
        if kind == "folder" and not os.path.isfile(os.path.join(p, "swapped-in.doc")):
            faults.append("a folder swapped in for a found file lost its document: %s" % sb.win_of(p))
        if kind == "link" and not os.path.islink(p):
            faults.append("a folder link swapped in for a found file was removed: %s" % sb.win_of(p))
    return faults


# --- comparing -------------------------------------------------------------------

SPECIAL_AREAS = ("/AppData/Local/Microsoft/Windows/INetCache", "/AppData/Local/Microsoft/Windows/Temporary Internet Files",
                 "/AppData/Local/Microsoft/Windows/History", "/AppData/Roaming/Microsoft/Windows/Cookies",
                 "/AppData/Local/Microsoft/Windows/INetCookies", "/AppData/Roaming/Holvane/")


def snapshot(roots):
    snap = {}
    for root in roots:
        for dirpath, dirs, files in os.walk(root):
            for name in dirs + files:
                p = os.path.join(dirpath, name)
                try:
                    st = os.lstat(p)
                except OSError:
                    continue
                kind = "link" if os.path.islink(p) else ("dir" if os.path.isdir(p) else "file")
                snap[p] = (kind, st.st_size, st.st_mtime_ns, st.st_atime)
    return snap


def compare(sb, tree, oc, before, after, run_start, held, candidates_masks, update_dirs, margin, swapped=()):
    """Faults of one run, and counts: files that went, files the oracle allowed,
    allowed files that stayed because another process held them."""
    faults, stats = [], {"deleted": 0, "taken": 0, "held_allowed": 0}
    linked = set(sb.win_of(p) + "\\" for p, v in before.items() if v[0] == "link")
    for p, (kind, size, mtime, atime) in before.items():
        if kind != "file" or any(a in p for a in SPECIAL_AREAS) or "/churn-" in p or "/campaign-" in p:
            continue
        if p in swapped:
            continue  # neither required to go nor to stay: see swap_faults
        gone = p not in after
        win = sb.win_of(p)
        reached = oc.reached(win, linked)
        # From the latest of the file's times; Wine reports the write time as its creation time.
        age = min(abs(run_start - atime), abs(run_start - mtime / 1e9))
        if p not in tree.files and any(abs(age - thr) < margin for thr in oc.thresholds()):
            continue  # a file of the prefix itself, too close to a threshold to decide
        takers = oc.takers(win, age) if reached else []
        stats["taken"] += bool(takers)
        stats["deleted"] += gone
        if gone and not takers:
            faults.append("deleted but not allowed: %s (age %ds, reached %s)" % (win, age, reached))
        elif not gone and takers:
            if win in held:
                stats["held_allowed"] += 1
            else:
                faults.append("allowed (%s) but kept: %s" % (takers[0], win))
    for p, v in before.items():
        # A link to a folder is a directory entry the walk never enters: it stays.
        if v[0] == "link" and p not in after and os.path.isdir(os.path.realpath(p)):
            faults.append("directory link removed: %s" % sb.win_of(p))
    # Folders: only candidates the walk entered and the update folders may go,
    # and each of them that ends empty must go.
    for p, v in before.items():
        if v[0] != "dir" or any(a in p for a in SPECIAL_AREAS):
            continue
        win = sb.win_of(p)
        removable = (oc.reached_dir(win, linked) and orc.matches_any(candidates_masks, win)) or \
            orc.upper_ascii(win) in update_dirs
        if p not in after:
            if not removable:
                faults.append("folder removed: %s" % win)
        elif removable and os.path.isdir(p) and not os.listdir(p):
            faults.append("empty folder kept: %s" % win)
    return faults, stats


def sabotage(sb, tree, rng):
    """Self-check of the oracle: removes one file that must stay and keeps one
    that must go (by recreating it), as a faulty program would."""
    kept = [p for p in tree.files if os.path.exists(p) and os.path.basename(p) in ("INSTALL.LOG", "precious.txt")]
    went = sorted(p for p in tree.files if not os.path.lexists(p) and "/long/" not in p)
    if kept:
        os.unlink(guard(rng.choice(kept)))
    if went:
        back = guard(rng.choice(went))
        os.makedirs(os.path.dirname(back), exist_ok=True)
        open(back, "wb").close()


def canary_state(canary):
    return {p: v[:3] for p, v in snapshot([canary["root"]]).items()}


def make_canary(tag):
    root = guard(os.path.join(BUILD, "campaign-canary-" + tag))
    if os.path.exists(root):
        remove(root)
    os.makedirs(os.path.join(root, "dir", "nested"))
    for rel in ("dir/outside.tmp", "dir/outside.bak", "dir/Thumbs.db", "dir/nested/deep.tmp", "file.tmp"):
        with open(os.path.join(root, rel), "w") as f:
            f.write("must survive\n")
        t = time.time() - 300 * DAY
        os.utime(os.path.join(root, rel), (t, t))
    return {"root": root, "dir": os.path.join(root, "dir"), "file": os.path.join(root, "file.tmp")}


def uptime_now():
    with open("/proc/uptime") as f:
        proc = float(f.read().split()[0])
    mono = time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
    return proc, mono


def run_seed(sb, seed, canary, args):
    rng = random.Random(seed)
    proc_up, mono_up = uptime_now()
    margin = max(120, 2 * abs(proc_up - mono_up) + 60)
    mode = rng.choice(["None", "Uptime", "Week", "Smart"])
    scan = "Quick" if rng.random() < 0.15 else "Complete"
    tree, temp_win, java, prefetch = generate(sb, rng, mono_up, margin, canary, args.scale)
    write_settings(sb, mode, scan, tree.excluded)
    with open(os.path.join(PREFIX, "campaign-created.json"), "w") as f:
        json.dump(tree.created, f)

    roots = [sb.c, sb.d]
    before = snapshot(roots)
    canary_before = canary_state(canary)
    lines = ["attr\t%s\t%s" % a for a in tree.attrs] + ["hold\t%s" % h for h in tree.holds]
    helper = Helper(sb, lines, "s%d" % seed)
    env_temp = temp_win if tree.hostile_temp is None else tree.hostile_temp
    churn = Churn(sb.unix(temp_win), random.Random(seed + 1))
    churn.start()
    victims = swap_victims(tree, random.Random(seed + 2))
    swapper = Swapper(victims, canary["dir"], random.Random(seed + 3))
    swapper.start()
    proc_up, mono_up = uptime_now()
    run_start = time.time()
    rc, elapsed = run_vantrel(sb, env_temp, args.limit)
    churn.halt.set()
    churn.join()
    swapper.halt.set()
    swapper.join()
    helper_rc = helper.finish()
    after = snapshot(roots)

    drives = ["C:\\", "D:\\"]
    # A refused TEMP gives the user-temporary action no folder at all.
    oracle_temp = temp_win if tree.hostile_temp is None else None
    actions = orc.catalogue(sb.win, oracle_temp, sb.recent, sb.profile, sb.appdata, drives, java, prefetch)
    oc = orc.Oracle(actions, mode, mono_up, tree.excluded, drives if scan == "Complete" else drives[:1])
    cands = orc.candidate_masks(sb.win, oracle_temp)
    updates = set(orc.upper_ascii(f) for f in orc.update_folders(sb.win, drives))
    if args.sabotage:
        sabotage(sb, tree, rng)
        after = snapshot(roots)
    faults, stats = compare(sb, tree, oc, before, after, run_start, set(tree.holds), cands, updates, margin,
                            set(victims))
    faults += swap_faults(sb, swapper)
    if rc != 0:
        faults.insert(0, "Vantrel /auto ended with %s after %.1fs" % (rc, elapsed))
    if helper_rc != 0:
        faults.append("helper failed (%s): %s" % (helper_rc, helper.log().strip()))
    canary_after = canary_state(canary)
    for p in sorted(set(canary_before) | set(canary_after)):
        if canary_before.get(p) != canary_after.get(p):
            faults.append("outside the sandbox changed: %s %s -> %s" % (p, canary_before.get(p), canary_after.get(p)))
    for p in ("precious.txt", "inner/plain.dat"):
        if not os.path.exists(os.path.join(sb.c, "cmp-keep", p)):
            faults.append("link target deleted: C:\\cmp-keep\\%s" % p)
    return {"seed": seed, "mode": mode, "scan": scan, "temp": env_temp, "excluded": tree.excluded,
            "files": len([1 for v in before.values() if v[0] == "file"]), "generated": len(tree.files),
            "deleted": stats["deleted"], "taken": stats["taken"], "held": len(tree.holds),
            "held_allowed": stats["held_allowed"], "links": len(tree.links), "attrs": len(tree.attrs),
            "excluded_n": len(tree.excluded), "churned": churn.count, "swapped": len(swapper.swapped),
            "seconds": round(elapsed, 1), "faults": faults}


def reset(sb):
    """Removes what the last tree made (inside the sandbox only)."""
    path = os.path.join(PREFIX, "campaign-created.json")
    if os.path.exists(path):
        with open(path) as f:
            for p in json.load(f):
                if os.path.lexists(p):
                    remove(p)
    for folder in (sb.unix(sb.temp), sb.unix(sb.win + "temp"), sb.d):
        clear_dir(folder)
    recent = sb.unix(sb.recent)
    if os.path.isdir(recent):
        for name in os.listdir(recent):
            if name.startswith("cmp-"):
                remove(os.path.join(recent, name))
    for name in os.listdir(sb.c):
        if name.startswith("campaign-s"):
            remove(os.path.join(sb.c, name))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--helper", required=True)
    ap.add_argument("--seeds", type=int, default=3)
    ap.add_argument("--first", type=int, default=1)
    ap.add_argument("--limit", type=int, default=240, help="seconds one Vantrel run may take")
    ap.add_argument("--report", default="")
    ap.add_argument("--scale", type=int, default=1, help="wider and deeper general trees")
    ap.add_argument("--sabotage", action="store_true", help="self-check: damage each tree; every seed must fail")
    ap.add_argument("--budget", type=int, default=0, help="stop starting trees after this many seconds")
    args = ap.parse_args()
    sb = Sandbox(args.exe, args.helper)
    canary = make_canary(os.path.basename(PREFIX))
    results, started = [], time.time()
    for seed in range(args.first, args.first + args.seeds):
        if args.budget and time.time() - started > args.budget:
            print("campaign: time budget reached after %d trees" % len(results), flush=True)
            break
        reset(sb)
        r = run_seed(sb, seed, canary, args)
        results.append(r)
        status = "FAIL" if r["faults"] else "ok"
        print("  %s: seed %d mode %s %s, %d files (%d generated), %d deleted, %d held (%d allowed), %d churned, "
              "%d swapped, %.1fs%s"
              % (status, seed, r["mode"], r["scan"], r["files"], r["generated"], r["deleted"], r["held"],
                 r["held_allowed"],
                 r["churned"], r["swapped"], r["seconds"], "".join("\n      " + f for f in r["faults"][:15])), flush=True)
        if args.report:
            with open(args.report, "w") as f:
                json.dump({"results": results, "seconds": round(time.time() - started)}, f, ensure_ascii=False,
                          indent=1)
    reset(sb)
    remove(canary["root"])
    failed = [r for r in results if r["faults"]]
    print("campaign: %d trees, %d files, %d deletions, %d faults in %ds" % (
        len(results), sum(r["files"] for r in results), sum(r["deleted"] for r in results),
        sum(len(r["faults"]) for r in results), time.time() - started))
    print("%d passed, %d failed" % (len(results) - len(failed), len(failed)))
    return 1 if failed or not results else 0


if __name__ == "__main__":
    sys.exit(main())
