#!/usr/bin/env python3
"""The million-file tree that scripts/stress reads, written from the Linux side.

    StressTree.py ensure TREE     makes TREE unless a whole one of this layout is there

Layout: 100 x 10 = 1,000 leaf folders of 1,000 empty files each (1,000,000
files, 1,101 folders with the root). Every tenth file is named *.bak, which
the backup action takes, so the found lists hold 100,000 files at the end of a
pass. Every file was last accessed and written 30 days ago, so the default
file protection lets them all be offered.
"""
import os
import shutil
import sys
import time

LAYOUT = "stresstree v1: 100x10 folders, 1000 files each, every tenth *.bak, 30 days old"
TOPS, LEAVES, FILES_PER_LEAF, MATCH_EVERY = 100, 10, 1000, 10
AGE_SECONDS = 30 * 24 * 3600


def file_count():
    return TOPS * LEAVES * FILES_PER_LEAF


def match_count():
    return file_count() // MATCH_EVERY


def build(tree):
    old = time.time() - AGE_SECONDS
    for t in range(TOPS):
        for l in range(LEAVES):
            leaf = os.path.join(tree, f"part{t:03d}", f"leaf{l:02d}")
            os.makedirs(leaf, exist_ok=True)
            for f in range(FILES_PER_LEAF):
                extension = ".bak" if f % MATCH_EVERY == 0 else ".dat"
                path = os.path.join(leaf, f"file{f:04d}{extension}")
                os.close(os.open(path, os.O_CREAT | os.O_WRONLY, 0o644))
                os.utime(path, (old, old))
        print(f"  {(t + 1) * LEAVES * FILES_PER_LEAF} files", file=sys.stderr, flush=True) if t % 10 == 9 else None


def ensure(tree):
    marker = tree + ".layout"
    if os.path.exists(marker) and open(marker).read() == LAYOUT and os.path.isdir(tree):
        return
    if os.path.exists(tree):
        if "/build/" not in os.path.realpath(tree):
            sys.exit(f"refusing to remove {tree}: not inside a build folder")
        shutil.rmtree(tree)
    build(tree)
    with open(marker, "w") as out:
        out.write(LAYOUT)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "ensure":
        ensure(sys.argv[2])
    elif len(sys.argv) == 2 and sys.argv[1] == "counts":
        print(file_count(), match_count())
    else:
        sys.exit(__doc__)
