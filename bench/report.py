#!/usr/bin/env python3
"""Prints Google Benchmark JSON results as one table of ratios.

Every "Lib/X[/N]" result is divided by each "Base:KIND/X[/N]" result of the
same run; "Lib/X:STORE/N" results with N in tenfold steps show the growth
per tenfold instead.
"""
import json
import sys
from collections import defaultdict


def load(paths):
    times = {}
    for path in paths:
        with open(path) as handle:
            for entry in json.load(handle)["benchmarks"]:
                if entry.get("run_type") == "aggregate" or entry.get("error_occurred"):
                    continue
                scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
                times[entry["name"].split("/iterations:")[0]] = entry["real_time"] * scale
    return times


def main():
    times = load(sys.argv[1:])
    print("| operation | library | baseline | baseline time | ratio |")
    print("|---|---:|---|---:|---:|")
    for name, seconds in sorted(times.items()):
        if not name.startswith("Lib/") or ":" in name.split("/")[1]:
            continue
        rest = name[len("Lib/"):]
        for other, base_seconds in sorted(times.items()):
            if other.startswith("Base:") and other.split("/", 1)[1] == rest:
                kind = other.split("/", 1)[0][len("Base:"):]
                print(f"| {rest} | {fmt(seconds)} | {kind} | {fmt(base_seconds)} | "
                      f"{seconds / base_seconds:.2f} |")
    growth = defaultdict(dict)
    for name, seconds in times.items():
        parts = name.split("/")
        if name.startswith("Lib/") and ":" in parts[1]:
            growth[parts[1]][int(parts[2])] = seconds
    if growth:
        print()
        print("| enumeration | subkeys | time | growth per tenfold |")
        print("|---|---:|---:|---:|")
        for series, points in sorted(growth.items()):
            previous = None
            for count in sorted(points):
                step = f"{points[count] / points[previous]:.1f}" if previous else "-"
                print(f"| {series} | {count} | {fmt(points[count])} | {step} |")
                previous = count


def fmt(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.2f} {unit}"
    return f"{seconds / 1e-9:.0f} ns"


if __name__ == "__main__":
    main()
