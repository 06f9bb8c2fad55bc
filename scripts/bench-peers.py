#!/usr/bin/env python3
"""Times the chronelle CLI beside Timewarrior on the same intervals, whole processes.

One seeded data set per size is written as a Timewarrior database (data/YYYY-MM.data files)
and, through `chronelle import timewarrior`, as a Chronelle store; both are kept under
--work (default build/bench-peers) and reused. Each command pair is run interleaved, the
median wall time of --runs runs is printed as a Markdown table with the machine and the load,
and each row's target and whether the build meets it.

    scripts/bench-peers.py --chronelle build/release/cli/chronelle [--sizes 10000,100000,1000000]
                           [--before /tmp/chronelle-before] [--only add,edit]

With --before, an older build is timed too, in turn with the two others, on a store of its own
imported by itself (a newer build may have migrated the other store beyond what it can open).
"""

import argparse
import datetime as dt
import json
import os
import platform
import shutil
import sqlite3
import statistics
import subprocess
import sys
import time

START = dt.datetime(2021, 1, 1, tzinfo=dt.timezone.utc)
END = dt.datetime(2026, 1, 1, tzinfo=dt.timezone.utc)
TASKS = [f"proj{i:02d}" for i in range(20)]


class SplitMix64:
    """The generator the library's bench stores use: a seed gives the same data everywhere."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        return self.next() % n


def intervals(count, seed):
    """`count` intervals over 2021-2025 in equal slots, 30-90 % of a slot each, never overlapping."""
    random = SplitMix64(seed)
    span = int((END - START).total_seconds())
    slot = span // count
    for i in range(count):
        begin = i * slot + random.below(max(1, slot // 10))
        length = max(1, slot * (30 + random.below(61)) // 100)
        yield (START + dt.timedelta(seconds=begin), START + dt.timedelta(seconds=begin + length),
               TASKS[random.below(len(TASKS))])


def stamp(t):
    return t.strftime("%Y%m%dT%H%M%SZ")


def write_data_set(directory, count, seed):
    """The Timewarrior database and its export, written once per size and seed."""
    done = os.path.join(directory, "complete")
    if os.path.exists(done):
        return
    shutil.rmtree(directory, ignore_errors=True)
    data = os.path.join(directory, "timew", "data")
    os.makedirs(data)
    open(os.path.join(directory, "timew", "timewarrior.cfg"), "w").close()
    files = {}
    tags = {}
    with open(os.path.join(directory, "export.json"), "w") as export:
        export.write("[\n")
        for n, (begin, end, tag) in enumerate(intervals(count, seed)):
            name = begin.strftime("%Y-%m") + ".data"
            if name not in files:
                files[name] = open(os.path.join(data, name), "w")
            files[name].write(f"inc {stamp(begin)} - {stamp(end)} # {tag}\n")
            tags[tag] = tags.get(tag, 0) + 1
            export.write((",\n" if n else "") + json.dumps(
                {"id": n + 1, "start": stamp(begin), "end": stamp(end), "tags": [tag]}))
        export.write("\n]\n")
    for f in files.values():
        f.close()
    with open(os.path.join(data, "tags.data"), "w") as f:
        json.dump({tag: {"count": c} for tag, c in tags.items()}, f)
    open(done, "w").close()


def import_store(chronelle, directory, name="chronelle"):
    store = os.path.join(directory, name)
    if os.path.exists(os.path.join(store, "imported")):
        return store
    shutil.rmtree(store, ignore_errors=True)
    os.makedirs(store)
    started = time.perf_counter()
    subprocess.run([chronelle, "--store", store, "--tz", "UTC", "import", "timewarrior",
                    os.path.join(directory, "export.json")], check=True, stdout=subprocess.DEVNULL)
    print(f"imported {directory} in {time.perf_counter() - started:.1f} s", file=sys.stderr)
    open(os.path.join(store, "imported"), "w").close()
    return store


def run(command, env):
    started = time.perf_counter()
    result = subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - started
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed: {result.stderr.decode()[:300]}")
    return elapsed


def timed_sides(rows, runs, env):
    """Median seconds of each side of each row, the sides run in turn (None: not timed)."""
    samples = {row[0]: [[] for _ in row[1:]] for row in rows}
    for r in range(runs):
        for name, *sides in rows:
            for side, command in enumerate(sides):
                samples[name][side].append(run(command(r), env) if command else 0)
    return {name: [statistics.median(s) for s in sides] for name, sides in samples.items()}


def target(name, count):
    """What a row must show against its peer: (label, test of the ratio ours ÷ peer), or None.

    Every compared command is to be faster than Timewarrior on the larger data sets, and month
    and year reports at least five times faster at a million intervals; starting the program
    is held to the bare start of Timewarrior, and the month by node to the SQL that computes
    it in one `sqlite3` process."""
    if name.startswith("parse"):
        return "≤ 1.5", lambda ratio: ratio <= 1.5
    if name.startswith("status"):
        return "≤ 2 × timew --version", lambda ratio: ratio <= 2
    if "sqlite3" in name:
        return "≤ 3", lambda ratio: ratio <= 3
    if name.startswith("bare process") or count < 100_000:
        return None
    if name.startswith("report") and count >= 1_000_000:
        return "≥ 5× faster", lambda ratio: ratio <= 0.2
    return "faster", lambda ratio: ratio < 1


def verdict(name, count, ratio):
    """The target column and its mark; blank where the row has no target or no ratio."""
    aim = target(name, count)
    if aim is None or ratio is None:
        return f"{aim[0] if aim else ''} | "
    return f"{aim[0]} | {'✓' if aim[1](ratio) else '✗'}"


def ms(seconds):
    return f"{seconds * 1000:.1f} ms" if seconds else "–"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--chronelle", required=True)
    parser.add_argument("--sizes", default="10000,100000,1000000")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--work", default="build/bench-peers")
    parser.add_argument("--before", help="an older chronelle binary timed beside the other")
    parser.add_argument("--only", help="time only the rows whose name contains one of these comma-separated words")
    options = parser.parse_args()
    chronelle = os.path.abspath(options.chronelle)
    before = os.path.abspath(options.before) if options.before else None
    timew = shutil.which("timew")
    if not timew:
        sys.exit("timew is not installed (make bench-peers installs it)")

    rows = []
    for count in [int(s) for s in options.sizes.split(",")]:
        directory = os.path.abspath(os.path.join(options.work, f"n{count}-s{options.seed}"))
        write_data_set(directory, count, options.seed)
        store = import_store(chronelle, directory)
        env = dict(os.environ, TIMEWARRIORDB=os.path.join(directory, "timew"), TZ="UTC")
        ours = [chronelle, "--store", store, "--tz", "UTC"]
        old_store = import_store(before, directory, "chronelle-before") if before else None
        old = [before, "--store", old_store, "--tz", "UTC"] if before else None
        # Once untimed: a store of an older model version is migrated by its first open.
        for base in filter(None, (ours, old)):
            run(base + ["tree"], env)
        sqlite = shutil.which("sqlite3")
        # The month's bounded per-task sums, as the library's limit in one `sqlite3` process.
        month_sql = ("SELECT ZTASK, SUM(ZCONFIRMEDDURATION), COUNT(*) FROM ZSESSION WHERE "
                     "ZBEGIN >= 1764547200000000 - (SELECT MAX(ZEND - ZBEGIN) FROM ZSESSION) AND "
                     "ZBEGIN < 1767225600000000 AND +ZEND > 1764547200000000 GROUP BY ZTASK")
        # Minutes after the data, new on every run of the script: Timewarrior refuses overlaps.
        first_added = dt.datetime(2030, 1, 1, tzinfo=dt.timezone.utc) + dt.timedelta(
            minutes=(int(time.time()) % 5_000_000) * 2 * options.runs)

        def added(r, end):
            return (first_added + dt.timedelta(minutes=2 * r + end)).strftime("%Y-%m-%dT%H:%M:%SZ")

        def prefix(side_store):
            """The first eight characters of the identifier of the store's first entry."""
            with sqlite3.connect(f"file:{os.path.join(side_store, 'chronelle.sqlite')}?mode=ro", uri=True) as db:
                return db.execute("SELECT substr(ZIDENTIFIER, 1, 8) FROM ZSESSION WHERE Z_PK = 1").fetchone()[0]

        def ours_of(base, side_store):
            """The chronelle side of each row, for one build on its store."""
            entry = prefix(side_store)
            return [
                lambda r: base + ["report", "--month", "2025-12-01", "--by", "node"],
                lambda r: base + ["report", "--month", "2021-01-01", "--by", "node"],
                lambda r: base + ["report", "--year", "2025-01-01", "--by", "node"],
                lambda r: base + ["export", "--year", "2025-01-01", "--format", "json"],
                lambda r: base + ["entry", "add", "proj01", "--from", added(r, 0), "--to", added(r, 1)],
                lambda r: base + ["entry", "edit", entry, "--notes", f"run {r}"],
                lambda r: base + ["parse", "1h"],
                lambda r: base + ["status"],
                lambda r: base + ["report", "--month", "2025-12-01", "--by", "node"],
                None,
            ]

        peers = [
            ("report of the newest month by node / summary", lambda r: [timew, "summary", "2025-12-01", "-", "2026-01-01"]),
            ("report of the oldest month by node / summary", lambda r: [timew, "summary", "2021-01-01", "-", "2021-02-01"]),
            ("report of a year by node / summary", lambda r: [timew, "summary", "2025-01-01", "-", "2026-01-01"]),
            ("export of a year (JSON)", lambda r: [timew, "export", "2025-01-01", "-", "2026-01-01"]),
            ("add one entry", lambda r: [timew, "track", added(r, 0), "-", added(r, 1), "proj01", ":quiet"]),
            # An entry named by a prefix of its identifier; Timewarrior's newest by its number.
            ("edit one entry's notes / annotate", lambda r: [timew, "annotate", "@1", f"run {r}", ":quiet"]),
            ("parse 1h / timew --version", lambda r: [timew, "--version"]),
            ("status (timer idle)", None),
            ("month by node / sqlite3 bounded sums",
             (lambda r: [sqlite, os.path.join(store, "chronelle.sqlite"), month_sql]) if sqlite else None),
            ("bare process: /bin/true", lambda r: ["/bin/true"]),
        ]
        newer = ours_of(ours, store)
        older = ours_of(old, old_store) if old else [None] * len(peers)
        wanted = options.only.split(",") if options.only else [""]
        timed = timed_sides([(name, o, a, b) for (name, b), o, a in zip(peers, older, newer)
                             if any(word in name for word in wanted)], options.runs, env)
        for name, (o, a, b) in timed.items():
            rows.append((name, count, o, a, b))

    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    print(f"Machine: {platform.processor() or platform.machine()}, {os.cpu_count()} cores, "
          f"{platform.system()} {platform.release()}; load average {load}; median of {options.runs} runs\n")
    if before:
        print("| command | N | before | chronelle | peer | before ÷ peer | chronelle ÷ peer | target | |")
        print("|---|---:|---:|---:|---:|---:|---:|---|---|")
    else:
        print("| command | N | chronelle | peer | chronelle ÷ peer | target | |")
        print("|---|---:|---:|---:|---:|---|---|")
    # `status` has no peer of its own: it is held to the bare start of Timewarrior, the peer
    # of `parse` on the same data set.
    bare = {count: b for name, count, o, a, b in rows if name.startswith("parse")}
    for name, count, o, a, b in rows:
        if name.startswith("status") and not b:
            b = bare.get(count)
            peer = f"({ms(b)})" if b else ms(b)
        else:
            peer = ms(b)
        ratio = a / b if a and b else None
        shown = f"{ratio:.2f}" if ratio is not None else ""
        mark = verdict(name, count, ratio)
        if before:
            old_ratio = f"{o / b:.2f}" if o and b else ""
            print(f"| {name} | {count:,} | {ms(o)} | {ms(a)} | {peer} | {old_ratio} | {shown} | {mark} |")
        else:
            print(f"| {name} | {count:,} | {ms(a)} | {peer} | {shown} | {mark} |")


if __name__ == "__main__":
    main()
