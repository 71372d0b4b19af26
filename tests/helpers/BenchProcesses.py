#!/usr/bin/env python3
"""Whole-process timings for scripts/bench: Vantrel.exe /auto against a bare walk.

Run inside the bench sandbox's environment (WINEPREFIX and DISPLAY set, the
wineserver kept alive). Each round runs, in this order,
    the bare walk of C:\\ (bench-walk.exe --bare C:\\), then its counterpart on
        N threads and Vantrel.exe /auto with every action unticked, taking turns
        at going first from round to round, the bench tree on C:,
    Vantrel.exe /auto with the actions that take tree files ticked, which
        deletes the tree's 4,000 matching files (made again afterwards),
    the bare walk and the unticked Vantrel.exe with the tree parked outside
        the drive (the "empty" C:),
so the fixed costs of each program (start-up, window, settings, exit) can be
taken out: what the tree adds to a program's run is its time with the tree
minus its time without, and what the cleanup pass adds is the ticked run
minus the unticked one, paired per round.

For every run it records the wall time, the CPU time of the process plus what
the sandbox's other processes (wineserver, Wine's services and desktop) and the
Xvfb server spent meanwhile (Wine's server calls and the drawing are done
there, not in the process), and the peak
resident set of the process: ru_maxrss from wait4, i.e. the VmHWM of the Wine
process that runs the exe, at its exit.

Vantrel.exe gets, before every run, its settings file (protection "None",
scan mode "Quick", the ticks of the run). The file it saves after each warm-up
run is checked to hold every action still unticked, each cleaning run must
leave exactly the non-matching files, and the tree is checked to be whole at
the end.
"""
import argparse
import os
import re
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import BenchTree  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
LIMIT_SECONDS = 300


def cpu_seconds_of(pid):
    """User + system CPU seconds of a running process; 0 when it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
    except (OSError, IndexError, ValueError):
        return 0.0


def sandbox_pids(prefix):
    """The processes of this prefix (its wineserver, services, desktop), found
    by their environment. Read only: nothing is signalled."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            # Wine's own programs only: this script and its shell carry the variable too.
            if "/wine" not in os.readlink(f"/proc/{entry}/exe"):
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if b"\0WINEPREFIX=" + prefix.encode() + b"\0" in b"\0" + f.read():
                    pids.append(int(entry))
        except OSError:
            continue
    return pids


def run(command, helpers):
    """Runs command to its end: a dict of wall s, cpu s, peak MB, exit code and stdout."""
    with tempfile.TemporaryFile("w+", errors="replace") as out:
        helpers_before = sum(cpu_seconds_of(p) for p in helpers)
        started = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, os.environ,
                              file_actions=[(os.POSIX_SPAWN_DUP2, out.fileno(), 1),
                                            (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
        while True:
            done, status, usage = os.wait4(pid, os.WNOHANG)
            if done:
                break
            if time.perf_counter() - started > LIMIT_SECONDS:
                os.kill(pid, 9)  # our own child, by its id
                os.waitpid(pid, 0)
                sys.exit(f"timed out after {LIMIT_SECONDS} s: {' '.join(command)}")
            time.sleep(0.002)
        wall = time.perf_counter() - started
        helpers_cpu = sum(cpu_seconds_of(p) for p in helpers) - helpers_before
        out.seek(0)
        return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime + helpers_cpu,
                "peak": usage.ru_maxrss / 1024.0, "code": os.waitstatus_to_exitcode(status), "out": out.read()}


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


class Bench:
    def __init__(self, args):
        self.args = args
        self.find_helpers()
        self.template = read_text(args.template)
        self.ticked_template = read_text(args.ticked_template)
        self.action_count = self.template.count("<CleanupItem ")
        self.dir_counts = {}  # scenario -> ReadDirCountQuick from the warm-up run

    def find_helpers(self):
        """The processes that work for the measured one: the sandbox's wineserver
        and Wine services, and the X server."""
        self.helpers = sandbox_pids(os.environ["WINEPREFIX"]) + ([self.args.xvfb_pid] if self.args.xvfb_pid else [])
        if len(self.helpers) < 1 + bool(self.args.xvfb_pid):
            sys.exit("the sandbox's wineserver is not running (vt_sandbox_start)")

    def scenario(self, with_tree):
        if with_tree:
            BenchTree.unpark(self.args.tree, self.args.store)
        else:
            BenchTree.park(self.args.tree, self.args.store)
        if os.path.isdir(self.args.tree) != with_tree:
            sys.exit("could not move the bench tree")

    def settings_for(self, with_tree, ticked=False):
        """The template, with the directory count a second run would have stored."""
        template = self.ticked_template if ticked else self.template
        count = self.dir_counts.get(with_tree)
        if count is None:
            return template
        return template.replace('ScanMode="Quick"', f'ScanMode="Quick" ReadDirCountQuick="{count}"', 1)

    def bare(self, parallel=False):
        result = run(["wine", self.args.walk_exe, "--bare-parallel" if parallel else "--bare", "C:\\"], self.helpers)
        if result["code"] != 0:
            sys.exit(f"bench-walk.exe --bare ended with {result['code']}")
        found = dict(re.findall(r"@result (\w+) ([\d.]+)", result["out"]))
        result["dirs"] = int(float(found.get("bare_dirs", 0)))
        result["files"] = int(float(found.get("bare_files", 0)))
        return result

    def vantrel(self, with_tree, check=False, ticked=False):
        write_text(self.args.cfg, self.settings_for(with_tree, ticked))
        result = run(["wine", self.args.vantrel, "/auto"], self.helpers)
        if result["code"] != 0:
            sys.exit(f"Vantrel.exe /auto ended with {result['code']}")
        saved = read_text(self.args.cfg)
        if check:
            unticked = len(re.findall(r'<CleanupItem [^>]*Enabled="False"', saved))
            items = saved.count("<CleanupItem ")
            # It saves the actions it offers on this machine, a subset of the template's.
            if items == 0 or items > self.action_count or unticked != items:
                sys.exit(f"Vantrel saved {items} actions, {unticked} unticked; expected all unticked")
        match = re.search(r'ReadDirCountQuick="(\d+)"', saved)
        result["dirs"] = int(match.group(1)) if match else 0
        return result

    def vantrel_cleaning(self):
        """Vantrel.exe with the tree's actions ticked: it must delete exactly the
        matching files. They are made again afterwards."""
        result = self.vantrel(True, ticked=True)
        files, matching = BenchTree.census(self.args.tree)
        expected = BenchTree.TOPS * BenchTree.MIDS * BenchTree.LEAVES * BenchTree.FILES_PER_LEAF - BenchTree.MATCHES
        if matching != 0 or files != expected:
            sys.exit(f"the cleanup pass left {files} files, {matching} matching; expected {expected}, 0")
        BenchTree.restore(self.args.tree)
        return result

    def warm_up(self):
        for with_tree in (True, False):
            self.scenario(with_tree)
            bare = self.bare()
            van = self.vantrel(with_tree, check=True)
            self.dir_counts[with_tree] = van["dirs"]
            where = "with the tree" if with_tree else "without it"
            print(f"warm-up {where}: bare walk saw {bare['dirs']} folders and {bare['files']} files, "
                  f"Vantrel read {van['dirs']} folders")
            if van["dirs"] != bare["dirs"]:
                print("  note: the two walks did not cover the same folders")

    def measure(self):
        self.find_helpers()  # the warm-up may have started the desktop process
        runs = {(name, t): [] for name in ("bare", "bare_parallel", "vantrel") for t in (True, False)}
        runs[("cleaning", True)] = []
        for round_index in range(self.args.rounds):
            for with_tree in (True, False):
                self.scenario(with_tree)
                runs[("bare", with_tree)].append(self.bare())
                # Two busy cores slow down the longer they stay busy here: the second
                # of two runs on N threads is slower for that alone. The bare walk on N
                # threads and Vantrel.exe take turns at going first.
                if round_index % 2 == 0:
                    runs[("bare_parallel", with_tree)].append(self.bare(parallel=True))
                runs[("vantrel", with_tree)].append(self.vantrel(with_tree))
                if round_index % 2 == 1:
                    runs[("bare_parallel", with_tree)].append(self.bare(parallel=True))
                if with_tree:
                    runs[("cleaning", True)].append(self.vantrel_cleaning())
        self.scenario(True)
        return runs


def median(runs, key):
    return statistics.median(r[key] for r in runs)


def paired_increment(with_tree, without, key):
    """Median over rounds of (run with the tree - run without), paired by round."""
    return statistics.median(a[key] - b[key] for a, b in zip(with_tree, without))


def report(runs, rounds, results):
    print(f"whole processes: {rounds} rounds, interleaved; medians (wall s / CPU s incl. wineserver and Xvfb)")
    print(f"  {'run':44} {'wall s':>8} {'CPU s':>8} {'peak MB':>8}")
    labels = {("bare", True): "bare walk of C:\\ (bench-walk --bare), tree",
              ("vantrel", True): "Vantrel.exe /auto (Quick = C:\\), tree",
              ("cleaning", True): "the same, cleaning the 4,000 tree matches",
              ("bare_parallel", True): "the same on N threads, tree",
              ("bare", False): "bare walk of C:\\, no tree",
              ("bare_parallel", False): "the same on N threads, no tree",
              ("vantrel", False): "Vantrel.exe /auto, no tree"}
    for key, label in labels.items():
        r = runs[key]
        tag = f"{key[0] if key[0] != 'cleaning' else 'vantrel_clean'}_{'tree' if key[1] else 'empty'}"
        print(f"  {label:44} {median(r, 'wall'):8.2f} {median(r, 'cpu'):8.2f} {max(x['peak'] for x in r):8.1f}")
        results[f"proc_{tag}_wall_s"] = median(r, "wall")
        results[f"proc_{tag}_cpu_s"] = median(r, "cpu")
        results[f"proc_{tag}_peak_mb"] = max(x["peak"] for x in r)
    for key in ("wall", "cpu"):
        whole = median(runs[("vantrel", True)], key) / median(runs[("bare", True)], key)
        bare_inc = paired_increment(runs[("bare", True)], runs[("bare", False)], key)
        van_inc = paired_increment(runs[("vantrel", True)], runs[("vantrel", False)], key)
        print(f"  {key}: whole runs Vantrel/bare {whole:.2f}x; what the tree adds: "
              f"Vantrel {van_inc:.2f} s, bare {bare_inc:.2f} s, ratio {van_inc / bare_inc:.2f}x")
        results[f"proc_whole_ratio_{key}"] = whole
        results[f"proc_tree_ratio_{key}"] = van_inc / bare_inc
        results[f"proc_tree_vantrel_{key}_s"] = van_inc
        results[f"proc_tree_bare_{key}_s"] = bare_inc
        parallel_inc = paired_increment(runs[("bare_parallel", True)], runs[("bare_parallel", False)], key)
        # Vantrel.exe against the bare walk on N threads of its own round, run beside it.
        paired = statistics.median(
            (a[key] - b[key]) / (c[key] - d[key])
            for a, b, c, d in zip(runs[("vantrel", True)], runs[("vantrel", False)],
                                  runs[("bare_parallel", True)], runs[("bare_parallel", False)]))
        print(f"  {key}: what the tree adds to the bare walk on N threads: {parallel_inc:.2f} s; "
              f"Vantrel / that {van_inc / parallel_inc:.2f}x (paired by round {paired:.2f}x), "
              f"that / bare walk {parallel_inc / bare_inc:.2f}x")
        results[f"proc_tree_ratio_parallel_{key}"] = paired
        results[f"proc_tree_ratio_parallel_unpaired_{key}"] = van_inc / parallel_inc
        results[f"proc_tree_parallel_vs_bare_{key}"] = parallel_inc / bare_inc
        clean_inc = paired_increment(runs[("cleaning", True)], runs[("vantrel", True)], key)
        print(f"  {key}: what cleaning the 4,000 matches adds to Vantrel's run: {clean_inc:.2f} s")
        results[f"proc_clean_vantrel_{key}_s"] = clean_inc


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--tree", required=True, help="Unix path of C:\\benchtree")
    parser.add_argument("--store", required=True, help="sandbox folder outside C: for the parked tree")
    parser.add_argument("--walk-exe", required=True, help="bench-walk.exe (Unix path)")
    parser.add_argument("--vantrel", required=True, help="Windows path of the Vantrel.exe copy in the sandbox")
    parser.add_argument("--cfg", required=True, help="Unix path of the sandbox user's Vantrel.cfg")
    parser.add_argument("--template", required=True, help="settings file with every action unticked")
    parser.add_argument("--ticked-template", required=True, help="settings file with the tree's actions ticked")
    parser.add_argument("--xvfb-pid", type=int, default=0)
    parser.add_argument("--results", required=True, help="file to append 'key value' lines to")
    args = parser.parse_args()
    args.tree, args.store = os.path.abspath(args.tree), os.path.abspath(args.store)

    bench = Bench(args)
    try:
        bench.warm_up()
        runs = bench.measure()
    finally:
        BenchTree.unpark(args.tree, args.store)
    BenchTree.restore(args.tree)
    files, matching = BenchTree.census(args.tree)
    if matching != BenchTree.MATCHES:
        sys.exit(f"the tree lost files: {matching} of {BenchTree.MATCHES} matching files left")
    results = {}
    report(runs, args.rounds, results)
    with open(args.results, "a", encoding="utf-8") as f:
        for key, value in results.items():
            f.write(f"{key} {value:.3f}\n")


if __name__ == "__main__":
    main()
