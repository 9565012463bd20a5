#!/usr/bin/env python3
"""Prints Google Benchmark JSON results as tables of ratios.

  report.py [--before REV] RESULT.json...

Read/, Walk/, LastIndex/ and Random: results (read_image_bench) compare the
database with memory, a walk downward with one upward, and random reads in a
large file with those in a small one; MemoryAccess/BYTES (one random access to
memory in a small and a large region) gives the least a large file's read can
cost against a small one's.
Every "Lib/X[/N]" result is divided by each "Base:KIND/X[/N]" result of the
same run. "Pair/X" results (the two timed in alternating blocks, with the
least time per call of each as counters) give the steadiest ratios. Results tagged "before." (the same benchmarks built from an earlier
commit) give the speed-up of each operation and of its bare platform calls.
"Lib/X:STORE/N" results with N in tenfold steps show the growth per tenfold.
The best of repeated runs is used.
"""
import json
import sys
from collections import defaultdict

BEFORE = "before."


def load(paths):
    """The best (lowest) time of each benchmark over its repetitions: noise on
    a shared machine only ever adds time."""
    times = {}
    for path in paths:
        with open(path) as handle:
            entries = json.load(handle)["benchmarks"]
        for entry in entries:
            if entry.get("error_occurred") or entry.get("run_type") == "aggregate":
                continue
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
            name = entry.get("run_name", entry["name"]).split("/iterations:")[0]
            seconds = entry["real_time"] * scale
            times[name] = min(seconds, times.get(name, seconds))
    return times


def load_pairs(paths):
    """Per paired benchmark, the least library and baseline time per call over
    its repetitions."""
    pairs = {}
    for path in paths:
        with open(path) as handle:
            entries = json.load(handle)["benchmarks"]
        for entry in entries:
            name = entry.get("run_name", entry["name"])
            if not name.startswith("Pair/") or entry.get("run_type") == "aggregate":
                continue
            if name.startswith("Pair/" + BEFORE):
                continue
            if entry.get("error_occurred"):
                continue
            library, baseline = entry["library_ns"] * 1e-9, entry["baseline_ns"] * 1e-9
            best = pairs.get(name[len("Pair/"):], (library, baseline))
            pairs[name[len("Pair/"):]] = (min(best[0], library), min(best[1], baseline))
    return pairs


def paired(pairs):
    if not pairs:
        return
    print("| operation | library | baseline | ratio |")
    print("|---|---:|---:|---:|")
    for name, (library, baseline) in sorted(pairs.items()):
        print(f"| {name} | {fmt(library)} | {fmt(baseline)} | {library / baseline:.2f} |")
    print()


def ratios(times):
    print("| operation | time | baseline | baseline time | ratio |")
    print("|---|---:|---|---:|---:|")
    for name, seconds in sorted(times.items()):
        if not name.startswith("Lib/") or ":" in name.split("/")[1]:
            continue
        rest = name[len("Lib/"):]
        if rest.startswith(BEFORE):
            continue
        for other, base_seconds in sorted(times.items()):
            if other.startswith("Base:") and other.split("/", 1)[1] == rest:
                kind = other.split("/", 1)[0][len("Base:"):]
                print(f"| {rest} | {fmt(seconds)} | {kind} | {fmt(base_seconds)} | "
                      f"{seconds / base_seconds:.2f} |")


def speedups(times, before):
    rows = []
    for name, seconds in sorted(times.items()):
        kind, _, rest = name.partition("/")
        if kind not in ("Lib", "Base:platform") or rest.startswith(BEFORE):
            continue
        earlier = times.get(f"{kind}/{BEFORE}{rest}")
        if earlier is not None:
            what = "library" if kind == "Lib" else "bare calls"
            rows.append(f"| {rest} | {what} | {fmt(earlier)} | {fmt(seconds)} | "
                        f"{earlier / seconds:.2f} |")
    if rows:
        print()
        print(f"| operation | measured | at {before} | now | faster by |")
        print("|---|---|---:|---:|---:|")
        print("\n".join(rows))


def growth(times):
    series = defaultdict(dict)
    for name, seconds in times.items():
        parts = name.split("/")
        if name.startswith("Lib/") and ":" in parts[1]:
            series[parts[1]][int(parts[2])] = seconds
    if series:
        print()
        print("| enumeration | subkeys | time | growth per tenfold |")
        print("|---|---:|---:|---:|")
        for label, points in sorted(series.items()):
            previous = None
            for count in sorted(points):
                step = f"{points[count] / points[previous]:.1f}" if previous else "-"
                print(f"| {label} | {count} | {fmt(points[count])} | {step} |")
                previous = count


def load_counters(paths, counter):
    """A counter's value per benchmark (its last repetition)."""
    values = {}
    for path in paths:
        with open(path) as handle:
            for entry in json.load(handle)["benchmarks"]:
                if counter in entry and entry.get("run_type") != "aggregate":
                    values[entry.get("run_name", entry["name"])] = entry[counter]
    return values


def reads(times, paths):
    """The database's reads against memory's, walks downward against upward,
    the last index on a fresh handle, and random reads as the file grows."""
    rows = []
    for name, seconds in sorted(times.items()):
        if name.startswith("Read/") and name.endswith(":database"):
            memory = times.get(name[: -len("database")] + "memory")
            if memory:
                rows.append(f"| {name[len('Read/'):-len(':database')]} | {fmt(memory)} | "
                            f"{fmt(seconds)} | {seconds / memory:.2f} |")
    if rows:
        print()
        print("| read | in memory | database | database / memory |")
        print("|---|---:|---:|---:|")
        print("\n".join(rows))
    walks = []
    for name, seconds in sorted(times.items()):
        if name.startswith("Walk/down:"):
            store, count = name[len("Walk/down:"):].split("/")
            upward = times.get(f"Walk/up:{store}/{count}")
            if upward:
                walks.append(f"| {store} | {count} | {fmt(upward)} | {fmt(seconds)} | "
                             f"{seconds / upward:.2f} |")
    if walks:
        print()
        print("| walk of a key's subkeys | subkeys | upward | downward | down / up |")
        print("|---|---:|---:|---:|---:|")
        print("\n".join(walks))
    last = [(name, seconds) for name, seconds in sorted(times.items())
            if name.startswith("LastIndex/")]
    if last:
        print()
        print("| last index on a fresh handle | subkeys | time |")
        print("|---|---:|---:|")
        for name, seconds in last:
            label, count = name[len("LastIndex/"):].split("/")
            print(f"| {label} | {count} | {fmt(seconds)} |")
    image = load_counters(paths, "image_bytes")
    one_read = load_counters(paths, "image_bytes_one_read")
    random = defaultdict(dict)
    for name, seconds in times.items():
        if name.startswith("Random:"):
            store, count = name[len("Random:"):].split("/")
            random[store][int(count)] = (name, seconds)
    if random:
        print()
        print("| random reads | values | per read | against the smallest | image | image after one read |")
        print("|---|---:|---:|---:|---:|---:|")
        for store, points in sorted(random.items()):
            smallest = points[min(points)][1]
            for count in sorted(points):
                name, seconds = points[count]
                size = f"{image[name] / 2**20:.1f} MiB" if name in image else "-"
                first = f"{one_read[name] / 2**10:.1f} KiB" if name in one_read else "-"
                print(f"| {store} | {count} | {fmt(seconds)} | {seconds / smallest:.2f} | "
                      f"{size} | {first} |")
        wine, database = random.get("wine", {}), random.get("database", {})
        for count in sorted(set(wine) & set(database)):
            print(f"\nRandom reads of {count} values on a Wine prefix's files against the "
                  f"database: {wine[count][1] / database[count][1]:.2f} times.")
    access = {int(name.split("/")[1]): seconds for name, seconds in times.items()
              if name.startswith("MemoryAccess/")}
    database = random.get("database", {})
    if len(access) == 2 and len(database) == 2:
        near, far = (access[size] for size in sorted(access))
        small = database[min(database)][1]
        print()
        print(f"One random memory access: {fmt(near)} in {min(access) >> 10} KiB, "
              f"{fmt(far)} in {max(access) >> 20} MiB; a read that makes a single such "
              f"access in the larger image is at least {(small + far - near) / small:.2f} "
              f"times the smaller database's read.")


def fmt(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.2f} {unit}"
    return f"{seconds / 1e-9:.0f} ns"


def main():
    args = sys.argv[1:]
    before = "the earlier commit"
    if args[:1] == ["--before"]:
        before, args = args[1], args[2:]
    times = load(args)
    paired(load_pairs(args))
    ratios(times)
    speedups(times, before)
    growth(times)
    reads(times, args)


if __name__ == "__main__":
    main()
