#!/usr/bin/env bash
# Hive files through whole qv processes, each with its time and peak
# resident memory: save, restore and export of a tree of 1,000,000 values
# (1,000 keys of 1,000) and of a real Windows SYSTEM hive, with the saved
# hive's size against the original. The baseline of a restore is the .reg
# import of the same tree, and of a saved hive's size the file Windows wrote.
#   hive_files.sh QV SCRATCH_DIRECTORY
set -euo pipefail
qv=$1 scratch=$2
seeds=$(cd "$(dirname "$0")/../fuzz/seeds" && pwd)

python3 - "$scratch/hive-tree.reg" <<'PY'
import sys
with open(sys.argv[1], "w", encoding="utf-16", newline="\r\n") as out:
    out.write("Windows Registry Editor Version 5.00\n\n")
    for k in range(1000):
        out.write(f"[HKEY_CURRENT_USER\\Software\\QvHiveBench\\k{k}]\n")
        for v in range(1000):
            out.write(f'"v{v}"="text {k} {v}"\n')
        out.write("\n")
PY
xz -dc "$seeds/SYSTEM.xz" >"$scratch/SYSTEM"

measure() {  # LABEL REGISTRY COMMAND...: prints "LABEL SECONDS KILOBYTES"
  local label=$1 registry=$2
  shift 2
  QV_REGISTRY=$registry /usr/bin/time -f "$label %e %M" -o "$scratch/time" "$@" >/dev/null
  cat "$scratch/time"
}
tree='HKCU\Software\QvHiveBench' system='HKLM\Software\QvHiveBenchSystem'
rm -f "$scratch"/hive-*.db*
{
  measure import "$scratch/hive-a.db" "$qv" reg import "$scratch/hive-tree.reg"
  measure export "$scratch/hive-a.db" "$qv" reg export "$tree" "$scratch/hive-out.reg" /y
  measure save "$scratch/hive-a.db" "$qv" reg save "$tree" "$scratch/tree.hiv" /y
  QV_REGISTRY=$scratch/hive-b.db "$qv" reg add "$tree" /f >/dev/null
  measure restore "$scratch/hive-b.db" "$qv" reg restore "$tree" "$scratch/tree.hiv"
  QV_REGISTRY=$scratch/hive-c.db "$qv" reg add "$system" /f >/dev/null
  measure system-restore "$scratch/hive-c.db" "$qv" reg restore "$system" "$scratch/SYSTEM"
  measure system-save "$scratch/hive-c.db" "$qv" reg save "$system" "$scratch/SYSTEM.saved" /y
  measure system-export "$scratch/hive-c.db" "$qv" reg export "$system" "$scratch/system.reg" /y
  echo "size-tree $(stat -c %s "$scratch/tree.hiv") 0"
  echo "size-system $(stat -c %s "$scratch/SYSTEM") 0"
  echo "size-system-saved $(stat -c %s "$scratch/SYSTEM.saved") 0"
} >"$scratch/hive-files.txt"
python3 - "$scratch/hive-files.txt" <<'PY'
import sys
rows = {}
for line in open(sys.argv[1]):
    label, first, second = line.split()
    rows[label] = (float(first), int(second))
def cell(label):
    seconds, kilobytes = rows[label]
    return f"{seconds:.2f} s | {kilobytes / 1024:.0f} MB"
print("| work | time | peak resident |")
print("|---|---:|---:|")
for label, what in (("import", "1,000,000 values: `.reg` import (the baseline)"),
                    ("restore", "1,000,000 values: restore of the saved hive"),
                    ("save", "1,000,000 values: save"), ("export", "1,000,000 values: export"),
                    ("system-restore", "SYSTEM (Windows 10): restore"),
                    ("system-save", "SYSTEM: save"), ("system-export", "SYSTEM: export")):
    print(f"| {what} | {cell(label)} |")
restore, imported = rows["restore"][0], rows["import"][0]
system, saved = rows["size-system"][0], rows["size-system-saved"][0]
print(f"\nRestore against import of the same tree: {restore / imported:.2f}. "
      f"The 1,000,000-value hive is {rows['size-tree'][0] / 2**20:.1f} MiB; SYSTEM saved again is "
      f"{saved / 2**20:.2f} MiB against the {system / 2**20:.2f} MiB Windows wrote ({saved / system:.2f}).")
PY
