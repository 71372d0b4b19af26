#!/usr/bin/env python3
"""The file tree scripts/bench reads and cleans, written from the Linux side.

    BenchTree.py ensure TREE STORE   makes TREE unless a whole one of this layout is there
    BenchTree.py park TREE STORE     moves TREE into STORE, for runs without it
    BenchTree.py unpark TREE STORE   puts a parked tree back
    BenchTree.py restore TREE STORE  makes again the files a cleanup pass deleted

STORE is a folder outside the drive being read (the sandbox folder); it holds
the marker of a finished tree and the parked tree, on the same file system as
TREE so that parking is a rename.

Layout: 20 x 50 x 20 = 20,000 leaf folders of 10 empty files each (200,000
files, 21,021 folders with the root). 4,000 files (2 %) carry names that
file-mask actions take: *.tmp, *.bak, *.old, *.gid, Thumbs.db and ~$*.doc,
drawn with a fixed seed so every run sees the same tree. Every file was last
accessed and written 30 days ago, so any file protection lets the matches go.
"""
import os
import random
import shutil
import sys
import time

LAYOUT = "benchtree v1: 20x50x20 folders, 10 files each, 4000 matches, 30 days old"
TOPS, MIDS, LEAVES, FILES_PER_LEAF = 20, 50, 20, 10
MATCHES = 4000
STEMS = ["report", "image", "data", "setup", "readme", "index", "module", "cache", "photo", "notes"]
PLAIN_EXTENSIONS = [".dat", ".txt", ".dll", ".jpg", ".doc", ".cpp", ".h", ".png", ".xml", ".ini", ".exe", ".html"]
MATCH_KINDS = [".tmp", ".bak", ".old", ".gid", "Thumbs.db", "~$.doc"]
AGE_SECONDS = 30 * 24 * 3600


def leaf_folders(tree):
    for t in range(TOPS):
        for m in range(MIDS):
            for l in range(LEAVES):
                yield os.path.join(tree, f"dir{t:02d}", f"sub{m:02d}", f"leaf{l:02d}")


def file_names(leaf_index, matched, rng):
    """The ten names of one leaf; indices in `matched` get a name an action takes."""
    names, has_thumbs = [], False
    for i in range(FILES_PER_LEAF):
        n = leaf_index * FILES_PER_LEAF + i
        stem = f"{STEMS[n % len(STEMS)]}{n:06d}"
        kind = matched.get(n)
        if kind is None:
            names.append(stem + PLAIN_EXTENSIONS[rng.randrange(len(PLAIN_EXTENSIONS))])
        elif kind == "Thumbs.db" and not has_thumbs:
            names.append("Thumbs.db")
            has_thumbs = True
        elif kind == "~$.doc":
            names.append("~$" + stem + ".doc")
        elif kind == "Thumbs.db":
            names.append(stem + ".tmp")  # one Thumbs.db per folder
        else:
            names.append(stem + kind)
    return names


def layout(tree):
    """(folder, file names) of every leaf, the same on every call."""
    rng = random.Random(20240601)
    total = TOPS * MIDS * LEAVES * FILES_PER_LEAF
    picks = rng.sample(range(total), MATCHES)
    matched = {n: MATCH_KINDS[i % len(MATCH_KINDS)] for i, n in enumerate(sorted(picks))}
    for leaf_index, leaf in enumerate(leaf_folders(tree)):
        yield leaf, file_names(leaf_index, matched, rng)


def make_file(path, old):
    os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644))
    os.utime(path, ns=(old, old))


def make(tree):
    old = time.time_ns() - AGE_SECONDS * 1_000_000_000
    count = 0
    for leaf, names in layout(tree):
        os.makedirs(leaf)
        for name in names:
            make_file(os.path.join(leaf, name), old)
            count += 1
    return count


def restore(tree):
    """Makes again the files a cleanup pass deleted; the number made."""
    old = time.time_ns() - AGE_SECONDS * 1_000_000_000
    made = 0
    for leaf, names in layout(tree):
        present = set(os.listdir(leaf))
        for name in names:
            if name not in present:
                make_file(os.path.join(leaf, name), old)
                made += 1
    return made


def age_again(tree):
    """Puts back the month-old times of files something has read since (a text
    search over the project folder does): the protection modes would take them
    as in use. The number aged."""
    old = time.time_ns() - AGE_SECONDS * 1_000_000_000
    recent = time.time_ns() - AGE_SECONDS // 2 * 1_000_000_000
    aged = 0
    for folder, _, names in os.walk(tree):
        for name in names:
            path = os.path.join(folder, name)
            times = os.stat(path)
            if times.st_atime_ns > recent or times.st_mtime_ns > recent:
                os.utime(path, ns=(old, old))
                aged += 1
    return aged


def matches_an_action(name):
    lower = name.lower()
    return (lower.endswith((".tmp", ".bak", ".old", ".gid", "thumbs.db"))
            or (lower.startswith("~$") and lower.endswith(".doc")))


def census(tree):
    """(files, matching files) below tree."""
    files = matching = 0
    for _, _, names in os.walk(tree):
        files += len(names)
        matching += sum(1 for n in names if matches_an_action(n))
    return files, matching


def ensure(tree, store):
    marker = os.path.join(store, "benchtree.complete")
    unpark(tree, store)
    if os.path.isdir(tree) and os.path.isfile(marker):
        with open(marker, encoding="utf-8") as f:
            if f.read().strip() == LAYOUT:
                restore(tree)  # after a cleaning run that was cut short
                files, matching = census(tree)
                if files == TOPS * MIDS * LEAVES * FILES_PER_LEAF and matching == MATCHES:
                    aged = age_again(tree)
                    print(f"reusing {tree} ({files} files, {matching} matching an action"
                          + (f"; {aged} read since were made a month old again" if aged else "") + ")")
                    return
    # Missing, of another layout, or cut short by an earlier run: start again.
    print(f"creating {tree}: {TOPS * MIDS * LEAVES} folders of {FILES_PER_LEAF} files")
    started = time.monotonic()
    if os.path.exists(marker):
        os.remove(marker)
    shutil.rmtree(tree, ignore_errors=True)
    count = make(tree)
    files, matching = census(tree)
    if files != count or matching != MATCHES:
        sys.exit(f"tree check failed: {files} files, {matching} matching (expected {count}, {MATCHES})")
    with open(marker, "w", encoding="utf-8") as f:
        f.write(LAYOUT + "\n")
    print(f"created {files} files ({matching} matching) in {time.monotonic() - started:.1f} s")


def parked(store):
    return os.path.join(store, "benchtree.parked")


def park(tree, store):
    if os.path.isdir(tree) and not os.path.exists(parked(store)):
        os.rename(tree, parked(store))


def unpark(tree, store):
    if os.path.isdir(parked(store)) and not os.path.exists(tree):
        os.rename(parked(store), tree)


if __name__ == "__main__":
    actions = {"ensure": ensure, "park": park, "unpark": unpark, "restore": lambda tree, _: restore(tree)}
    if len(sys.argv) != 4 or sys.argv[1] not in actions:
        sys.exit(__doc__)
    action = actions[sys.argv[1]]
    action(os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3]))
