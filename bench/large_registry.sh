#!/usr/bin/env bash
# Writes in a registry of Windows' size: one `qv reg add` and one
# `qv setting save` (a library program's first SaveSetting), each a whole
# process, in a registry of 1,000 values (10 keys of 100) and in one of
# 1,000,000 (1,000 keys of 1,000), both imported from generated .reg files.
# The baseline is the same write in the 1,000-value registry; beside it, the
# same writes after another program touched the file, which brings back the
# whole-file check before the write, and Wine's reg.exe on the same tree.
#   large_registry.sh QV SCRATCH_DIRECTORY
set -euo pipefail
qv=$1 scratch=$2

for size in 1000 1000000; do
  python3 - "$scratch/tree-$size.reg" "$size" <<'PY'
import sys
path, values = sys.argv[1], int(sys.argv[2])
keys = 10 if values == 1000 else 1000
with open(path, "w", encoding="utf-16", newline="\r\n") as out:
    out.write("Windows Registry Editor Version 5.00\n\n")
    for k in range(keys):
        out.write(f"[HKEY_CURRENT_USER\\Software\\QvLarge\\k{k}]\n")
        for v in range(values // keys):
            out.write(f'"v{v}"="text {k} {v}"\n')
        out.write("\n")
PY
  rm -f "$scratch/large-$size.db"*
  QV_REGISTRY=$scratch/large-$size.db "$qv" reg import "$scratch/tree-$size.reg" >/dev/null
done

# NAME REGISTRY_SIZE PREPARE COMMAND: the mean of hyperfine's runs, in seconds.
measure() {
  local name=$1 size=$2 prepare=$3 command=$4
  QV_REGISTRY=$scratch/large-$size.db hyperfine -N --warmup 3 --runs 30 --prepare "$prepare" \
    --export-json "$scratch/large.json" -- "$command" >/dev/null
  python3 -c 'import json,sys; print(sys.argv[1], json.load(open(sys.argv[2]))["results"][0]["mean"])' \
    "$name-$size" "$scratch/large.json"
}
{
  for size in 1000 1000000; do
    add="$qv reg add 'HKCU\Software\QvLarge\k5' /v new /d x /f"
    measure add "$size" true "$add"
    measure setting "$size" true "$qv setting save QvLarge Window Left 120"
    # Another program's touch of the file: the first write checks it whole.
    measure touched "$size" "touch $scratch/large-$size.db" "$add"
  done
  # A second writer that starts while the first checks the touched file:
  # its time against its time alone (the touched row), the mean of 10 rounds.
  QV_REGISTRY=$scratch/large-1000000.db python3 - "$qv" "$scratch/large-1000000.db" <<'PY'
import os, subprocess, sys, time
qv, db = sys.argv[1], sys.argv[2]
times = []
for _ in range(10):
    os.utime(db)
    first = subprocess.Popen([qv, "reg", "add", r"HKCU\Software\QvLarge\k1", "/v", "a", "/d", "x", "/f"],
                             stdout=subprocess.DEVNULL)
    time.sleep(0.02)
    start = time.monotonic()
    subprocess.run([qv, "reg", "add", r"HKCU\Software\QvLarge\k2", "/v", "b", "/d", "x", "/f"],
                   stdout=subprocess.DEVNULL, check=True)
    took = time.monotonic() - start
    first.wait()
    times.append(took)
print("second-1000000", sum(times) / len(times))
PY
  # Wine's own reg.exe, in a prefix of its own that holds the same
  # 1,000,000 values (imported with its regedit), served by one wineserver.
  if [[ -x /usr/lib/wine/wine64 ]]; then
    export WINEPREFIX=$scratch/wine-large WINEDEBUG=-all
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wineserver -p >/dev/null 2>&1 &
    /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true
    /usr/lib/wine/wine64 regedit /s "Z:${scratch//\//\\}\\tree-1000000.reg" >/dev/null 2>&1
    measure wine 1000000 true \
      "/usr/lib/wine/wine64 reg add 'HKCU\Software\QvLarge\k5' /v new /d x /f"
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    unset WINEPREFIX
  fi
} >"$scratch/large.txt"
python3 - "$scratch/large.txt" <<'PY'
import sys
rows = dict((name, float(seconds)) for name, seconds in (line.split() for line in open(sys.argv[1])))
print("| one write, a whole process | 1,000 values | 1,000,000 values | ratio |")
print("|---|---:|---:|---:|")
for name, what in (("add", "`qv reg add`"), ("setting", "`qv setting save` (first SaveSetting)"),
                   ("touched", "`qv reg add` after another program touched the file")):
    small, large = rows[f"{name}-1000"], rows[f"{name}-1000000"]
    print(f"| {what} | {small * 1000:.1f} ms | {large * 1000:.1f} ms | {large / small:.2f} |")
if "wine-1000000" in rows:
    wine = rows["wine-1000000"]
    print(f"| Wine's `reg add`, same 1,000,000 values | - | {wine * 1000:.1f} ms | "
          f"{wine / rows['add-1000000']:.2f} times qv's |")
second, alone = rows["second-1000000"], rows["touched-1000000"]
print(f"\nA second `qv reg add` that starts while the first checks the touched 1,000,000-value "
      f"file: {second * 1000:.1f} ms, against {alone * 1000:.1f} ms alone ({second / alone:.2f}).")
PY
