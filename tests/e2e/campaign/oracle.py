"""What Vantrel /auto may delete, decided independently of the program.

The rules: a file is offered only when the walk reaches it (not below an
excluded directory, not through a directory link, its drive walked by the
scan mode) and it passes the reader's age filter; it is never taken inside a
recycle-bin folder (":\\RECYCLER" or ":\\$RECYCLE.BIN" anywhere in the
upper-cased path) or when a built-in protected mask matches; otherwise every
ticked file-mask action whose masks match takes it when its protection rule
allows. A file's age counts from the latest of its times (the caller passes it).
"""

UPTIME, WEEK = "uptime", "week"
WEEK_SECONDS = 7 * 24 * 3600

PROTECTED_MASKS = ["*\\microsoft\\office\\data\\opa*.bak", "*\\microsoft\\office\\data\\data.bak", "*\\INSTALL.LOG"]


def upper_ascii(text):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in text)


def upper_names(text):
    """Letter case as the file system compares names (excluded directories): each
    character's own upper case, beyond a-z."""
    return "".join(u if len(u := c.upper()) == 1 else c for c in text)


def utf16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


def escape_brackets(folder):
    """A folder path entered literally into a mask."""
    return folder.replace("[", "[[]")


class Mask:
    """`*` any run (backslashes included), `?` one UTF-16 unit, `[...]` a set
    (`!` negates, `a-b` ranges), everything else literal; whole-name match.
    `*\\` and a part without a backslash: the part against the file name alone."""

    def __init__(self, text):
        self.items = []
        self.file_name_only = text.startswith("*\\") and "\\" not in text[2:]
        if self.file_name_only:
            text = text[2:]
        units = utf16_units(upper_ascii(text))
        i = 0
        while i < len(units):
            c = units[i]
            if c == ord("*"):
                self.items.append(("star",))
                i += 1
            elif c == ord("?"):
                self.items.append(("any",))
                i += 1
            elif c == ord("["):
                i += 1
                negate = i < len(units) and units[i] == ord("!")
                if negate:
                    i += 1
                ranges = []
                while i < len(units) and units[i] != ord("]"):
                    lo = units[i]
                    if i + 2 < len(units) and units[i + 1] == ord("-") and units[i + 2] != ord("]"):
                        ranges.append((lo, units[i + 2]))
                        i += 3
                    else:
                        ranges.append((lo, lo))
                        i += 1
                if i >= len(units) or not ranges:
                    raise ValueError("malformed mask " + text)
                i += 1
                self.items.append(("set", negate, ranges))
            else:
                self.items.append(("lit", c))
                i += 1

    def matches(self, name_units):
        if self.file_name_only:
            if ord("\\") not in name_units:
                return False
            name_units = name_units[len(name_units) - name_units[::-1].index(ord("\\")):]
        items, n = self.items, len(name_units)
        memo = {}

        def at(k, p):
            key = (k, p)
            if key in memo:
                return memo[key]
            if k == len(items):
                result = p == n
            else:
                item = items[k]
                if item[0] == "star":
                    result = any(at(k + 1, q) for q in range(p, n + 1))
                elif p >= n:
                    result = False
                elif item[0] == "any":
                    result = at(k + 1, p + 1)
                elif item[0] == "lit":
                    result = name_units[p] == item[1] and at(k + 1, p + 1)
                else:
                    inside = any(lo <= name_units[p] <= hi for lo, hi in item[2])
                    result = (inside != item[1]) and at(k + 1, p + 1)
            memo[key] = result
            return result

        return at(0, 0)


def matches_any(masks, path):
    units = utf16_units(upper_ascii(path))
    return any(m.matches(units) for m in masks)


class Action:
    def __init__(self, name, masks, rule, ticked=True):
        self.name = name
        self.masks = [Mask(m) for m in masks]
        self.rule = rule
        self.ticked = ticked


def catalogue(win, temp, recent, profile, appdata, drives, java, prefetch):
    """The file-mask actions the sandbox offers, with their masks and Smart rules.
    Folders end with a backslash."""
    w = escape_brackets(win)
    acts = [
        Action("recent documents", [escape_brackets(recent) + "*"], WEEK),
        Action("backup files", ["*.bak", "*.old", "*.000"], WEEK),
        Action("help files", ["*.gid", "*.fts", "*.ftg"], WEEK),
        Action("scandisk log", ["?:\\Scandisk.log"], UPTIME),
        Action("lost clusters", ["?:\\File????.CHK"], UPTIME),
        Action("temporary files", ["*.tmp", "*.$$$", "*.~mp"], UPTIME),
        Action("word temporary", ["*\\~$*.doc"], UPTIME),
        Action("thumbnails", ["*Thumbs.db"], UPTIME),
        Action("memory dumps", [w + "Minidump\\*.dmp", w + "memory.dmp"], UPTIME),
        Action("windows logs", [w + x for x in (
            "system32\\wbem\\Logs\\*.log", "system32\\wbem\\Logs\\*.lo_", "KB??????.log", "Q??????.log",
            "setuplog.txt", "comsetup.log", "DirectX.log", "FaxSetup.log", "iis6.log", "msmqinst.log",
            "ntdtcsetup.log", "ocgen.log", "setupact.log", "setupapi.log", "svcpack.log", "tsoc.log",
            "Windows Update.log", "WindowsUpdate.log", "wmsetup.log", "ntbtlog.txt", "Debug\\*.log",
            "Debug\\UserMode\\*.log")] + ["*\\Application Data\\Microsoft\\Dr Watson\\*.log",
                                          "*\\Application Data\\Microsoft\\Dr Watson\\*.dmp"], WEEK, ticked=False),
        Action("update temporary", [escape_brackets(f) + "\\*" for f in update_folders(win, drives)], UPTIME),
        Action("update uninstall", [w + "$Nt*\\*", w + "$hf_mig$\\*", w + "$MSI*\\*"], UPTIME),
    ]
    if java:
        acts.append(Action("java cache", [escape_brackets(profile) + ".jpi_cache\\*",
                                          escape_brackets(appdata) + "Sun\\Java\\Deployment\\cache\\*"], UPTIME))
    if prefetch:
        acts.append(Action("prefetch", [w + "Prefetch\\*"], WEEK))
    if temp is not None:  # None: a TEMP the program refuses to empty
        acts.append(Action("user temporary", [escape_brackets(temp) + "*"], UPTIME))
    acts.append(Action("windows temporary", [w + "Temp\\*"], UPTIME))
    return acts


def update_folders(win, drives):
    folders = []
    for d in drives:
        folders += [d + "WUTemp", d + "msdownld.tmp"]
    return folders + [win + "msdownld.tmp", win + "Windows Update 设置文件"]


def candidate_masks(win, temp):
    """Directories the cleanup pass tries to remove when the walk entered them."""
    masks = [Mask(escape_brackets(win) + "$Nt*"), Mask(escape_brackets(win) + "Temp\\*")]
    if temp is not None:
        masks.append(Mask(escape_brackets(temp) + "*"))
    return masks


class Oracle:
    """mode: None/Uptime/Week/Smart; uptime: seconds at the start of the run;
    excluded: the settings' excluded directories as written."""

    def __init__(self, actions, mode, uptime, excluded, walked_drives):
        self.actions = actions
        self.mode = mode
        self.uptime = uptime
        self.excluded = [upper_names(e if e.endswith("\\") else e + "\\") for e in excluded]
        self.walked = [upper_ascii(d) for d in walked_drives]
        self.protected = [Mask(m) for m in PROTECTED_MASKS]

    def reached(self, win_path, linked_dirs):
        """True when the walk reports this path: its drive is walked and no
        directory on the way is excluded or a link."""
        up = upper_ascii(win_path)
        if up[:3] not in self.walked:
            return False
        parts = win_path.split("\\")
        for k in range(1, len(parts)):
            d = "\\".join(parts[:k]) + "\\"
            if upper_names(d) in self.excluded:
                return False
            if k >= 2 and d in linked_dirs:
                return False
        return True

    def reached_dir(self, win_dir, linked_dirs):
        return self.reached(win_dir.rstrip("\\") + "\\x", linked_dirs)

    def min_access_age(self):
        return {"Uptime": self.uptime, "Smart": self.uptime, "Week": WEEK_SECONDS}.get(self.mode, 0)

    def rule_allows(self, rule, age):
        if self.mode == "None":
            return True
        if self.mode == "Uptime" or (self.mode == "Smart" and rule == UPTIME):
            return age >= self.uptime
        if self.mode == "Week" or (self.mode == "Smart" and rule == WEEK):
            return age >= WEEK_SECONDS
        return False

    def takers(self, win_path, age):
        """Names of the ticked actions that take the file (empty: it must stay)."""
        if age < self.min_access_age():
            return []
        up = upper_ascii(win_path)
        if ":\\RECYCLER" in up or ":\\$RECYCLE.BIN" in up:
            return []
        if matches_any(self.protected, win_path):
            return []
        units = utf16_units(up)
        return [a.name for a in self.actions
                if a.ticked and any(m.matches(units) for m in a.masks) and self.rule_allows(a.rule, age)]

    def thresholds(self):
        """Ages near which the decision flips (the generator keeps away from them)."""
        return [self.uptime, WEEK_SECONDS]
